// JPEG pictures through libjpeg. libjpeg reports a fatal error by calling
// its error_exit hook, which must not return; ours jumps back to the decoding
// function, which then raises EInvalidGraphic in ordinary C++ code, so no
// exception ever travels through libjpeg's C frames.
#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <jpeglib.h>
// After jpeglib.h, which it needs.
#include <jerror.h>

#include "platform/gdi/canvas.h"
#include "platform/picture/picture.h"
#include "platform/rtl/classes.h"

namespace {

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

// What libjpeg may take besides the decoded bitmap: the coefficients of
// a progressive or multi-scan picture (two bytes for each sample of each
// component) come out of this, so that a picture and its decoder together
// stay within what one bitmap may take.
constexpr int64_t kMaxDecoderMemory = int64_t(512) << 20;
constexpr int64_t kMinDecoderMemory = int64_t(32) << 20;

// Decoding costs about the same for every sample of every component,
// whatever the data: a picture may have two samples for each pixel of the
// largest bitmap (three bytes a pixel), as much as a colour picture of that
// size subsampled as cameras store it and more than a grey one.
int64_t MaxSamples() { return BitmapMemoryLimit / 3 * 2; }

// Scans a picture may have. Each scan of a multi-scan picture walks every
// block of its components again, whatever little data it carries, so the
// scans are bounded in number and in the block visits they cost together:
// a scan costs its blocks times (its coefficients + kScanBlockCost), and
// all scans together may cost what kFullScans scans over every coefficient
// of every block would, and no more than kMaxScanCost. Encoders write a
// dozen scans or so that cost two or three full scans; even one scan per
// coefficient, or successive approximation to the last bit, stays within
// this below the largest pictures.
constexpr int kMaxScans = 500;
constexpr int64_t kScanBlockCost = 16;
constexpr int64_t kFullScans = 16;
constexpr int64_t kMaxScanCost = int64_t(1) << 30;

struct TJpegProgress {
    jpeg_progress_mgr manager;
    int scansSeen = 0;
    int64_t cost = 0;
    int64_t budget = 0;
};

// The decoder's state lives on the heap, owned by the caller, so the jump
// back into Decompress skips no destructor.
struct TJpegState {
    jpeg_decompress_struct cinfo;
    TJpegError error;
    TJpegProgress progress;
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

// Called by libjpeg while it reads the scans; counts each new scan's cost.
extern "C" void JpegProgress(j_common_ptr common)
{
    if (!common->is_decompressor) return;
    auto* cinfo = reinterpret_cast<j_decompress_ptr>(common);
    auto* p = reinterpret_cast<TJpegProgress*>(cinfo->progress);
    if (cinfo->input_scan_number <= p->scansSeen) return;
    p->scansSeen = cinfo->input_scan_number;
    if (p->scansSeen > kMaxScans) GiveUp(cinfo, "Too many scans");
    int64_t blocks = 0;
    for (int i = 0; i < cinfo->comps_in_scan && i < MAX_COMPS_IN_SCAN; ++i) {
        const jpeg_component_info* c = cinfo->cur_comp_info[i];
        if (c) blocks += int64_t(c->width_in_blocks) * c->height_in_blocks;
    }
    const int64_t coefficients = cinfo->progressive_mode ? int64_t(cinfo->Se) - cinfo->Ss + 1 : DCTSIZE2;
    p->cost += blocks * (std::max<int64_t>(coefficients, 1) + kScanBlockCost);
    if (p->cost > p->budget) GiveUp(cinfo, "Too many scans for the size of the picture");
}

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
    cinfo->mem->max_memory_to_use = kMaxDecoderMemory;
    jpeg_mem_src(cinfo, data, static_cast<unsigned long>(size));
    jpeg_read_header(cinfo, TRUE);
    const bool cmyk = cinfo->jpeg_color_space == JCS_CMYK || cinfo->jpeg_color_space == JCS_YCCK;
    cinfo->out_color_space = cmyk ? JCS_CMYK : JCS_EXT_BGR;
    jpeg_calc_output_dimensions(cinfo);
    const int64_t bitmapBytes =
        int64_t(BytesPerScanline(static_cast<int>(cinfo->output_width), 24)) * cinfo->output_height;
    if (bitmapBytes > BitmapMemoryLimit) throw EOutOfResources();
    cinfo->mem->max_memory_to_use =
        static_cast<long>(std::clamp(BitmapMemoryLimit - bitmapBytes, kMinDecoderMemory, kMaxDecoderMemory));
    int64_t blocks = 0;
    for (int ci = 0; ci < cinfo->num_components; ++ci)
        blocks += int64_t(cinfo->comp_info[ci].width_in_blocks) * cinfo->comp_info[ci].height_in_blocks;
    if (blocks > MaxSamples() / DCTSIZE2) throw EOutOfResources();
    s->progress.budget = std::min(blocks * (DCTSIZE2 + kScanBlockCost) * kFullScans, kMaxScanCost);
    s->progress.manager.progress_monitor = JpegProgress;
    cinfo->progress = &s->progress.manager;
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
    if (!Decompress(state.get(), data.data(), data.size(), &decoded)) {
        if (OutOfDecoderMemory(state->error.code)) throw EOutOfResources();
        throw EInvalidGraphic(std::string("Cannot load image. Invalid JPEG data: ") + state->error.message);
    }
    bitmap_.SwapImage(decoded);
}

void TJPEGImage::SaveToStream(TStream&) { throw EInvalidGraphic("Cannot save image. JPEG pictures can only be read."); }

void TJPEGImage::Draw(TCanvas& canvas, const TRect& rect) const { bitmap_.Draw(canvas, rect); }
