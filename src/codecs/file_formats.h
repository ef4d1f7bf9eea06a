// The codec library's registry of picture file extensions. Every
// registration is mirrored into the picture loader's own table (TPicture),
// which is where the loader finds a reader by file extension.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/gdi/graphics.h"

// Kinds of picture a file format holds (a bit set).
enum : uint8_t {
    ftLayered = 2,     // layered image
    ftMultiImage = 4,  // several images in one file
    ftRaster = 8,      // raster image
    ftVector = 16,     // vector drawing
};

struct TGraphicClassEntry {
    TGraphicClass GraphicClass = nullptr;
    std::string Description;
    int32_t Count = 0;
};

struct TExtensionEntry {
    std::string Extension;  // without the dot
    std::string Description;
    uint8_t FileTypes = 0;
    TGraphicClassEntry* ClassEntry = nullptr;
};

class TFileFormatList {
public:
    TFileFormatList() = default;
    ~TFileFormatList();
    TFileFormatList(const TFileFormatList&) = delete;
    TFileFormatList& operator=(const TFileFormatList&) = delete;

    // Unregisters every class from the picture loader and empties both lists.
    void Clear();
    // Index of the extension (ASCII letters compared without case), -1 if none.
    int FindExtension(const std::string& extension) const;
    // Index of the class entry holding exactly this class, -1 if none.
    int FindGraphicClass(TGraphicClass graphicClass) const;
    // Registers an extension for a class. A known extension raises
    // EInvalidGraphic "Attempt to register <ext> twice." unless replace is
    // set. An empty extension does nothing.
    void RegisterFileFormat(const std::string& extension, const std::string& common, const std::string& individual,
                            uint8_t fileTypes, bool replace, TGraphicClass graphicClass);
    // Unregisters one extension, or with an empty extension every extension
    // of the class; the picture loader is told when a class loses its last one.
    void UnregisterFileFormat(const std::string& extension, TGraphicClass graphicClass);

    int ClassCount() const { return static_cast<int>(classes_.size()); }
    const TGraphicClassEntry& ClassAt(int index) const { return *classes_[static_cast<size_t>(index)]; }
    int ExtensionCount() const { return static_cast<int>(extensions_.size()); }
    const TExtensionEntry& ExtensionAt(int index) const { return *extensions_[static_cast<size_t>(index)]; }

private:
    void RemoveClassEntry(TGraphicClassEntry* entry);

    std::vector<std::unique_ptr<TGraphicClassEntry>> classes_;
    std::vector<std::unique_ptr<TExtensionEntry>> extensions_;
};

// The one registry of the library, from Initialization to Finalization.
extern TFileFormatList* FileFormatList;

// The registration table of the library: 39 rows in registration order.
// A row names its class by a slot.
enum class TCodecClassSlot {
    Bitmap,
    Icon,
    Metafile,
    JPEGImage,
    Targa,
    TIFF,
    EPS,
    PCX,
    RLA,
    SGI,
    PSD,
    PPM,
    Autodesk,
    PCD,
    CUT,
    PSP,
    PNG,
};
struct TFormatRegistration {
    const char* Extension;
    TCodecClassSlot Slot;
    uint16_t Common;      // codec text id, 0 for none
    uint16_t Individual;  // codec text id, 0 for none
    uint8_t FileTypes;
};
const std::vector<TFormatRegistration>& FormatRegistrations();
// The class a slot stands for.
TGraphicClass CodecClassOf(TCodecClassSlot slot);

namespace PictureCodecs {
// Creates FileFormatList and registers the table (once; later calls do nothing).
void Initialization();
// Unregisters the library's readers and frees FileFormatList.
void Finalization();
}  // namespace PictureCodecs
