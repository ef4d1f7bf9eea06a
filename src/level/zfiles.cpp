#include "level/zfiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <stdexcept>

#include "level/parallel_deflate.h"
#include "level/zlibwrap.h"
#include "platform/rtl/byteorder.h"
#include "platform/rtl/messages.h"
#include "platform/rtl/sysutils.h"
#include "platform/rtl/work_meter.h"

namespace {

void ReleaseBuffer(TZFile& f)
{
    std::free(f.buffer);
    f.buffer = nullptr;
    f.size = f.position = f.capacity = 0;
}

// Empties an open file and puts its position at the start.
void Truncate(int handle, const std::string& name)
{
    if (::lseek(handle, 0, SEEK_SET) < 0 || ::ftruncate(handle, 0) != 0) RaiseInOutError(name, errno);
}

// A container's head at the file's position: "ZLIB", then the sizes of the
// stream and of the content.
void WriteHead(int handle, const std::string& name, uint32_t streamSize, uint32_t contentSize)
{
    uint8_t head[12];
    std::memcpy(head, "ZLIB", 4);
    WriteLE32(head + 4, streamSize);
    WriteLE32(head + 8, contentSize);
    WriteFully(handle, name, head, 12);
}

}  // namespace

TZFile::~TZFile()
{
    if (handle >= 0) ::close(handle);
    std::free(buffer);
}

void zAssignFile(TZFile& f, const std::string& name)
{
    f.name = name;
    f.compressed = 0;
}

bool zReadWhole(int handle, const std::string& name, uint8_t*& buffer, int32_t& size, int64_t contentLimit)
{
    buffer = nullptr;
    size = 0;
    struct stat st;
    if (::fstat(handle, &st) != 0) RaiseInOutError(name, errno);
    const int64_t fileLength = st.st_size;
    if (::lseek(handle, 0, SEEK_SET) < 0) RaiseInOutError(name, errno);
    uint8_t head[12];
    if (fileLength > 12 && ReadFully(handle, name, head, 12) == 12 && std::memcmp(head, "ZLIB", 4) == 0) {
        const uint32_t k = ReadLE32(head + 4);
        const uint32_t u = ReadLE32(head + 8);
        // A short stream is tolerated: read what there is.
        const int64_t available = std::min<int64_t>(k, fileLength - 12);
        TMemBlock stream;
        stream.resize(static_cast<int32_t>(std::min<int64_t>(available, INT32_MAX)));
        const int64_t got = ReadFully(handle, name, stream.data(), stream.length());
        TMemBlock out;
        if (!DecompressBounded(stream.data(), static_cast<int32_t>(got), u, out, INT32_MAX, contentLimit))
            ShowMessage(ZLIB_DATA_ERROR);
        size = out.length();
        buffer = out.release();
        return true;
    }
    if (fileLength > INT32_MAX) throw EInOutError(name, "File too large");
    // A plain file is its content: one larger than the caller can hold is
    // not read at all, rather than read whole and then refused.
    if (fileLength > contentLimit) throw std::bad_alloc();
    if (::lseek(handle, 0, SEEK_SET) < 0) RaiseInOutError(name, errno);
    ChargeWork(static_cast<uint64_t>(fileLength));
    // Held until it is handed over, so that a failed read releases it.
    std::unique_ptr<uint8_t, decltype(&std::free)> block(
        static_cast<uint8_t*>(std::malloc(static_cast<size_t>(std::max<int64_t>(fileLength, 1)))), &std::free);
    if (!block) throw std::bad_alloc();
    size = static_cast<int32_t>(ReadFully(handle, name, block.get(), fileLength));
    buffer = block.release();
    return false;
}

void zWriteCompressed(int handle, const std::string& name, const uint8_t* buffer, int32_t size)
{
    Truncate(handle, name);
    TMemBlock packed;
    CompressBuf(buffer, size, packed);
    WriteHead(handle, name, static_cast<uint32_t>(packed.length()), static_cast<uint32_t>(size));
    WriteFully(handle, name, packed.data(), packed.length());
}

void zReset(TZFile& f, uint16_t recordSize) { zReset(f, recordSize, FileMode); }

void zReset(TZFile& f, uint16_t recordSize, int openMode, int64_t contentLimit)
{
    if (f.handle >= 0) zCloseFile(f, false);
    const int flags = (openMode & 3) == fmOpenRead ? O_RDONLY : ((openMode & 3) == fmOpenWrite ? O_WRONLY : O_RDWR);
    const int fd = ::open(f.name.c_str(), flags | O_CLOEXEC);
    if (fd < 0) RaiseInOutError(f.name, errno);
    f.handle = fd;
    f.recordSize = recordSize;
    f.position = 0;
    ReleaseBuffer(f);
    try {
        uint8_t* buf = nullptr;
        int32_t size = 0;
        f.compressed = zReadWhole(fd, f.name, buf, size, contentLimit) ? 1 : 0;
        f.buffer = buf;
        f.size = size;
        f.capacity = size;
    } catch (...) {
        ::close(fd);
        f.handle = -1;
        throw;
    }
}

void zRewrite(TZFile& f, uint16_t recordSize)
{
    if (f.handle >= 0) zCloseFile(f, false);
    const int fd = ::open(f.name.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) RaiseInOutError(f.name, errno);
    f.handle = fd;
    ReleaseBuffer(f);
    f.recordSize = recordSize;
    f.buffer = static_cast<uint8_t*>(std::malloc(ZFILE_GROWTH));
    if (!f.buffer) {
        ::close(fd);
        f.handle = -1;
        throw std::bad_alloc();
    }
    f.capacity = ZFILE_GROWTH;
}

int32_t zBlockRead(TZFile& f, void* destination, int32_t count)
{
    int64_t n = static_cast<int64_t>(f.recordSize) * std::max<int32_t>(count, 0);
    n = std::min<int64_t>(n, static_cast<int64_t>(f.size) - f.position);
    if (n <= 0) return 0;
    std::memcpy(destination, f.buffer + f.position, static_cast<size_t>(n));
    f.position += static_cast<int32_t>(n);
    return static_cast<int32_t>(n);
}

void zBlockWrite(TZFile& f, const void* source, int32_t count)
{
    const int64_t n = static_cast<int64_t>(f.recordSize) * std::max<int32_t>(count, 0);
    if (n == 0) return;
    if (static_cast<int64_t>(f.position) + n + ZFILE_GROWTH > INT32_MAX)
        throw std::length_error("buffered file too large");
    if (n > static_cast<int64_t>(f.size) - f.position) f.size = static_cast<int32_t>(f.position + n);
    if (n > static_cast<int64_t>(f.capacity) - f.position) {
        const int32_t newCapacity = static_cast<int32_t>(f.position + n + ZFILE_GROWTH);
        void* p = std::realloc(f.buffer, static_cast<size_t>(newCapacity));
        if (!p) throw std::bad_alloc();
        f.buffer = static_cast<uint8_t*>(p);
        f.capacity = newCapacity;
    }
    std::memcpy(f.buffer + f.position, source, static_cast<size_t>(n));
    f.position += static_cast<int32_t>(n);
}

void zSeek(TZFile& f, int32_t offset) { f.position = offset > f.size ? f.size : std::max<int32_t>(offset, 0); }

int32_t zFilePos(const TZFile& f) { return f.position; }

int32_t zFileSize(const TZFile& f) { return f.size; }

void zCloseFile(TZFile& f, bool write)
{
    const int fd = f.handle;
    f.handle = -1;
    try {
        if (write && fd >= 0) {
            if (f.compressed) {
                zWriteCompressed(fd, f.name, f.buffer, f.size);
            } else {
                Truncate(fd, f.name);
                WriteFully(fd, f.name, f.buffer, f.size);
            }
            // The content must be on disk before anyone replaces another file with it.
            if (::fsync(fd) != 0) RaiseInOutError(f.name, errno);
        }
    } catch (...) {
        ::close(fd);
        ReleaseBuffer(f);
        throw;
    }
    ReleaseBuffer(f);
    if (fd >= 0 && ::close(fd) != 0 && write) RaiseInOutError(f.name, errno);
}

TZStreamWriter::TZStreamWriter(const std::string& name) : name_(name)
{
    handle_ = ::open(name.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (handle_ < 0) RaiseInOutError(name, errno);
    try {
        // The head goes in last, once the sizes are known.
        if (::lseek(handle_, 12, SEEK_SET) < 0) RaiseInOutError(name_, errno);
        deflate_ = std::make_unique<TParallelDeflate>(
            [this](const uint8_t* data, size_t n) { WriteFully(handle_, name_, data, static_cast<int64_t>(n)); });
    } catch (...) {
        Abandon();
        throw;
    }
}

TZStreamWriter::~TZStreamWriter() { Abandon(); }

void TZStreamWriter::Write(const void* data, int64_t n)
{
    if (!deflate_) throw std::logic_error("container already closed");
    if (n <= 0) return;
    if (static_cast<int64_t>(deflate_->TotalIn()) + n + ZFILE_GROWTH > INT32_MAX)
        throw std::length_error("buffered file too large");
    deflate_->Write(data, static_cast<size_t>(n));
}

void TZStreamWriter::Close()
{
    if (!deflate_) throw std::logic_error("container already closed");
    deflate_->Finish();
    if (::lseek(handle_, 0, SEEK_SET) < 0) RaiseInOutError(name_, errno);
    WriteHead(handle_, name_, static_cast<uint32_t>(deflate_->TotalOut()), static_cast<uint32_t>(deflate_->TotalIn()));
    // The content must be on disk before anyone replaces another file with it.
    if (::fsync(handle_) != 0) RaiseInOutError(name_, errno);
    deflate_.reset();
    const int fd = handle_;
    handle_ = -1;
    if (::close(fd) != 0) RaiseInOutError(name_, errno);
}

void TZStreamWriter::Abandon()
{
    deflate_.reset();
    if (handle_ >= 0) ::close(handle_);
    handle_ = -1;
}
