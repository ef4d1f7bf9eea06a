// JPEG pictures through libjpeg. libjpeg reports a fatal error by calling
// its error_exit hook, which must not return; ours jumps back to the decoding
// function, which then raises EInvalidGraphic in ordinary C++ code, so no
// exception ever travels through libjpeg's C frames.
#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <exception>
#include <memory>
#include <string>
#include <vector>

#include <jpeglib.h>
// After jpeglib.h, which it needs.
#include <jerror.h>

#include "platform/gdi/canvas.h"
#include "platform/picture/jpeg_work.h"
#include "platform/picture/picture.h"
#include "platform/rtl/classes.h"
#include "platform/rtl/work_meter.h"

namespace {

const char* const kInvalidJpeg = "Cannot load image. Invalid JPEG data: ";

struct TJpegError {
    jpeg_error_mgr manager;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
    int code = 0;
};

extern "C" void JpegErrorExit(j_common_ptr cinfo)
{
    auto* err = reinterpret_cast<TJpegError*>(cinfo->err);
    (*cinfo->err->format_message)(cinfo, err->message);
    err->code = cinfo->err->msg_code;
    std::longjmp(err->jump, 1);
}

// libjpeg asks for more than its share of memory (it has no backing store to
// spill to): the picture is too large to load, not damaged.
bool OutOfDecoderMemory(int code) { return code == JERR_OUT_OF_MEMORY || code == JERR_NO_BACKING_STORE; }

// Warnings (corrupt or truncated data that libjpeg can work around) are not shown.
extern "C" void JpegOutputMessage(j_common_ptr) {}

// The picture's bytes, read from the stream a buffer at a time as libjpeg
// asks for them: a large file is not held whole beside its bitmap and the
// decoder's coefficients.
constexpr size_t kSourceBytes = 65536;

struct TJpegSource {
    jpeg_source_mgr manager{};  // first: libjpeg hands its address back
    TStream* stream = nullptr;
    std::vector<JOCTET> buffer;
    // A read error of the stream, raised again once libjpeg has let go.
    std::exception_ptr failure;
};

// The decoder's state lives on the heap, owned by the caller, so the jump
// back into Decompress skips no destructor.
struct TJpegState {
    jpeg_decompress_struct cinfo;
    TJpegError error;
    TJpegSource source;
    TJpegWork work;
    bool created = false;
    std::vector<uint8_t> cmykRow;
    ~TJpegState()
    {
        if (created) jpeg_destroy_decompress(&cinfo);
    }
};

// Gives up, as libjpeg's own errors do, with the reason as the message.
[[noreturn]] void GiveUp(j_decompress_ptr cinfo, const char* reason)
{
    auto* err = reinterpret_cast<TJpegError*>(cinfo->err);
    std::snprintf(err->message, sizeof err->message, "%s", reason);
    std::longjmp(err->jump, 1);
}

extern "C" void PictureInitSource(j_decompress_ptr) {}

// The next bytes of the stream; at its end, as libjpeg's own sources do, a
// warning and an end-of-image marker, so a cut-off picture keeps what it has.
extern "C" boolean PictureFillSource(j_decompress_ptr cinfo)
{
    auto* s = reinterpret_cast<TJpegSource*>(cinfo->src);
    int64_t got = 0;
    try {
        got = s->stream->Read(s->buffer.data(), static_cast<int64_t>(s->buffer.size()));
    } catch (...) {
        s->failure = std::current_exception();
    }
    // Out of the handler before the jump, which must not leave one.
    if (s->failure) GiveUp(cinfo, "Read error");
    if (got <= 0) {
        WARNMS(cinfo, JWRN_JPEG_EOF);
        s->buffer[0] = 0xFF;
        s->buffer[1] = JPEG_EOI;
        got = 2;
    }
    s->manager.next_input_byte = s->buffer.data();
    s->manager.bytes_in_buffer = static_cast<size_t>(got);
    return TRUE;
}

// Skips a marker's body: past the buffer, the stream moves on (a skip past
// its end leaves nothing more to read).
extern "C" void PictureSkipSource(j_decompress_ptr cinfo, long count)
{
    auto* s = reinterpret_cast<TJpegSource*>(cinfo->src);
    if (count <= 0) return;
    if (static_cast<size_t>(count) <= s->manager.bytes_in_buffer) {
        s->manager.next_input_byte += count;
        s->manager.bytes_in_buffer -= static_cast<size_t>(count);
        return;
    }
    s->stream->Seek(count - static_cast<long>(s->manager.bytes_in_buffer), soCurrent);
    s->manager.bytes_in_buffer = 0;
}

extern "C" void PictureTermSource(j_decompress_ptr) {}

void InstallSource(TJpegState* s, TStream& stream)
{
    TJpegSource& src = s->source;
    src.stream = &stream;
    src.buffer.resize(kSourceBytes);
    src.manager.init_source = PictureInitSource;
    src.manager.fill_input_buffer = PictureFillSource;
    src.manager.skip_input_data = PictureSkipSource;
    src.manager.resync_to_restart = jpeg_resync_to_restart;
    src.manager.term_source = PictureTermSource;
    s->cinfo.src = &src.manager;
}

// Reads the header and checks the picture's size: its bitmap must fit,
// libjpeg may take what the largest such picture needs besides, and the
// work of decoding it is counted. Returns whether the picture is CMYK.
bool StartPicture(TJpegState* s)
{
    jpeg_decompress_struct* cinfo = &s->cinfo;
    cinfo->mem->max_memory_to_use = static_cast<long>(JpegDecoderMemoryLimit());
    jpeg_read_header(cinfo, TRUE);
    const bool cmyk = cinfo->jpeg_color_space == JCS_CMYK || cinfo->jpeg_color_space == JCS_YCCK;
    cinfo->out_color_space = cmyk ? JCS_CMYK : JCS_EXT_BGR;
    jpeg_calc_output_dimensions(cinfo);
    const int64_t bitmapBytes =
        int64_t(BytesPerScanline(static_cast<int>(cinfo->output_width), 24)) * cinfo->output_height;
    if (bitmapBytes > BitmapMemoryLimit) throw EOutOfResources();
    GrantOutputWork(static_cast<uint64_t>(bitmapBytes));
    s->work.ChargeStart(*cinfo);
    TJpegWork::ChargeRows(*cinfo, cinfo->output_height);
    // Storing the rows, and converting them first when they are CMYK.
    ChargeWork(static_cast<uint64_t>(bitmapBytes) * (cmyk ? 2 : 1));
    return cmyk;
}

// Decodes the whole picture into the bitmap. Returns false with the message
// in the state's error when libjpeg gave up.
bool Decompress(TJpegState* s, TStream& stream, TBitmap* bitmap)
{
    jpeg_decompress_struct* cinfo = &s->cinfo;
    cinfo->err = jpeg_std_error(&s->error.manager);
    s->error.manager.error_exit = JpegErrorExit;
    s->error.manager.output_message = JpegOutputMessage;
    s->error.message[0] = 0;
    if (setjmp(s->error.jump)) return false;

    jpeg_create_decompress(cinfo);
    s->created = true;
    InstallSource(s, stream);
    s->work.Attach(*cinfo);
    const bool cmyk = StartPicture(s);
    jpeg_start_decompress(cinfo);

    bitmap->SetPixelFormat(pf24bit);
    bitmap->SetSize(static_cast<int>(cinfo->output_width), static_cast<int>(cinfo->output_height));
    if (cmyk) s->cmykRow.resize(static_cast<size_t>(cinfo->output_width) * 4);
    while (cinfo->output_scanline < cinfo->output_height) {
        const int y = static_cast<int>(cinfo->output_scanline);
        if (!cmyk) {
            JSAMPROW row = bitmap->ScanLine(y);
            jpeg_read_scanlines(cinfo, &row, 1);
            continue;
        }
        JSAMPROW row = s->cmykRow.data();
        jpeg_read_scanlines(cinfo, &row, 1);
        // Adobe writes CMYK inverted: each value is already 255 - ink.
        uint8_t* out = bitmap->ScanLine(y);
        for (unsigned x = 0; x < cinfo->output_width; ++x) {
            const unsigned c = row[4 * x], m = row[4 * x + 1], yy = row[4 * x + 2], k = row[4 * x + 3];
            out[3 * x] = static_cast<uint8_t>(yy * k / 255);
            out[3 * x + 1] = static_cast<uint8_t>(m * k / 255);
            out[3 * x + 2] = static_cast<uint8_t>(c * k / 255);
        }
    }
    jpeg_finish_decompress(cinfo);
    return true;
}

// Decodes the picture at the stream's position and hands it to the bitmap.
void LoadPicture(TStream& stream, TBitmap& bitmap)
{
    auto state = std::make_unique<TJpegState>();
    TBitmap decoded;
    if (!Decompress(state.get(), stream, &decoded)) {
        if (state->source.failure) std::rethrow_exception(state->source.failure);
        if (state->work.Spent()) throw EWorkSpent();
        if (OutOfDecoderMemory(state->error.code)) throw EOutOfResources();
        throw EInvalidGraphic(kInvalidJpeg + std::string(state->error.message));
    }
    // The picture takes the rest of the stream, as it always has.
    stream.Seek(0, soEnd);
    bitmap.SwapImage(decoded);
}

}  // namespace

void TJPEGImage::Assign(const TGraphic& source)
{
    if (&source == this) return;
    if (const auto* jpeg = dynamic_cast<const TJPEGImage*>(&source)) {
        bitmap_.Assign(jpeg->bitmap_);
        return;
    }
    throw EInvalidGraphic("Cannot assign this picture to a JPEG image");
}

void TJPEGImage::LoadFromStream(TStream& stream)
{
    MeteredLoad(
        static_cast<uint64_t>(std::max<int64_t>(stream.Remaining(), 0)), [&] { LoadPicture(stream, bitmap_); },
        [] { throw EInvalidGraphic(std::string(kInvalidJpeg) + EWorkSpent().what()); });
}

void TJPEGImage::SaveToStream(TStream&) { throw EInvalidGraphic("Cannot save image. JPEG pictures can only be read."); }

void TJPEGImage::Draw(TCanvas& canvas, const TRect& rect) const { bitmap_.Draw(canvas, rect); }
