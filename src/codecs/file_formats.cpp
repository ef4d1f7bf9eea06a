#include "codecs/file_formats.h"

#include <algorithm>

#include "codecs/autodesk.h"
#include "codecs/codec_graphic.h"
#include "codecs/codec_messages.h"
#include "codecs/cut.h"
#include "codecs/pcd.h"
#include "codecs/pcx.h"
#include "codecs/png.h"
#include "codecs/ppm.h"
#include "codecs/psd.h"
#include "codecs/psp.h"
#include "codecs/rla.h"
#include "codecs/sgi.h"
#include "codecs/targa.h"
#include "codecs/tiff.h"
#include "platform/picture/picture.h"

TFileFormatList* FileFormatList = nullptr;

namespace {

bool SameAsciiText(const std::string& a, const std::string& b)
{
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
        if (x != y) return false;
    }
    return true;
}

std::string Text(uint16_t id) { return id ? LoadStr(id) : std::string(); }

}  // namespace

TFileFormatList::~TFileFormatList() { Clear(); }

void TFileFormatList::Clear()
{
    for (const auto& c : classes_) TPicture::UnregisterGraphicClass(c->GraphicClass);
    classes_.clear();
    extensions_.clear();
}

int TFileFormatList::FindExtension(const std::string& extension) const
{
    if (extension.empty()) return -1;
    for (size_t i = 0; i < extensions_.size(); ++i)
        if (SameAsciiText(extensions_[i]->Extension, extension)) return static_cast<int>(i);
    return -1;
}

int TFileFormatList::FindGraphicClass(TGraphicClass graphicClass) const
{
    for (size_t i = 0; i < classes_.size(); ++i)
        if (classes_[i]->GraphicClass == graphicClass) return static_cast<int>(i);
    return -1;
}

void TFileFormatList::RemoveClassEntry(TGraphicClassEntry* entry)
{
    classes_.erase(std::find_if(classes_.begin(), classes_.end(), [&](const auto& c) { return c.get() == entry; }));
}

void TFileFormatList::RegisterFileFormat(const std::string& extension, const std::string& common,
                                         const std::string& individual, uint8_t fileTypes, bool replace,
                                         TGraphicClass graphicClass)
{
    if (extension.empty()) return;
    const int extIndex = FindExtension(extension);
    const int classIndex = FindGraphicClass(graphicClass);

    auto link = [&](TExtensionEntry& entry) {
        TGraphicClassEntry* c;
        if (classIndex < 0) {
            classes_.push_back(std::make_unique<TGraphicClassEntry>());
            c = classes_.back().get();
            c->GraphicClass = graphicClass;
        } else {
            c = classes_[static_cast<size_t>(classIndex)].get();
        }
        if (!common.empty()) c->Description = common;
        ++c->Count;
        entry.ClassEntry = c;
    };

    TExtensionEntry* entry;
    if (extIndex < 0) {
        extensions_.push_back(std::make_unique<TExtensionEntry>());
        entry = extensions_.back().get();
        entry->Extension = extension;
        entry->Description = individual;
        entry->FileTypes = fileTypes;
        link(*entry);
    } else if (replace) {
        entry = extensions_[static_cast<size_t>(extIndex)].get();
        if (entry->ClassEntry->GraphicClass == graphicClass) return;
        TGraphicClassEntry* old = entry->ClassEntry;
        link(*entry);
        if (--old->Count == 0) RemoveClassEntry(old);
    } else {
        CodecError(gesRegistration, {extension});
    }
    const std::string description = !individual.empty() ? individual : entry->ClassEntry->Description;
    TPicture::RegisterFileFormat(extension, description, graphicClass);
}

void TFileFormatList::UnregisterFileFormat(const std::string& extension, TGraphicClass graphicClass)
{
    if (!extension.empty()) {
        const int extIndex = FindExtension(extension);
        if (extIndex < 0) return;
        TExtensionEntry* entry = extensions_[static_cast<size_t>(extIndex)].get();
        TGraphicClassEntry* c = entry->ClassEntry;
        if (--c->Count == 0) {
            TPicture::UnregisterGraphicClass(c->GraphicClass);
            RemoveClassEntry(c);
        }
        extensions_.erase(extensions_.begin() + extIndex);
        return;
    }
    const int classIndex = FindGraphicClass(graphicClass);
    if (classIndex < 0) return;
    TGraphicClassEntry* c = classes_[static_cast<size_t>(classIndex)].get();
    for (int i = static_cast<int>(extensions_.size()) - 1; i >= 0 && c->Count > 0; --i) {
        if (extensions_[static_cast<size_t>(i)]->ClassEntry != c) continue;
        --c->Count;
        extensions_.erase(extensions_.begin() + i);
    }
    RemoveClassEntry(c);
    TPicture::UnregisterGraphicClass(graphicClass);
}

const std::vector<TFormatRegistration>& FormatRegistrations()
{
    using S = TCodecClassSlot;
    static const std::vector<TFormatRegistration> rows = {
        {"bmp", S::Bitmap, gesBitmaps, 0, ftRaster},
        {"ico", S::Icon, gesIcons, 0, ftRaster},
        {"wmf", S::Metafile, gesMetaFiles, 0, ftVector},
        {"emf", S::Metafile, gesMetaFiles, gesEnhancedMetaFiles, ftVector},
        {"jfif", S::JPEGImage, gesJPGImages, gesJFIFImages, ftRaster},
        {"jpg", S::JPEGImage, 0, gesJPGImages, ftRaster},
        {"jpe", S::JPEGImage, 0, gesJPEImages, ftRaster},
        {"jpeg", S::JPEGImage, 0, gesJPEGImages, ftRaster},
        {"rle", S::Bitmap, gesBitmaps, gesRLEBitmaps, ftRaster},
        {"dib", S::Bitmap, 0, gesDIBs, ftRaster},
        {"win", S::Targa, gesTruevision, 0, ftRaster},
        {"vst", S::Targa, 0, 0, ftRaster},
        {"vda", S::Targa, 0, 0, ftRaster},
        {"tga", S::Targa, 0, 0, ftRaster},
        {"icb", S::Targa, 0, 0, ftRaster},
        {"tiff", S::TIFF, gesTIFF, gesMacTIFF, ftRaster | ftMultiImage},
        {"tif", S::TIFF, 0, gesPCTIF, ftRaster | ftMultiImage},
        {"fax", S::TIFF, 0, gesGFIFax, ftRaster | ftMultiImage},
        {"eps", S::EPS, gesEPS, 0, ftRaster},
        {"pcx", S::PCX, gesZSoft, 0, ftRaster},
        {"pcc", S::PCX, 0, 0, ftRaster},
        {"scr", S::PCX, 0, gesWord5ScreenCapture, ftRaster},
        {"rpf", S::RLA, gesAliasWavefront, 0, ftRaster},
        {"rla", S::RLA, 0, 0, ftRaster},
        {"sgi", S::SGI, gesSGI, gesSGITrueColor, ftRaster},
        {"rgba", S::SGI, 0, gesSGITrueColorAlpha, ftRaster},
        {"rgb", S::SGI, 0, gesSGITrueColor, ftRaster},
        {"bw", S::SGI, 0, gesSGIMono, ftRaster},
        {"psd", S::PSD, gesPhotoshop, 0, ftRaster | ftLayered},
        {"pdd", S::PSD, 0, 0, ftRaster | ftLayered},
        {"ppm", S::PPM, gesPortable, gesPortablePixel, ftRaster},
        {"pgm", S::PPM, 0, gesPortableGray, ftRaster},
        {"pbm", S::PPM, 0, gesPortableMono, ftRaster},
        {"cel", S::Autodesk, gesAutodesk, 0, ftRaster},
        {"pic", S::Autodesk, gesAutodesk, 0, ftRaster},
        {"pcd", S::PCD, gesKodakPhotoCD, 0, ftRaster},
        {"cut", S::CUT, gesDrHalo, 0, ftRaster},
        {"psp", S::PSP, gesPaintshopPro, 0, ftRaster | ftVector},
        {"png", S::PNG, gesPortableNetworkGraphic, 0, ftRaster},
    };
    return rows;
}

TGraphicClass CodecClassOf(TCodecClassSlot slot)
{
    switch (slot) {
    case TCodecClassSlot::Bitmap: return GraphicClassOf<TBitmap>();
    case TCodecClassSlot::Icon: return GraphicClassOf<TIcon>();
    case TCodecClassSlot::Metafile: return GraphicClassOf<TMetafile>();
    case TCodecClassSlot::JPEGImage: return GraphicClassOf<TJPEGImage>();
    case TCodecClassSlot::Targa: return GraphicClassOf<TTargaGraphic>();
    case TCodecClassSlot::TIFF: return GraphicClassOf<TTIFFGraphic>();
    case TCodecClassSlot::EPS: return GraphicClassOf<TEPSGraphic>();
    case TCodecClassSlot::PCX: return GraphicClassOf<TPCXGraphic>();
    case TCodecClassSlot::RLA: return GraphicClassOf<TRLAGraphic>();
    case TCodecClassSlot::SGI: return GraphicClassOf<TSGIGraphic>();
    case TCodecClassSlot::PSD: return GraphicClassOf<TPSDGraphic>();
    case TCodecClassSlot::PPM: return GraphicClassOf<TPPMGraphic>();
    case TCodecClassSlot::Autodesk: return GraphicClassOf<TAutodeskGraphic>();
    case TCodecClassSlot::PCD: return GraphicClassOf<TPCDGraphic>();
    case TCodecClassSlot::CUT: return GraphicClassOf<TCUTGraphic>();
    case TCodecClassSlot::PSP: return GraphicClassOf<TPSPGraphic>();
    case TCodecClassSlot::PNG: return GraphicClassOf<TPNGGraphic>();
    }
    return nullptr;
}

namespace PictureCodecs {

void Initialization()
{
    if (FileFormatList) return;
    FileFormatList = new TFileFormatList();
    for (const auto& row : FormatRegistrations()) {
        const TGraphicClass cls = CodecClassOf(row.Slot);
        if (!cls) continue;
        FileFormatList->RegisterFileFormat(row.Extension, Text(row.Common), Text(row.Individual), row.FileTypes, false,
                                           cls);
    }
}

void Finalization()
{
    if (!FileFormatList) return;
    using S = TCodecClassSlot;
    for (S slot : {S::PSP, S::PSD, S::Targa, S::TIFF, S::SGI, S::PCX, S::Autodesk, S::PCD, S::PPM, S::CUT, S::RLA}) {
        if (const TGraphicClass cls = CodecClassOf(slot)) FileFormatList->UnregisterFileFormat("", cls);
    }
    FileFormatList->UnregisterFileFormat("rle", CodecClassOf(S::Bitmap));
    FileFormatList->UnregisterFileFormat("dib", CodecClassOf(S::Bitmap));
    if (const TGraphicClass png = CodecClassOf(S::PNG)) FileFormatList->UnregisterFileFormat("", png);
    delete FileFormatList;
    FileFormatList = nullptr;
}

}  // namespace PictureCodecs
