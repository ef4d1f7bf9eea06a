#include "platform/rtl/sysutils.h"

#include <sys/stat.h>

#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>

int FileMode = fmOpenReadWrite;
char DecimalSeparator = '.';
char ThousandSeparator = ',';

EInOutError::EInOutError(const std::string& path, const std::string& reason, int errorCode)
    : std::runtime_error(reason + ": \"" + path + "\""), path_(path), reason_(reason), errorCode_(errorCode)
{
}

void RaiseInOutError(const std::string& path, int errnoValue)
{
    throw EInOutError(path, std::strerror(errnoValue), errnoValue);
}

int64_t ReadFully(int fd, const std::string& path, uint8_t* dst, int64_t n)
{
    int64_t done = 0;
    while (done < n) {
        const ssize_t r = ::read(fd, dst + done, static_cast<size_t>(std::min<int64_t>(n - done, 1 << 30)));
        if (r < 0) {
            if (errno == EINTR) continue;
            RaiseInOutError(path, errno);
        }
        if (r == 0) break;
        done += r;
    }
    return done;
}

void WriteFully(int fd, const std::string& path, const uint8_t* src, int64_t n)
{
    int64_t done = 0;
    while (done < n) {
        const ssize_t r = ::write(fd, src + done, static_cast<size_t>(std::min<int64_t>(n - done, 1 << 30)));
        if (r < 0) {
            if (errno == EINTR) continue;
            RaiseInOutError(path, errno);
        }
        done += r;
    }
}

bool FileExists(const std::string& name)
{
    struct stat st;
    return !name.empty() && ::stat(name.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool DirectoryExists(const std::string& name)
{
    struct stat st;
    return !name.empty() && ::stat(name.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool DeleteFile(const std::string& name) { return ::unlink(name.c_str()) == 0; }

bool RenameFile(const std::string& oldName, const std::string& newName)
{
    // Like the platform's rename, this refuses to replace an existing file.
    if (FileExists(newName)) return false;
    return std::rename(oldName.c_str(), newName.c_str()) == 0;
}

std::string ExtractFilePath(const std::string& name)
{
    const auto p = name.find_last_of('/');
    return p == std::string::npos ? std::string() : name.substr(0, p + 1);
}

std::string ExtractFileName(const std::string& name)
{
    const auto p = name.find_last_of('/');
    return p == std::string::npos ? name : name.substr(p + 1);
}

std::string ExtractFileExt(const std::string& name)
{
    const auto p = name.find_last_of("./");
    if (p == std::string::npos || name[p] != '.') return std::string();
    return name.substr(p);
}

std::string ChangeFileExt(const std::string& name, const std::string& ext)
{
    const auto p = name.find_last_of("./");
    if (p == std::string::npos || name[p] != '.') return name + ext;
    return name.substr(0, p) + ext;
}

std::string UpperCase(const std::string& s)
{
    std::string r = s;
    for (char& c : r)
        if (c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
    return r;
}

std::string LowerCase(const std::string& s)
{
    std::string r = s;
    for (char& c : r)
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    return r;
}

bool SameText(const std::string& a, const std::string& b) { return UpperCase(a) == UpperCase(b); }

std::string IntToStr(int64_t value) { return std::to_string(value); }

namespace {
std::string WithSeparator(std::string s)
{
    for (char& c : s)
        if (c == '.') c = DecimalSeparator;
    return s;
}
}  // namespace

std::string FloatToStr(double value)
{
    if (std::isnan(value)) return "NAN";
    if (std::isinf(value)) return value > 0 ? "INF" : "-INF";
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.15G", value);
    std::string s = buf;
    // %G already drops trailing zeros; normalise the exponent form "1.5E+020" -> "1.5E20".
    const auto e = s.find('E');
    if (e != std::string::npos) {
        std::string mant = s.substr(0, e);
        int exp = std::atoi(s.c_str() + e + 1);
        s = mant + "E" + (exp < 0 ? "-" : "+") + std::to_string(std::abs(exp));
    }
    return WithSeparator(s);
}

std::string FloatToStrF(double value, int digits)
{
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*f", digits < 0 ? 0 : digits, value);
    return WithSeparator(buf);
}

std::string FormatZeroPadded(int64_t value, int width)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%0*lld", width, static_cast<long long>(value));
    return buf;
}

bool ReplaceFile(const std::string& oldName, const std::string& newName)
{
    return std::rename(oldName.c_str(), newName.c_str()) == 0;
}
