#include "platform/picture/jpeg_work.h"

#include <algorithm>

#include "platform/gdi/graphics.h"
#include "platform/rtl/work_meter.h"

namespace {

// The most components a picture is decoded with: libjpeg turns gray (1),
// colour (3) and CMYK (4) JPEG pictures into bitmaps and refuses other
// counts; a TIFF strip of more samples is read as far as this memory goes.
constexpr int64_t kMaxComponents = 4;
// A sample's coefficient as libjpeg keeps it.
constexpr int64_t kCoefficientBytes = 2;
// Components are padded to whole MCUs: with sampling factors of up to 4, at
// most 31 columns and 31 rows beyond the picture's, whose sides are below
// 65536.
constexpr int64_t kPaddingPixels = 31 * 2 * 65536 + 31 * 31;
// libjpeg's row buffers and tables for the widest picture: a few MCU rows of
// every component, each at most 65536 samples wide.
constexpr int64_t kWorkingBytes = int64_t(32) << 20;

// Work units of what libjpeg does, about one for each byte it reads or
// writes. A stream's set-up: its range-limit, colour conversion and inverse
// DCT tables and its row buffers, a few kilobytes.
constexpr uint64_t kStartCost = 4096;
// A scan's set-up: the lookup tables of its Huffman codes.
constexpr uint64_t kScanCost = 1024;
// Each block a scan walks costs about as much as 16 bytes besides each
// coefficient of its band, even when the scan's data skips the block.
constexpr uint64_t kScanBlockCost = 16;
// What the scans of a stream of many scans may cost besides the output
// work granted for its bitmap: as much as kFullScans scans over every
// coefficient of every block would, no more than kMostScanGrant for all the
// streams one decoder reads. Encoders write a dozen scans or so, which cost
// two or three full scans; a scan for each coefficient of each component
// costs about as much as 14.
constexpr uint64_t kFullScans = 16;
constexpr uint64_t kMostScanGrant = uint64_t(1) << 30;
// Each restart: its marker found (or resynchronised without it) and the
// decoder reset, a few blocks' worth.
constexpr uint64_t kRestartCost = 64;

uint64_t RoundUp(uint64_t value, uint64_t step) { return step ? (value + step - 1) / step * step : value; }

// The cost of the scan libjpeg is about to read.
uint64_t ScanCost(const jpeg_decompress_struct& cinfo)
{
    const uint64_t mcus = uint64_t(cinfo.MCUs_per_row) * cinfo.MCU_rows_in_scan;
    const uint64_t blocks = mcus * uint64_t(cinfo.blocks_in_MCU);
    const uint64_t band = cinfo.progressive_mode ? uint64_t(std::max(cinfo.Se - cinfo.Ss + 1, 1)) : DCTSIZE2;
    const uint64_t restarts = cinfo.restart_interval ? (mcus + cinfo.restart_interval - 1) / cinfo.restart_interval : 0;
    return kScanCost + TWorkMeter::Product(blocks, band + kScanBlockCost) + TWorkMeter::Product(restarts, kRestartCost);
}

// Called by libjpeg as it reads; charges each scan once, when it starts.
extern "C" void JpegWorkMonitor(j_common_ptr common)
{
    if (!common->is_decompressor) return;
    auto* cinfo = reinterpret_cast<j_decompress_ptr>(common);
    auto* work = reinterpret_cast<TJpegWork*>(cinfo->progress);
    if (cinfo->input_scan_number <= work->scansSeen) return;
    // Scans passed over between two calls cost at least their set-up.
    const uint64_t skipped = uint64_t(cinfo->input_scan_number - work->scansSeen - 1);
    work->scansSeen = cinfo->input_scan_number;
    bool spent = false;
    try {
        ChargeWork(ScanCost(*cinfo) + skipped * kScanCost);
    } catch (const EWorkSpent&) {
        spent = true;
    }
    // Out of the handler before the jump, which must not leave one.
    if (!spent) return;
    work->spent = true;
    common->err->msg_code = 0;
    (*common->err->error_exit)(common);
}

}  // namespace

int64_t JpegDecoderMemoryLimit()
{
    return kMaxComponents * kCoefficientBytes * (BitmapMemoryLimit / 3 + kPaddingPixels) + kWorkingBytes;
}

void TJpegWork::Attach(jpeg_decompress_struct& cinfo)
{
    manager.progress_monitor = JpegWorkMonitor;
    cinfo.progress = &manager;
}

void TJpegWork::ChargeStart(const jpeg_decompress_struct& cinfo)
{
    scansSeen = 0;
    spent = false;
    uint64_t cost = kStartCost;
    if (jpeg_has_multiple_scans(const_cast<j_decompress_ptr>(&cinfo))) {
        uint64_t blocks = 0;
        for (int i = 0; i < cinfo.num_components; ++i) {
            const jpeg_component_info& c = cinfo.comp_info[i];
            blocks += RoundUp(c.width_in_blocks, uint64_t(c.h_samp_factor)) *
                      RoundUp(c.height_in_blocks, uint64_t(c.v_samp_factor));
        }
        cost += TWorkMeter::Product(blocks, DCTSIZE2 * kCoefficientBytes);
        const uint64_t scans = TWorkMeter::Product(blocks, (DCTSIZE2 + kScanBlockCost) * kFullScans);
        const uint64_t grant = std::min(scans, kMostScanGrant - scanGrant);
        scanGrant += grant;
        GrantWork(grant);
    }
    ChargeWork(cost);
}

void TJpegWork::ChargeRows(const jpeg_decompress_struct& cinfo, uint64_t rows)
{
    // Each output row takes its share of every component's rows of samples.
    uint64_t samples = 0;
    for (int i = 0; i < cinfo.num_components; ++i) {
        const jpeg_component_info& c = cinfo.comp_info[i];
        samples += uint64_t(c.width_in_blocks) * DCTSIZE * uint64_t(c.v_samp_factor);
    }
    const uint64_t maxV = std::max(cinfo.max_v_samp_factor, 1);
    ChargeWork(TWorkMeter::Product(samples, rows) / maxV);
}
