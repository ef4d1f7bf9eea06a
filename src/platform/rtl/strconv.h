// Text-to-number conversions of the runtime, with its conversion error.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

// Raised when a text does not hold a number of the expected kind.
class EConvertError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A 32-bit integer: optional leading blanks, an optional sign, then decimal
// digits or hexadecimal digits after "$" or "0x". Anything else, or a value
// outside the 32-bit range, raises EConvertError
// ("'<text>' is not a valid integer value").
int32_t StrToInt(const std::string& text);

// A decimal number written with DecimalSeparator and an optional exponent,
// with optional blanks around it. Anything else raises EConvertError
// ("'<text>' is not a valid floating point value").
double StrToFloat(const std::string& text);
