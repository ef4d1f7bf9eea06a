// libjpeg reports a fatal error through its error_exit hook, which must not
// return: ours jumps back into the function that called libjpeg, which then
// raises ECodecCompression in ordinary code, so no exception ever unwinds
// through libjpeg's C frames. Everything those functions touch between the
// jump point and the libjpeg calls lives in the heap state, so the jump skips
// no destructor.
#include "codecs/tiff_jpeg_decoder.h"

#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <set>
#include <string>

#include <jpeglib.h>

#include "codecs/codec_graphic.h"
#include "codecs/codec_messages.h"
#include "platform/picture/jpeg_work.h"
#include "platform/rtl/messages.h"
#include "platform/rtl/work_meter.h"

namespace {
const JOCTET kEndOfImage[2] = {0xFF, JPEG_EOI};
}

struct TTIFFJPEGDecoder::TState {
    jpeg_decompress_struct cinfo;
    jpeg_error_mgr error;
    jpeg_source_mgr source;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
    bool created = false;
    const uint8_t* data = nullptr;
    size_t dataLength = 0;
    const uint8_t* tables = nullptr;
    size_t tablesLength = 0;
    // A strip has been started and not ended yet.
    bool started = false;
    // The work of each strip and of its scans, charged to the load's meter.
    TJpegWork work;
    // The notices shown so far: each is shown once a picture, not once a
    // strip, so that a file of many damaged strips does not bring up box
    // after box.
    TJPEGNotices* notices = nullptr;
};

namespace {

using TState = TTIFFJPEGDecoder::TState;

TState* StateOf(j_common_ptr cinfo) { return static_cast<TState*>(cinfo->client_data); }

extern "C" void JPEGErrorExit(j_common_ptr cinfo)
{
    TState* s = StateOf(cinfo);
    (*cinfo->err->format_message)(cinfo, s->message);
    std::longjmp(s->jump, 1);
}

// libjpeg's warnings: shown, and decoding goes on.
extern "C" void JPEGWarning(j_common_ptr cinfo)
{
    if (!StateOf(cinfo)->notices->warnings.insert(cinfo->err->msg_code).second) return;
    char text[JMSG_LENGTH_MAX];
    (*cinfo->err->format_message)(cinfo, text);
    MessageBox(text, LoadStr(gesWarning), MB_ICONWARNING);
}

extern "C" void InitDataSource(j_decompress_ptr cinfo)
{
    TState* s = StateOf(reinterpret_cast<j_common_ptr>(cinfo));
    s->source.next_input_byte = s->data;
    s->source.bytes_in_buffer = s->dataLength;
}

extern "C" void InitTablesSource(j_decompress_ptr cinfo)
{
    TState* s = StateOf(reinterpret_cast<j_common_ptr>(cinfo));
    s->source.next_input_byte = s->tables;
    s->source.bytes_in_buffer = s->tablesLength;
}

// The data ended before the image did: say so and end the image there.
extern "C" boolean FillInputBuffer(j_decompress_ptr cinfo)
{
    TState* s = StateOf(reinterpret_cast<j_common_ptr>(cinfo));
    if (!s->notices->end) MessageBox(LoadStr(gesJPEGEOI), LoadStr(gesWarning), MB_ICONWARNING);
    s->notices->end = true;
    s->source.next_input_byte = kEndOfImage;
    s->source.bytes_in_buffer = 2;
    return TRUE;
}

extern "C" void SkipInputData(j_decompress_ptr cinfo, long count)
{
    TState* s = StateOf(reinterpret_cast<j_common_ptr>(cinfo));
    if (count <= 0) return;
    if (static_cast<size_t>(count) <= s->source.bytes_in_buffer) {
        s->source.next_input_byte += count;
        s->source.bytes_in_buffer -= static_cast<size_t>(count);
    } else {
        FillInputBuffer(cinfo);
    }
}

extern "C" void TermSource(j_decompress_ptr) {}

// Installs our source manager with the given init hook.
void InstallSource(TState* s, void (*init)(j_decompress_ptr))
{
    s->source.init_source = init;
    s->source.fill_input_buffer = FillInputBuffer;
    s->source.skip_input_data = SkipInputData;
    s->source.resync_to_restart = jpeg_resync_to_restart;
    s->source.term_source = TermSource;
    s->source.next_input_byte = nullptr;
    s->source.bytes_in_buffer = 0;
    s->cinfo.src = &s->source;
}

// The source over the strip data of the next Decode.
void SetupDataSource(TState* s) { InstallSource(s, InitDataSource); }

// The source over the shared tables.
void SetupTablesSource(TState* s) { InstallSource(s, InitTablesSource); }

// Creates the decompressor and reads the tables; -1 on a libjpeg error,
// else jpeg_read_header's answer for the tables (or 0 without tables). The
// decoders of a picture's `planes` planes decode side by side and share
// what one decoder may take.
int CreateAndReadTables(TState* s, unsigned planes)
{
    if (setjmp(s->jump)) return -1;
    s->cinfo.err = jpeg_std_error(&s->error);
    s->error.error_exit = JPEGErrorExit;
    s->error.output_message = JPEGWarning;
    s->cinfo.client_data = s;
    jpeg_create_decompress(&s->cinfo);
    s->created = true;
    // What a progressive strip may take for its coefficients: as much as a
    // JPEG picture of the largest bitmap.
    s->cinfo.mem->max_memory_to_use = static_cast<long>(JpegDecoderMemoryLimit() / planes);
    s->work.Attach(s->cinfo);
    int result = 0;
    if (s->tables) {
        SetupTablesSource(s);
        result = jpeg_read_header(&s->cinfo, FALSE);
    }
    SetupDataSource(s);
    return result;
}

// Starts a strip: -1 on a libjpeg error.
int ReadStripHeader(TState* s)
{
    if (setjmp(s->jump)) return -1;
    jpeg_abort(reinterpret_cast<j_common_ptr>(&s->cinfo));
    return jpeg_read_header(&s->cinfo, TRUE);
}

bool StartDecompress(TState* s, J_COLOR_SPACE in, J_COLOR_SPACE out)
{
    if (setjmp(s->jump)) return false;
    s->cinfo.jpeg_color_space = in;
    s->cinfo.out_color_space = out;
    jpeg_start_decompress(&s->cinfo);
    return true;
}

bool ReadScanlines(TState* s, uint8_t* dest, uint32_t rows, uint32_t bytesPerRow)
{
    if (setjmp(s->jump)) return false;
    for (uint32_t i = 0; i < rows; ++i) {
        JSAMPROW row = dest + static_cast<size_t>(i) * bytesPerRow;
        if (jpeg_read_scanlines(&s->cinfo, &row, 1) != 1) break;
    }
    return true;
}

// Ends the strip: the image is finished when all its rows were read.
bool FinishStrip(TState* s)
{
    if (setjmp(s->jump)) return false;
    if (s->cinfo.output_scanline >= s->cinfo.output_height) jpeg_finish_decompress(&s->cinfo);
    else jpeg_abort(reinterpret_cast<j_common_ptr>(&s->cinfo));
    return true;
}

[[noreturn]] void RaiseJPEGError(const TState* s)
{
    // libjpeg was stopped because the load's work is spent: the reader
    // refuses the file as damaged.
    if (s->work.Spent()) throw EWorkSpent();
    CompressionError(s->message[0] ? std::string(s->message) : LoadStr(gesJPEGBogusTableField));
}

}  // namespace

TTIFFJPEGDecoder::TTIFFJPEGDecoder(TImageProperties* Properties, std::shared_ptr<TJPEGNotices> Notices)
    : properties_(Properties), notices_(Notices ? std::move(Notices) : std::make_shared<TJPEGNotices>())
{
}

TTIFFJPEGDecoder::~TTIFFJPEGDecoder() { DecodeEnd(); }

void TTIFFJPEGDecoder::DecodeInit()
{
    DecodeEnd();
    state_ = std::make_unique<TState>();
    TState* s = state_.get();
    s->message[0] = 0;
    *notices_ = TJPEGNotices();
    s->notices = notices_.get();
    if (!properties_->JPEGTables.empty()) {
        s->tables = properties_->JPEGTables.data();
        s->tablesLength = properties_->JPEGTables.size();
    }
    const auto& sub = properties_->YCbCrSubSampling;
    hSampling_ = sub.size() >= 2 ? sub[0] : 1;
    vSampling_ = sub.size() >= 2 ? sub[1] : 1;
    const bool separate = properties_->PlanarConfig == 2 && properties_->SamplesPerPixel > 1;
    const int result = CreateAndReadTables(s, separate ? properties_->SamplesPerPixel : 1);
    if (result < 0) RaiseJPEGError(s);
    if (s->tables && result != JPEG_HEADER_TABLES_ONLY) CompressionError(LoadStr(gesJPEGBogusTableField));
}

void TTIFFJPEGDecoder::DecodeEnd()
{
    if (state_ && state_->created) jpeg_destroy_decompress(&state_->cinfo);
    state_.reset();
}

void TTIFFJPEGDecoder::Decode(void*& Source, void*& Dest, int32_t PackedSize, int32_t UnpackedSize)
{
    StartStrip(Source, PackedSize);
    ReadRows(Dest, UnpackedSize);
    EndStrip();
}

void TTIFFJPEGDecoder::StartStrip(const void* Source, int32_t PackedSize)
{
    if (!state_) return;
    TState* s = state_.get();
    const TImageProperties& p = *properties_;
    s->started = false;
    s->data = static_cast<const uint8_t*>(Source);
    s->dataLength = PackedSize > 0 ? static_cast<size_t>(PackedSize) : 0;
    s->message[0] = 0;
    if (ReadStripHeader(s) < 0) RaiseJPEGError(s);

    const bool separate = p.PlanarConfig == 2;
    uint32_t width, height;
    if (p.Options & ioTiled) {
        width = p.TileWidth;
        height = p.TileLength;
    } else {
        width = p.Width;
        height = p.Height > p.CurrentRow ? p.Height - p.CurrentRow : 0;
        if (!p.RowsPerStrip.empty() && p.RowsPerStrip[0] < height) height = p.RowsPerStrip[0];
    }
    jpeg_decompress_struct& c = s->cinfo;
    if (c.image_width != width || c.image_height != height) CompressionError(LoadStr(gesJPEGStripSize));
    const int components = separate ? 1 : p.SamplesPerPixel;
    if (c.num_components != components) CompressionError(LoadStr(gesJPEGComponentCount));
    if (c.data_precision != p.BitsPerSample) CompressionError(LoadStr(gesJPEGDataPrecision));
    const bool ycbcr = p.ColorScheme == csYCbCr;
    if (separate) {
        if (c.comp_info[0].h_samp_factor != 1 || c.comp_info[0].v_samp_factor != 1)
            CompressionError(LoadStr(gesJPEGSamplingFactors));
    } else {
        const int h0 = ycbcr ? hSampling_ : 1, v0 = ycbcr ? vSampling_ : 1;
        bool ok = c.comp_info[0].h_samp_factor == h0 && c.comp_info[0].v_samp_factor == v0;
        for (int i = 1; i < c.num_components; ++i)
            ok = ok && c.comp_info[i].h_samp_factor == 1 && c.comp_info[i].v_samp_factor == 1;
        if (!ok) CompressionError(LoadStr(gesJPEGSamplingFactors));
    }

    // Colour data comes out in the bitmap's own blue-green-red order; single
    // components and four-component data come out as stored.
    J_COLOR_SPACE in, out;
    if (components == 3) {
        in = ycbcr ? JCS_YCbCr : JCS_RGB;
        out = JCS_EXT_BGR;
    } else if (components == 1) {
        in = out = JCS_GRAYSCALE;
    } else if (components == 4) {
        in = out = JCS_CMYK;
    } else {
        in = out = JCS_UNKNOWN;
    }
    // libjpeg's set-up for the strip, and the coefficients it clears for a
    // strip of many scans; the scans are charged as libjpeg reads them.
    s->work.ChargeStart(c);
    if (!StartDecompress(s, in, out)) RaiseJPEGError(s);
    bytesPerRow_ = static_cast<uint32_t>((uint64_t(width) * p.BitsPerSample * components + 7) / 8);
    s->started = true;
}

void TTIFFJPEGDecoder::ReadRows(void* Dest, int32_t UnpackedSize)
{
    if (!state_ || !state_->started) return;
    TState* s = state_.get();
    if (bytesPerRow_ == 0 || UnpackedSize < 0 || UnpackedSize % bytesPerRow_ != 0) {
        s->started = false;
        jpeg_abort(reinterpret_cast<j_common_ptr>(&s->cinfo));
        CompressionError(LoadStr(gesJPEGFractionalLine));
    }
    const uint32_t rows = static_cast<uint32_t>(UnpackedSize) / bytesPerRow_;
    TJpegWork::ChargeRows(s->cinfo, rows);
    if (!ReadScanlines(s, static_cast<uint8_t*>(Dest), rows, bytesPerRow_)) {
        s->started = false;
        RaiseJPEGError(s);
    }
}

void TTIFFJPEGDecoder::EndStrip()
{
    if (!state_ || !state_->started) return;
    TState* s = state_.get();
    s->started = false;
    if (!FinishStrip(s)) RaiseJPEGError(s);
}
