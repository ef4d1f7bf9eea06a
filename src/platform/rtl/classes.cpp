#include "platform/rtl/classes.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/rtl/sysutils.h"
#include "platform/rtl/work_meter.h"

// ---- TStream ---------------------------------------------------------------

int64_t TStream::Size() const
{
    auto* self = const_cast<TStream*>(this);
    const int64_t pos = self->Seek(0, soCurrent);
    const int64_t end = self->Seek(0, soEnd);
    self->Seek(pos, soBeginning);
    return end;
}

int64_t TStream::Remaining() const
{
    const int64_t left = Size() - Position();
    return left > 0 ? left : 0;
}

void TStream::ReadBuffer(void* buffer, int64_t count)
{
    if (count < 0) throw EReadError();
    if (count != 0 && Read(buffer, count) != count) throw EReadError();
}

void TStream::WriteBuffer(const void* buffer, int64_t count)
{
    if (count < 0) throw EWriteError();
    if (count != 0 && Write(buffer, count) != count) throw EWriteError();
}

int64_t TStream::CopyFrom(TStream& source, int64_t count)
{
    if (count == 0) {
        source.SetPosition(0);
        count = source.Size();
    }
    const int64_t total = count;
    std::vector<uint8_t> chunk(static_cast<size_t>(std::min<int64_t>(count, 1 << 16)));
    while (count > 0) {
        const int64_t n = std::min<int64_t>(count, static_cast<int64_t>(chunk.size()));
        source.ReadBuffer(chunk.data(), n);
        WriteBuffer(chunk.data(), n);
        count -= n;
    }
    return total;
}

// ---- TFileStream -----------------------------------------------------------

namespace {
constexpr int64_t kFileBufferSize = 1 << 16;
}

TFileStream::TFileStream(const std::string& fileName, int mode) : fileName_(fileName)
{
    int flags;
    if ((mode & 0xFF00) == fmCreate) {
        flags = O_RDWR | O_CREAT | O_TRUNC;
    } else {
        switch (mode & 3) {
        case fmOpenWrite: flags = O_WRONLY; break;
        case fmOpenReadWrite: flags = O_RDWR; break;
        default: flags = O_RDONLY; break;
        }
    }
    fd_ = ::open(fileName.c_str(), flags | O_CLOEXEC, 0644);
    if (fd_ < 0) RaiseInOutError(fileName, errno);
    struct stat st;
    if (::fstat(fd_, &st) != 0) {
        const int e = errno;
        ::close(fd_);
        RaiseInOutError(fileName, e);
    }
    if (S_ISDIR(st.st_mode)) {
        ::close(fd_);
        RaiseInOutError(fileName, EISDIR);
    }
    size_ = st.st_size;
}

TFileStream::~TFileStream()
{
    if (fd_ >= 0) ::close(fd_);
}

int64_t TFileStream::Read(void* buffer, int64_t count)
{
    if (count <= 0 || position_ >= size_) return 0;
    count = std::min(count, size_ - position_);
    auto* out = static_cast<uint8_t*>(buffer);
    int64_t done = 0;
    while (done < count) {
        // Serve what the buffer holds.
        if (position_ >= bufferStart_ && position_ < bufferStart_ + bufferLength_) {
            const int64_t offset = position_ - bufferStart_;
            const int64_t n = std::min(count - done, bufferLength_ - offset);
            std::memcpy(out + done, buffer_.data() + offset, static_cast<size_t>(n));
            done += n;
            position_ += n;
            continue;
        }
        const int64_t want = count - done;
        if (want >= kFileBufferSize) {
            // Large reads go straight into the caller's memory.
            const ssize_t got = ::pread(fd_, out + done, static_cast<size_t>(want), position_);
            if (got < 0 && errno == EINTR) continue;
            if (got <= 0) break;
            ChargeWork(static_cast<uint64_t>(got));
            done += got;
            position_ += got;
            continue;
        }
        buffer_.resize(kFileBufferSize);
        const ssize_t got = ::pread(fd_, buffer_.data(), kFileBufferSize, position_);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) {
            bufferLength_ = 0;
            break;
        }
        // A refill reads a whole buffer however few of its bytes are asked
        // for: a reader that hops about a file pays for every one of them.
        ChargeWork(static_cast<uint64_t>(got));
        bufferStart_ = position_;
        bufferLength_ = got;
    }
    return done;
}

int64_t TFileStream::Write(const void* buffer, int64_t count)
{
    if (count <= 0) return 0;
    bufferLength_ = 0;  // the buffered bytes may be stale now
    const auto* in = static_cast<const uint8_t*>(buffer);
    int64_t done = 0;
    while (done < count) {
        const ssize_t put = ::pwrite(fd_, in + done, static_cast<size_t>(count - done), position_);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) break;
        done += put;
        position_ += put;
    }
    size_ = std::max(size_, position_);
    return done;
}

int64_t TFileStream::Seek(int64_t offset, TSeekOrigin origin)
{
    int64_t target = offset;
    if (origin == soCurrent) target = position_ + offset;
    else if (origin == soEnd) target = size_ + offset;
    if (target < 0) throw EStreamError("Stream seek error");
    position_ = target;
    return position_;
}

void TFileStream::SetSize(int64_t newSize)
{
    if (newSize < 0 || ::ftruncate(fd_, newSize) != 0) throw EStreamError("Stream size error");
    size_ = newSize;
    bufferLength_ = 0;
    position_ = std::min(position_, size_);
}

// ---- TMemoryStream ---------------------------------------------------------

TMemoryStream::TMemoryStream(const void* data, size_t size)
    : data_(static_cast<const uint8_t*>(data), static_cast<const uint8_t*>(data) + size)
{
}

int64_t TMemoryStream::Read(void* buffer, int64_t count)
{
    const int64_t size = Size();
    if (count <= 0 || position_ >= size) return 0;
    const int64_t n = std::min(count, size - position_);
    std::memcpy(buffer, data_.data() + position_, static_cast<size_t>(n));
    position_ += n;
    return n;
}

int64_t TMemoryStream::Write(const void* buffer, int64_t count)
{
    if (count <= 0) return 0;
    const int64_t end = position_ + count;
    if (end > Size()) data_.resize(static_cast<size_t>(end));
    std::memcpy(data_.data() + position_, buffer, static_cast<size_t>(count));
    position_ = end;
    return count;
}

int64_t TMemoryStream::Seek(int64_t offset, TSeekOrigin origin)
{
    int64_t target = offset;
    if (origin == soCurrent) target = position_ + offset;
    else if (origin == soEnd) target = Size() + offset;
    if (target < 0) throw EStreamError("Stream seek error");
    position_ = target;
    return position_;
}

void TMemoryStream::SetSize(int64_t newSize)
{
    if (newSize < 0) throw EStreamError("Stream size error");
    data_.resize(static_cast<size_t>(newSize));
    position_ = std::min(position_, newSize);
}

void TMemoryStream::Clear()
{
    data_.clear();
    position_ = 0;
}

void TMemoryStream::LoadFromStream(TStream& stream)
{
    stream.SetPosition(0);
    const int64_t n = stream.Size();
    data_.resize(static_cast<size_t>(n));
    stream.ReadBuffer(data_.data(), n);
    position_ = 0;
}

void TMemoryStream::LoadFromFile(const std::string& fileName)
{
    TFileStream file(fileName, fmOpenRead | fmShareDenyWrite);
    LoadFromStream(file);
}

void TMemoryStream::SaveToStream(TStream& stream) const { stream.WriteBuffer(data_.data(), Size()); }

void TMemoryStream::SaveToFile(const std::string& fileName) const
{
    TFileStream file(fileName, fmCreate);
    SaveToStream(file);
}
