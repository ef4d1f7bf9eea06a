// The registry of picture formats, the codec texts, and the functions every reader shares.
#include <map>

#include "codecs/codec_messages.h"
#include "codecs/targa.h"
#include "codecs/tiff.h"
#include "picture_files.h"
#include "platform/picture/picture.h"
#include "support/temp_dir.h"

namespace {

struct TFake : public TBitmap {  // a stand-in reader, to replace a registration with
    static constexpr const char* ClassName = "TFake";
};

int PictureEntries(TGraphicClass cls)
{
    const auto formats = TPicture::FileFormats();
    return int(std::count_if(formats.begin(), formats.end(), [&](const auto& f) { return f.GraphicClass == cls; }));
}

// The picture loader's list as the toolkit's own start leaves it, for the other tests of this program.
void RestoreToolkitFormats()
{
    TPicture::RegisterFileFormat("bmp", "Bitmaps", GraphicClassOf<TBitmap>());
    TPicture::RegisterFileFormat("ico", "Icons", GraphicClassOf<TIcon>());
    TPicture::RegisterFileFormat("jpg", "JPEG Image File", GraphicClassOf<TJPEGImage>());
}

TEST(Registry, TheWholeTable)
{
    TFileFormatList list;
    std::map<TCodecClassSlot, TGraphicClass> classes;
    for (const auto& row : FormatRegistrations())
        list.RegisterFileFormat(row.Extension, row.Common ? LoadStr(row.Common) : "",
                                row.Individual ? LoadStr(row.Individual) : "", row.FileTypes, false,
                                classes[row.Slot] = CodecClassOf(row.Slot));
    std::string counts, descriptions;
    std::map<std::string, std::string> offered;  // the last registration of an extension wins
    for (int i = 0; i < list.ClassCount(); ++i) {
        EXPECT_EQ(list.ClassAt(i).GraphicClass, classes[TCodecClassSlot(i)]) << i;
        counts += std::to_string(list.ClassAt(i).Count);
        descriptions += list.ClassAt(i).Description + ";";
    }
    for (const auto& f : TPicture::FileFormats()) offered[f.Extension] = f.Description;
    EXPECT_EQ(std::tuple(list.ExtensionCount(), counts, offered["tga"], offered["emf"], offered["dib"]),
              std::tuple(39, "31245313242321111", "Truevision images", "Windows enhanced meta files",
                         "Device independant Windows bitmaps"));
    EXPECT_EQ(
        descriptions,
        "Windows bitmaps;Windows icons;Windows metafiles;JPG images;Truevision images;Tagged image file format images;"
        "Encapsulated Postscript images;ZSoft Paintbrush images;Alias/Wavefront images;SGI images;Photoshop images;"
        "Portable map images;Autodesk images;Kodak Photo-CD images;Dr. Halo images;Paintshop Pro images;"
        "Portable network graphic images;");
    // Lookups ignore the case of letters only.
    EXPECT_EQ(std::tuple(list.FindExtension("tGA"), list.FindExtension("tga "), list.FindExtension(""),
                         list.FindGraphicClass(GraphicClassOf<TFake>())),
              std::tuple(13, -1, -1, -1));
    // A second registration needs Replace, which moves the extension and drops an emptied class; an empty one does
    // nothing.
    const TGraphicClass png = classes[TCodecClassSlot::PNG], fake = GraphicClassOf<TFake>();
    std::string error;
    try {
        list.RegisterFileFormat("png", "", "", ftRaster, false, png);
    } catch (const EInvalidGraphic& e) {
        error = e.what();
    }
    list.RegisterFileFormat("", "x", "y", ftRaster, false, png);
    list.RegisterFileFormat("png", "Other", "", ftRaster, true, fake);
    list.RegisterFileFormat("png", "", "", ftRaster, true, fake);
    EXPECT_EQ(std::tuple(error, list.ExtensionCount(), list.FindGraphicClass(png),
                         list.ExtensionAt(list.FindExtension("png")).ClassEntry->Description,
                         TPicture::FindFileFormat("png")),
              std::tuple("Attempt to register png twice.", 39, -1, "Other", fake));
    // By extension the class stays with the loader while it has others; by class all its extensions go.
    const TGraphicClass bitmap = classes[TCodecClassSlot::Bitmap], targa = classes[TCodecClassSlot::Targa];
    for (const char* extension : {"rle", "nothing", "bmp"}) list.UnregisterFileFormat(extension, bitmap);
    EXPECT_GT(PictureEntries(bitmap), 0);
    list.UnregisterFileFormat("dib", bitmap);
    list.UnregisterFileFormat("", targa);
    EXPECT_EQ(std::tuple(PictureEntries(bitmap), PictureEntries(targa), list.FindExtension("icb"),
                         list.FindGraphicClass(targa), list.ExtensionCount()),
              std::tuple(0, 0, -1, -1, 39 - 3 - 5));
    list.Clear();
    EXPECT_EQ(PictureEntries(fake), 0);
    RestoreToolkitFormats();
}

// The library's start registers its readers with the picture loader, which then loads pictures by their extension (a
// CUT picture with its palette file); its end takes them out.
TEST(Registry, LibraryStartAndEnd)
{
    PictureCodecs::Initialization();
    PictureCodecs::Initialization();           // a second start changes nothing
    const auto& rows = FormatRegistrations();  // every row whose reader is part of the library
    EXPECT_EQ(FileFormatList->ExtensionCount(),
              std::count_if(rows.begin(), rows.end(), [](auto& r) { return CodecClassOf(r.Slot); }));
    TempDir dir;
    WriteFileBytes(dir.file("pic.TGA"), Tga{.width = 3, .height = 2, .data = Join({Bytes(15, 0), {7, 8, 9}})});
    WriteFileBytes(dir.file("map.PGM"), Text("P2\n2 1\n255\n7 9\n"));
    WriteFileBytes(dir.file("halo.cut"), Bytes{1, 0, 1, 0, 0, 0, 3, 0, 1, 4, 0});
    WriteFileBytes(dir.file("halo.pal"), Patch(Patch(Bytes(512, 0), 12, {255}), 40 + 6 * 4, {200}));  // entry 4 red 200
    // The same picture whose entry 4 is the last of its palette's (stored count 4: five entries).
    WriteFileBytes(dir.file("last.cut"), Bytes{1, 0, 1, 0, 0, 0, 3, 0, 1, 4, 0});
    WriteFileBytes(dir.file("last.pal"), Patch(Patch(Bytes(512, 0), 12, {4}), 40 + 6 * 4, {200}));
    TPicture picture;
    std::string loaded;
    for (const char* file : {"map.PGM", "halo.cut", "last.cut", "pic.TGA"}) {
        picture.LoadFromFile(dir.file(file));
        loaded += Describe(picture.Bitmap(), {{0, 0}, {picture.Width() - 1, picture.Height() - 1}}) + ";";
    }
    EXPECT_EQ(loaded, "2x1/8 07 09;1x1/8 c80000 c80000;1x1/8 c80000 c80000;3x2/24 00 090807;");
    PictureCodecs::Finalization();
    EXPECT_EQ(std::tuple(FileFormatList, TPicture::FindFileFormat("pcx"), TPicture::FindFileFormat("bmp")),
              std::tuple(nullptr, nullptr, nullptr));
    RestoreToolkitFormats();
}

TEST(Registry, CodecTextsAndSharedHelpers)
{
    for (int i = 0; i < CodecStringCount; ++i)
        EXPECT_FALSE(LoadStr(CodecStringIds()[i]).empty()) << CodecStringIds()[i];
    EXPECT_EQ(LoadStr(65264), "");  // the deflate library's own
    EXPECT_EQ(FormatStr(gesRegistration, {"xyz"}), "Attempt to register xyz twice.");
    EXPECT_EQ(LoadError("tif", Bytes(9, 0)), "Cannot load image. Invalid or unexpected TIF/TIFF image format.");
    EXPECT_THROW(CodecError("%s and %s", {"a", "b"}), EInvalidGraphic);
    EXPECT_THROW(CodecError("plain"), EInvalidGraphic);
    // The base properties read clears them; a copy takes them only from another codec graphic.
    TTargaGraphic a, b;
    a.ImageProperties.Width = 7;
    a.ImageProperties.RowsPerStrip = {1, 2};
    a.SetPixelFormat(pf24bit);
    a.SetSize(2, 2);
    b.Assign(a);
    EXPECT_EQ(b.ImageProperties.RowsPerStrip.size(), 2u);
    TBitmap plain;
    plain.SetPixelFormat(pf8bit);
    plain.SetSize(3, 1);
    b.Assign(plain);
    EXPECT_EQ(Describe(b, {}) + " " + std::to_string(b.ImageProperties.Width), "3x1/8 7");
    TMemoryStream nothing;
    EXPECT_FALSE(b.TCodecGraphic::ReadImageProperties(nothing, 0));
    EXPECT_FALSE(b.TCodecGraphic::CanLoad(nothing));
    EXPECT_EQ(std::pair(b.ImageProperties.Width, b.ImageProperties.FileGamma), std::pair(0u, 1.0f));
    TempDir dir;
    a.SaveToFile(dir.file("a.tga"));
    WriteFileBytes(dir.file("b.tga"), Bytes(30, 0xFF));
    EXPECT_TRUE(b.CanLoad(dir.file("a.tga")));
    EXPECT_FALSE(b.CanLoad(dir.file("b.tga")));
    TTIFFGraphic().SaveToStream(nothing);  // writes nothing
    EXPECT_EQ(nothing.Size(), 0);
    // Byte order and differencing.
    uint16_t shorts[] = {0x1234, 0xABCD};
    uint32_t longs[] = {0x12345678, 0x01020304};
    uint8_t one[] = {10, 1, 1, 1}, three[] = {1, 2, 3, 1, 1, 1, 255, 0, 1}, four[] = {1, 2, 3, 4, 1, 1, 1, 1};
    SwapShort(shorts, 2);
    SwapLong(longs, 2);
    Depredict1(one, 3);
    Depredict3(three, 2);
    Depredict4(four, 1);
    EXPECT_EQ(std::vector<uint32_t>({shorts[0], shorts[1], longs[0], longs[1]}),
              std::vector<uint32_t>({0x3412, 0xCDAB, 0x78563412, 0x04030201}));
    EXPECT_EQ(Join({Bytes(one, one + 4), Bytes(three, three + 9), Bytes(four + 4, four + 8)}),
              (Bytes{10, 11, 12, 13, 1, 2, 3, 2, 3, 4, 1, 3, 5, 2, 3, 4, 5}));
}

}  // namespace
