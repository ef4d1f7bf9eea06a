// JPEG pictures through libjpeg. libjpeg reports a fatal error by calling
// its error_exit hook, which must not return; ours jumps back to the decoding
// function, which then raises EInvalidGraphic in ordinary C++ code, so no
// exception ever travels through libjpeg's C frames.
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <jpeglib.h>

#include "platform/gdi/canvas.h"
#include "platform/picture/picture.h"
#include "platform/rtl/classes.h"

namespace {

struct TJpegError {
    jpeg_error_mgr manager;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

extern "C" void JpegErrorExit(j_common_ptr cinfo)
{
    auto* err = reinterpret_cast<TJpegError*>(cinfo->err);
    (*cinfo->err->format_message)(cinfo, err->message);
    std::longjmp(err->jump, 1);
}

// Warnings (corrupt or truncated data that libjpeg can work around) are not shown.
extern "C" void JpegOutputMessage(j_common_ptr) {}

// The decoder's state lives on the heap, owned by the caller, so the jump
// back into Decompress skips no destructor.
struct TJpegState {
    jpeg_decompress_struct cinfo;
    TJpegError error;
    bool created = false;
    std::vector<uint8_t> cmykRow;
    ~TJpegState()
    {
        if (created) jpeg_destroy_decompress(&cinfo);
    }
};

// Decodes the whole data into the bitmap. Returns false with the message in
// the state's error when libjpeg gave up.
bool Decompress(TJpegState* s, const uint8_t* data, size_t size, TBitmap* bitmap)
{
    jpeg_decompress_struct* cinfo = &s->cinfo;
    cinfo->err = jpeg_std_error(&s->error.manager);
    s->error.manager.error_exit = JpegErrorExit;
    s->error.manager.output_message = JpegOutputMessage;
    s->error.message[0] = 0;
    if (setjmp(s->error.jump)) return false;

    jpeg_create_decompress(cinfo);
    s->created = true;
    // Progressive pictures keep all coefficients; this bounds what libjpeg may take for them.
    cinfo->mem->max_memory_to_use = 512L * 1024 * 1024;
    jpeg_mem_src(cinfo, data, static_cast<unsigned long>(size));
    jpeg_read_header(cinfo, TRUE);
    const bool cmyk = cinfo->jpeg_color_space == JCS_CMYK || cinfo->jpeg_color_space == JCS_YCCK;
    cinfo->out_color_space = cmyk ? JCS_CMYK : JCS_EXT_BGR;
    jpeg_calc_output_dimensions(cinfo);
    if (int64_t(cinfo->output_width) * cinfo->output_height * 3 > BitmapMemoryLimit) throw EOutOfResources();
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
    const int64_t n = stream.Remaining();
    std::vector<uint8_t> data(static_cast<size_t>(n));
    stream.ReadBuffer(data.data(), n);
    auto state = std::make_unique<TJpegState>();
    TBitmap decoded;
    if (!Decompress(state.get(), data.data(), data.size(), &decoded))
        throw EInvalidGraphic(std::string("Cannot load image. Invalid JPEG data: ") + state->error.message);
    bitmap_.Assign(decoded);
}

void TJPEGImage::SaveToStream(TStream&) { throw EInvalidGraphic("Cannot save image. JPEG pictures can only be read."); }

void TJPEGImage::Draw(TCanvas& canvas, const TRect& rect) const { bitmap_.Draw(canvas, rect); }
