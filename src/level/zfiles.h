// The buffered file: a file is read whole into memory, or built whole in
// memory, and every read, write and seek works on that buffer. On closing,
// a buffer opened for writing is stored plain or as a "ZLIB" container:
// "ZLIB", the compressed size (u32), the uncompressed size (u32), then one
// zlib stream.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

class TParallelDeflate;

struct TZFile {
    TZFile() = default;
    ~TZFile();
    TZFile(const TZFile&) = delete;
    TZFile& operator=(const TZFile&) = delete;

    std::string name;
    int handle = -1;         // platform file descriptor while open
    uint8_t compressed = 0;  // set by zReset for a container; set by the writer to ask for one
    uint8_t* buffer = nullptr;
    int32_t size = 0;
    int32_t position = 0;
    int32_t capacity = 0;
    uint16_t recordSize = 1;
};

// Growth of a write buffer beyond what a write needs.
constexpr int32_t ZFILE_GROWTH = 262144;

void zAssignFile(TZFile& f, const std::string& name);
// Opens for reading in the runtime's FileMode (or the mode given) and reads
// the whole file. A file whose content would exceed contentLimit bytes (a
// plain file larger than that, or a "ZLIB" container inflating beyond it)
// raises std::bad_alloc, the file closed: its content is there, but more
// than the caller can hold.
void zReset(TZFile& f, uint16_t recordSize);
void zReset(TZFile& f, uint16_t recordSize, int openMode, int64_t contentLimit = INT32_MAX);
// Creates or truncates the file and starts an empty 256 KB buffer.
void zRewrite(TZFile& f, uint16_t recordSize);
// Copies recordSize x count bytes from the position, clipped to the content.
// Returns the bytes copied.
int32_t zBlockRead(TZFile& f, void* destination, int32_t count);
void zBlockWrite(TZFile& f, const void* source, int32_t count);
void zSeek(TZFile& f, int32_t offset);
int32_t zFilePos(const TZFile& f);
int32_t zFileSize(const TZFile& f);
// With the write flag the content is stored (plain or compressed) before the
// file is closed; every write and the close are checked. The buffer is
// released in every case.
void zCloseFile(TZFile& f, bool write);

// Replaces the content of an open file with a "ZLIB" container of the size
// bytes at buffer; every write is checked.
void zWriteCompressed(int handle, const std::string& name, const uint8_t* buffer, int32_t size);

// A "ZLIB" container written while its content is produced, for content
// too large to be held whole: the content is deflated in blocks on every
// core as it comes (see TParallelDeflate) and goes to the file block by
// block; the head's sizes are filled in at the end. The content is bounded
// as a buffered file's is.
class TZStreamWriter {
public:
    // Creates or truncates the file.
    explicit TZStreamWriter(const std::string& name);
    // Abandons the file if Close was not reached.
    ~TZStreamWriter();
    TZStreamWriter(const TZStreamWriter&) = delete;
    TZStreamWriter& operator=(const TZStreamWriter&) = delete;

    void Write(const void* data, int64_t n);
    // Ends the stream, writes the head, flushes the file to disk and closes
    // it; every step is checked.
    void Close();
    // Stops compressing and closes the file unchecked, leaving it incomplete.
    void Abandon();

private:
    std::string name_;
    int handle_ = -1;
    std::unique_ptr<TParallelDeflate> deflate_;
};

// Reads a whole open file into a new buffer; returns the compressed flag.
// A container's content is inflated into a block that grows as the stream
// produces it (the sizes in its head are claims, not facts), up to
// contentLimit bytes; beyond that, or for a plain file larger than that,
// std::bad_alloc is raised.
bool zReadWhole(int handle, const std::string& name, uint8_t*& buffer, int32_t& size, int64_t contentLimit = INT32_MAX);

// The message shown when a "ZLIB" container's data is damaged.
inline constexpr const char* ZLIB_DATA_ERROR = "Zlib Error, your compressed data has errors!";
