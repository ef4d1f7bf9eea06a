#include "platform/picture/picture.h"

#include <algorithm>

#include "platform/rtl/sysutils.h"

namespace {

std::vector<TPicture::TFileFormat>& Formats()
{
    // The toolkit's own kinds are there from the start.
    static std::vector<TPicture::TFileFormat> formats = {
        {"bmp", "Bitmaps", GraphicClassOf<TBitmap>()},
        {"ico", "Icons", GraphicClassOf<TIcon>()},
        {"wmf", "Metafiles", GraphicClassOf<TMetafile>()},
        {"emf", "Enhanced Metafiles", GraphicClassOf<TMetafile>()},
        {"jpeg", "JPEG Image File", GraphicClassOf<TJPEGImage>()},
        {"jpg", "JPEG Image File", GraphicClassOf<TJPEGImage>()},
    };
    return formats;
}

}  // namespace

TPicture::TPicture() = default;
TPicture::~TPicture() = default;

TBitmap& TPicture::Bitmap()
{
    auto* bitmap = dynamic_cast<TBitmap*>(graphic_.get());
    if (!bitmap) {
        graphic_ = std::make_unique<TBitmap>();
        bitmap = static_cast<TBitmap*>(graphic_.get());
    }
    return *bitmap;
}

void TPicture::LoadFromFile(const std::string& fileName)
{
    std::string ext = ExtractFileExt(fileName);
    if (!ext.empty() && ext[0] == '.') ext.erase(0, 1);
    const TGraphicClass cls = FindFileFormat(ext);
    if (!cls) throw EInvalidGraphic("Unknown picture file extension (." + ext + ")");
    std::unique_ptr<TGraphic> graphic = cls->Create();
    graphic->LoadFromFile(fileName);
    graphic_ = std::move(graphic);
}

void TPicture::SaveToFile(const std::string& fileName)
{
    if (graphic_) graphic_->SaveToFile(fileName);
}

void TPicture::RegisterFileFormat(const std::string& extension, const std::string& description,
                                  TGraphicClass graphicClass)
{
    Formats().push_back({LowerCase(extension), description, graphicClass});
}

void TPicture::UnregisterGraphicClass(TGraphicClass graphicClass)
{
    auto& f = Formats();
    f.erase(std::remove_if(f.begin(), f.end(), [&](const TFileFormat& e) { return e.GraphicClass == graphicClass; }),
            f.end());
}

TGraphicClass TPicture::FindFileFormat(const std::string& extension)
{
    if (extension.empty()) return nullptr;
    const auto& f = Formats();
    for (auto it = f.rbegin(); it != f.rend(); ++it)
        if (SameText(it->Extension, extension)) return it->GraphicClass;
    return nullptr;
}

std::vector<TPicture::TFileFormat> TPicture::FileFormats() { return Formats(); }

// ---- TMetafile -------------------------------------------------------------

void TMetafile::Assign(const TGraphic& source)
{
    if (!dynamic_cast<const TMetafile*>(&source)) throw EInvalidGraphic("Cannot assign this picture to a metafile");
}

void TMetafile::LoadFromStream(TStream&)
{
    throw EInvalidGraphic("Cannot load image. Windows metafiles (.wmf, .emf) are not supported.");
}

void TMetafile::SaveToStream(TStream&)
{
    throw EInvalidGraphic("Cannot save image. Windows metafiles (.wmf, .emf) are not supported.");
}
