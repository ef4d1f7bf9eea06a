// The picture loader: TPicture holds one graphic of any registered kind and
// loads a file by choosing the kind from the file's extension. The table of
// extensions is class-wide; picture libraries add their kinds to it with
// RegisterFileFormat and take them out with UnregisterGraphicClass.
//
// The toolkit's own kinds live here too: icons, metafiles (refused) and JPEG
// images. Windows bitmaps are TBitmap itself.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/gdi/graphics.h"

class TPicture {
public:
    TPicture();
    ~TPicture();
    TPicture(const TPicture&) = delete;
    TPicture& operator=(const TPicture&) = delete;

    // The graphic held (nullptr when empty).
    TGraphic* Graphic() const { return graphic_.get(); }
    void SetGraphic(std::unique_ptr<TGraphic> graphic) { graphic_ = std::move(graphic); }
    // The graphic as a bitmap; an empty picture or one of another kind is
    // replaced by an empty bitmap first.
    TBitmap& Bitmap();
    int Width() const { return graphic_ ? graphic_->Width() : 0; }
    int Height() const { return graphic_ ? graphic_->Height() : 0; }

    // Loads the file with the kind registered for its extension (ASCII case
    // ignored). An unknown extension raises EInvalidGraphic
    // "Unknown picture file extension (.<ext>)"; any error leaves the
    // picture as it was.
    void LoadFromFile(const std::string& fileName);
    // Saves the graphic held (nothing for an empty picture).
    void SaveToFile(const std::string& fileName);

    // The class-wide extension table.
    struct TFileFormat {
        std::string Extension;  // without the dot
        std::string Description;
        TGraphicClass GraphicClass = nullptr;
    };
    // Adds an extension; a later registration of an extension wins over an
    // earlier one while both are listed.
    static void RegisterFileFormat(const std::string& extension, const std::string& description,
                                   TGraphicClass graphicClass);
    // Removes every extension of the class.
    static void UnregisterGraphicClass(TGraphicClass graphicClass);
    // The kind that loads the extension (without the dot), nullptr if none.
    static TGraphicClass FindFileFormat(const std::string& extension);
    // Every entry, in registration order.
    static std::vector<TFileFormat> FileFormats();

private:
    std::unique_ptr<TGraphic> graphic_;
};

// A Windows icon: the largest image of the file, drawn through its mask.
class TIcon : public TGraphic {
public:
    static constexpr const char* ClassName = "TIcon";

    int Width() const override { return image_.Width(); }
    int Height() const override { return image_.Height(); }
    void Assign(const TGraphic& source) override;
    // Reads an icon or cursor file and keeps its largest image (the deepest
    // among equally large ones). Images stored as PNG are passed over.
    void LoadFromStream(TStream& stream) override;
    // Writes a one-image icon file (32 bits with its mask).
    void SaveToStream(TStream& stream) override;
    // Draws the pixels whose mask bit is clear.
    void Draw(TCanvas& canvas, const TRect& rect) const override;

    const TBitmap& Image() const { return image_; }
    // One bit per pixel: 1 (white) where the icon is transparent.
    const TBitmap& Mask() const { return mask_; }

private:
    TBitmap image_;
    TBitmap mask_;
};

// Windows metafiles: vector drawings that this toolkit cannot replay.
class TMetafile : public TGraphic {
public:
    static constexpr const char* ClassName = "TMetafile";

    int Width() const override { return 0; }
    int Height() const override { return 0; }
    void Assign(const TGraphic& source) override;
    // Always raises EInvalidGraphic: metafiles are not supported.
    void LoadFromStream(TStream& stream) override;
    void SaveToStream(TStream& stream) override;
    void Draw(TCanvas&, const TRect&) const override {}
};

// A JPEG picture, decoded with libjpeg into a 24-bit bitmap.
class TJPEGImage : public TGraphic {
public:
    static constexpr const char* ClassName = "TJPEGImage";

    int Width() const override { return bitmap_.Width(); }
    int Height() const override { return bitmap_.Height(); }
    void Assign(const TGraphic& source) override;
    // Decodes baseline and progressive JPEG data (gray, colour, CMYK). Data
    // libjpeg refuses raises EInvalidGraphic with libjpeg's reason, and so
    // does a file whose scans ask for more work than its size allows; a
    // picture whose bitmap would pass BitmapMemoryLimit raises
    // EOutOfResources.
    void LoadFromStream(TStream& stream) override;
    // Raises EInvalidGraphic: the toolkit reads JPEG pictures only.
    void SaveToStream(TStream& stream) override;
    void Draw(TCanvas& canvas, const TRect& rect) const override;

    const TBitmap& Bitmap() const { return bitmap_; }

private:
    TBitmap bitmap_;
};
