// The toolkit's streams: a position, a size, the counting read and write
// (Read/Write return how many bytes moved) and the raising ones
// (ReadBuffer/WriteBuffer raise EReadError/EWriteError on a short transfer).
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/rtl/sysutils.h"

// Creation mode of a file stream, beside the open modes of sysutils.h, and
// the sharing flags the callers pass (accepted and not enforced here).
constexpr int fmCreate = 0xFF00;
constexpr int fmShareCompat = 0x00;
constexpr int fmShareExclusive = 0x10;
constexpr int fmShareDenyWrite = 0x20;
constexpr int fmShareDenyRead = 0x30;
constexpr int fmShareDenyNone = 0x40;

enum TSeekOrigin { soBeginning, soCurrent, soEnd };

class EStreamError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A raising read that got fewer bytes than it asked for: "Stream read error".
class EReadError : public EStreamError {
public:
    EReadError() : EStreamError("Stream read error") {}
    using EStreamError::EStreamError;
};

// A raising write that could not store every byte: "Stream write error".
class EWriteError : public EStreamError {
public:
    EWriteError() : EStreamError("Stream write error") {}
    using EStreamError::EStreamError;
};

class TStream {
public:
    TStream() = default;
    virtual ~TStream() = default;
    TStream(const TStream&) = delete;
    TStream& operator=(const TStream&) = delete;

    // Counting read: copies up to count bytes, returns how many it copied
    // (0 at the end of the stream).
    virtual int64_t Read(void* buffer, int64_t count) = 0;
    // Counting write: returns how many bytes were stored.
    virtual int64_t Write(const void* buffer, int64_t count) = 0;
    // Moves the position and returns the new one; positions past the end are
    // allowed (a later write extends the stream), negative ones are not.
    virtual int64_t Seek(int64_t offset, TSeekOrigin origin) = 0;
    virtual int64_t Size() const;
    virtual void SetSize(int64_t newSize) = 0;

    int64_t Position() const { return const_cast<TStream*>(this)->Seek(0, soCurrent); }
    void SetPosition(int64_t pos) { Seek(pos, soBeginning); }
    // Bytes from the position to the end (0 when the position is past it).
    int64_t Remaining() const;

    // Raising read and write.
    void ReadBuffer(void* buffer, int64_t count);
    void WriteBuffer(const void* buffer, int64_t count);
    // Copies count bytes from source (the whole source from its start when 0).
    int64_t CopyFrom(TStream& source, int64_t count);
};

// A stream on a file. The file is read through a buffer of its own, so many
// small reads and short seeks cost no system call each.
class TFileStream : public TStream {
public:
    // mode: fmCreate, or fmOpenRead / fmOpenWrite / fmOpenReadWrite with
    // sharing flags. A file that cannot be opened raises EInOutError.
    TFileStream(const std::string& fileName, int mode);
    ~TFileStream() override;

    int64_t Read(void* buffer, int64_t count) override;
    int64_t Write(const void* buffer, int64_t count) override;
    int64_t Seek(int64_t offset, TSeekOrigin origin) override;
    int64_t Size() const override { return size_; }
    void SetSize(int64_t newSize) override;
    const std::string& FileName() const { return fileName_; }

private:
    std::string fileName_;
    int fd_ = -1;
    int64_t position_ = 0;
    int64_t size_ = 0;
    // The read buffer holds the file bytes from bufferStart_ on.
    std::vector<uint8_t> buffer_;
    int64_t bufferStart_ = 0;
    int64_t bufferLength_ = 0;
};

// A stream over a growable block of memory.
class TMemoryStream : public TStream {
public:
    TMemoryStream() = default;
    // A stream holding a copy of the bytes, positioned at 0.
    TMemoryStream(const void* data, size_t size);

    int64_t Read(void* buffer, int64_t count) override;
    int64_t Write(const void* buffer, int64_t count) override;
    int64_t Seek(int64_t offset, TSeekOrigin origin) override;
    int64_t Size() const override { return static_cast<int64_t>(data_.size()); }
    void SetSize(int64_t newSize) override;

    uint8_t* Memory() { return data_.data(); }
    const uint8_t* Memory() const { return data_.data(); }
    const std::vector<uint8_t>& Bytes() const { return data_; }
    void Clear();
    void LoadFromStream(TStream& stream);
    void LoadFromFile(const std::string& fileName);
    void SaveToStream(TStream& stream) const;
    void SaveToFile(const std::string& fileName) const;

private:
    std::vector<uint8_t> data_;
    int64_t position_ = 0;
};
