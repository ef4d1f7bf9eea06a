// Dr. Halo CUT pictures (".cut"): 8-bit run-length rows whose colours lie in
// a palette file of the same name with the extension ".pal".
#pragma once

#include <cstdint>
#include <string>

#include "codecs/codec_graphic.h"

class TCUTGraphic : public TCodecGraphic {
public:
    static constexpr const char* ClassName = "TCUTGraphic";

    // Remembers the palette file beside the picture, then loads the file.
    void LoadFromFile(const std::string& fileName) override;
    using TCodecGraphic::CanLoad;
    // CUT files carry no signature: always false.
    bool CanLoad(TStream& stream) override;
    // Takes the size from the first two words; never fails.
    bool ReadImageProperties(TStream& stream, unsigned ImageIndex) override;
    // Uses PaletteFile when it names an existing file, else a gray palette.
    void LoadFromStream(TStream& stream) override;

    // The palette file of the picture ("" when it was not loaded from a file).
    std::string PaletteFile;

private:
    // The load, under the work meter of LoadFromStream.
    void Load(TStream& stream);
};

// The colours of a Dr. Halo palette file: the entry count at byte 12 (less
// one), 16-bit red, green and blue from byte 40, an entry never crossing a
// 512-byte block. At most 256 entries are taken; entries the file is too
// short for are black. A file too short for its header gives no palette.
HPALETTE ReadCUTPalette(TStream& stream);
