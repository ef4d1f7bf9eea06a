// The runtime services the libraries use: the file-open mode, number
// formatting separators, the input/output error and file-name helpers.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

// File-open modes of the runtime's typed and untyped files.
enum : int { fmOpenRead = 0, fmOpenWrite = 1, fmOpenReadWrite = 2 };

// The mode in which a file is opened for reading; read/write by default.
extern int FileMode;

// Separators used when numbers are formatted as text.
extern char DecimalSeparator;
extern char ThousandSeparator;

// The platform's input/output error: the path and the reason are in the message.
class EInOutError : public std::runtime_error {
public:
    EInOutError(const std::string& path, const std::string& reason, int errorCode = 0);
    const std::string& Path() const { return path_; }
    const std::string& Reason() const { return reason_; }
    int ErrorCode() const { return errorCode_; }

private:
    std::string path_;
    std::string reason_;
    int errorCode_;
};

// Raises EInOutError for the path with the text of the given errno value.
[[noreturn]] void RaiseInOutError(const std::string& path, int errnoValue);

// Reads up to n bytes from the descriptor, fewer only at its end, going on
// after interruptions; returns how many were read. Other failures raise
// EInOutError for the path.
int64_t ReadFully(int fd, const std::string& path, uint8_t* dst, int64_t n);
// Writes all n bytes to the descriptor, going on after interruptions;
// failures raise EInOutError for the path.
void WriteFully(int fd, const std::string& path, const uint8_t* src, int64_t n);

bool FileExists(const std::string& name);
bool DirectoryExists(const std::string& name);
bool DeleteFile(const std::string& name);
bool RenameFile(const std::string& oldName, const std::string& newName);

// File-name parts; the directory part keeps its trailing separator.
std::string ExtractFilePath(const std::string& name);
std::string ExtractFileName(const std::string& name);
std::string ExtractFileExt(const std::string& name);  // with the dot, "" when none
std::string ChangeFileExt(const std::string& name, const std::string& ext);

// ASCII-only case conversion, as the runtime does for file names.
std::string UpperCase(const std::string& s);
std::string LowerCase(const std::string& s);
bool SameText(const std::string& a, const std::string& b);

std::string IntToStr(int64_t value);
// Formats like the runtime's general float format (15 significant digits,
// no trailing zeros), with DecimalSeparator.
std::string FloatToStr(double value);
// Fixed format with the given digits after the separator.
std::string FloatToStrF(double value, int digits);
// Formats an integer with at least `width` digits, padding with zeros ("00" pattern).
std::string FormatZeroPadded(int64_t value, int width);

// Replaces newName by oldName in one atomic step (the old content of newName
// stays intact until the rename succeeds). Returns false on failure.
bool ReplaceFile(const std::string& oldName, const std::string& newName);
