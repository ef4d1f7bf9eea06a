// What libjpeg may take and do for one JPEG stream: the memory of its
// decoder and the work of its scans, the same for JPEG pictures and for the
// JPEG strips and tiles of TIFF files.
//
// A JPEG stream can ask for far more work than its bytes: every scan walks
// every block of its components again, however little data it carries, and
// a restart interval of one block adds a restart to each. The work is
// charged to the current load's work meter (platform/rtl/work_meter.h) as
// libjpeg is about to do it, so a stream of thousands of empty scans is
// refused after work in proportion to its picture's size.
#pragma once

#include <cstdint>
#include <cstdio>

#include <jpeglib.h>

// Bytes libjpeg may allocate for one picture: what the largest picture
// whose bitmap fits (BitmapMemoryLimit bytes at 24 bits) can need when it
// is read in more than one scan, which keeps two bytes for each sample of
// each component (at most four, each with at most one sample a pixel,
// padded to whole blocks), and its row buffers besides.
int64_t JpegDecoderMemoryLimit();

// The work meter's view of one decompressor: installed as its progress
// monitor, it charges each scan as libjpeg starts reading it. When the
// allowance is spent it stops libjpeg through the error manager's
// error_exit, as libjpeg's own fatal errors do, and Spent() tells the
// caller to raise EWorkSpent once control is back in ordinary code.
struct TJpegWork {
    jpeg_progress_mgr manager{};  // first: libjpeg hands its address back
    int scansSeen = 0;
    bool spent = false;
    uint64_t scanGrant = 0;  // granted for the scans of every stream read so far

    // Installs the monitor (after jpeg_create_decompress).
    void Attach(jpeg_decompress_struct& cinfo);
    // Charges what jpeg_start_decompress sets up for the stream whose
    // header was just read (its tables and, for a stream of many scans, the
    // coefficients it clears), and grants a stream of many scans the work
    // of its scans; raises EWorkSpent. The scans of the stream are counted
    // from here.
    void ChargeStart(const jpeg_decompress_struct& cinfo);
    // Charges decoding `rows` rows of the output (every sample of every
    // component of those rows); raises EWorkSpent.
    static void ChargeRows(const jpeg_decompress_struct& cinfo, uint64_t rows);
    bool Spent() const { return spent; }
};
