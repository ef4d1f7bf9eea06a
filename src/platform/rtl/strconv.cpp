#include "platform/rtl/strconv.h"

#include <charconv>
#include <cmath>

#include "platform/rtl/sysutils.h"

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

int HexValue(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

[[noreturn]] void InvalidInteger(const std::string& text)
{
    throw EConvertError("'" + text + "' is not a valid integer value");
}

[[noreturn]] void InvalidFloat(const std::string& text)
{
    throw EConvertError("'" + text + "' is not a valid floating point value");
}

// The power of ten of the leading significant digit of a plain number
// ("123" gives 3, "0.001" gives -2), saturated, to tell overflow from underflow.
int64_t DecimalMagnitude(const std::string& plain)
{
    size_t i = plain[0] == '-' ? 1 : 0;
    int64_t magnitude = 0;
    while (i < plain.size() && plain[i] == '0') ++i;
    size_t intDigits = 0;
    while (i < plain.size() && IsDigit(plain[i])) ++i, ++intDigits;
    if (intDigits > 0) {
        magnitude = static_cast<int64_t>(intDigits);
    } else if (i < plain.size() && plain[i] == '.') {
        ++i;
        while (i < plain.size() && plain[i] == '0') ++i, --magnitude;
    }
    const size_t e = plain.find('e');
    if (e != std::string::npos) {
        size_t j = e + 1;
        bool negative = false;
        if (j < plain.size() && (plain[j] == '+' || plain[j] == '-')) negative = plain[j++] == '-';
        int64_t exponent = 0;
        for (; j < plain.size() && exponent < 1000000; ++j) exponent = exponent * 10 + (plain[j] - '0');
        magnitude += negative ? -exponent : exponent;
    }
    return magnitude;
}

}  // namespace

int32_t StrToInt(const std::string& text)
{
    size_t i = 0;
    const size_t n = text.size();
    while (i < n && IsBlank(text[i])) ++i;
    bool negative = false;
    if (i < n && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    int base = 10;
    if (i < n && text[i] == '$') {
        base = 16;
        ++i;
    } else if (i + 1 < n && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
        base = 16;
        i += 2;
    }
    if (i >= n) InvalidInteger(text);
    int64_t value = 0;
    for (; i < n; ++i) {
        const int d = base == 16 ? HexValue(text[i]) : (IsDigit(text[i]) ? text[i] - '0' : -1);
        if (d < 0) InvalidInteger(text);
        value = value * base + d;
        // Hexadecimal values may fill all 32 bits, as the runtime allows.
        if (value > (base == 16 ? int64_t(0xFFFFFFFF) : int64_t(INT32_MAX) + 1)) InvalidInteger(text);
    }
    if (base == 16) {
        const auto bits = static_cast<uint32_t>(value);
        const auto v = static_cast<int32_t>(bits);
        return negative ? static_cast<int32_t>(0u - bits) : v;
    }
    if (negative) return static_cast<int32_t>(-value);
    if (value > INT32_MAX) InvalidInteger(text);
    return static_cast<int32_t>(value);
}

double StrToFloat(const std::string& text)
{
    size_t i = 0;
    size_t n = text.size();
    while (i < n && IsBlank(text[i])) ++i;
    while (n > i && IsBlank(text[n - 1])) --n;
    // Rebuild the number in the form the locale-free parser reads.
    std::string plain;
    if (i < n && (text[i] == '+' || text[i] == '-')) {
        if (text[i] == '-') plain += '-';
        ++i;
    }
    size_t digits = 0;
    while (i < n && IsDigit(text[i])) {
        plain += text[i++];
        ++digits;
    }
    if (i < n && text[i] == DecimalSeparator) {
        plain += '.';
        ++i;
        while (i < n && IsDigit(text[i])) {
            plain += text[i++];
            ++digits;
        }
    }
    if (digits == 0) InvalidFloat(text);
    if (i < n && (text[i] == 'e' || text[i] == 'E')) {
        plain += 'e';
        ++i;
        if (i < n && (text[i] == '+' || text[i] == '-')) plain += text[i++];
        size_t expDigits = 0;
        while (i < n && IsDigit(text[i])) {
            plain += text[i++];
            ++expDigits;
        }
        if (expDigits == 0) InvalidFloat(text);
    }
    if (i != n) InvalidFloat(text);
    double value = 0;
    const auto r = std::from_chars(plain.data(), plain.data() + plain.size(), value);
    if (r.ec == std::errc::result_out_of_range) {
        // Underflow reads as zero; overflow is not a number the runtime holds.
        if (DecimalMagnitude(plain) <= 0) return 0.0;
        InvalidFloat(text);
    }
    if (r.ec != std::errc() || r.ptr != plain.data() + plain.size() || !std::isfinite(value)) InvalidFloat(text);
    return value;
}
