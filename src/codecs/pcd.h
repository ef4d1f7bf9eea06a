// Kodak Photo-CD image packs (".pcd"): the 768 x 512 base image, stored as
// pairs of luma rows with one row of each chroma plane at half resolution,
// converted from PhotoYCC and turned by the pack's quarter-turn code.
#pragma once

#include <cstdint>

#include "codecs/codec_graphic.h"

class TPCDGraphic : public TCodecGraphic {
public:
    static constexpr const char* ClassName = "TPCDGraphic";

    using TCodecGraphic::CanLoad;
    // More than the three header sectors remain and they start with
    // "PCD_OPA" or hold "PCD" at byte 2048.
    bool CanLoad(TStream& stream) override;
    // ImageIndex is the resolution, 0 (192 x 128) to 5 (larger counts as 5);
    // an overview pack has resolution 0. Codes 1 and 3 exchange width and height.
    bool ReadImageProperties(TStream& stream, unsigned ImageIndex) override;
    // Loads the base image (resolution 2); a pack whose header is not
    // understood loads nothing and reports nothing.
    void LoadFromStream(TStream& stream) override;
};

// Doubles a plane of width x height samples, whose rows lie scaledWidth
// bytes apart, into 2 width x 2 height samples in place: samples between
// two others take their rounded mean. The plane must hold 2 height rows of
// scaledWidth bytes, and scaledWidth must be at least 2 width.
void Upsample(uint32_t width, uint32_t height, uint32_t scaledWidth, uint8_t* plane);
