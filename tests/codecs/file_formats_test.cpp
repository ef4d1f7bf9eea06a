#include <gtest/gtest.h>

#include <map>

#include "codecs/codec_messages.h"
#include "codecs/file_formats.h"
#include "codecs/targa.h"
#include "platform/picture/picture.h"
#include "platform/rtl/classes.h"
#include "support/temp_dir.h"

namespace {

// Stand-ins for readers, so the registry's mechanics can be tested alone.
template <int N>
struct TFake : public TBitmap {
    static constexpr const char* ClassName = "TFake";
};

int PictureEntries(TGraphicClass cls)
{
    int n = 0;
    for (const auto& f : TPicture::FileFormats()) n += f.GraphicClass == cls;
    return n;
}

std::string PictureDescription(const std::string& ext)
{
    std::string d;
    for (const auto& f : TPicture::FileFormats())
        if (f.Extension == ext) d = f.Description;
    return d;
}

// Registers the whole table on a list of its own; `classes` receives each
// slot's class.
void RegisterWholeTable(TFileFormatList& list, std::map<TCodecClassSlot, TGraphicClass>& classes)
{
    for (const auto& row : FormatRegistrations()) {
        const TGraphicClass cls = classes[row.Slot] = CodecClassOf(row.Slot);
        list.RegisterFileFormat(row.Extension, row.Common ? LoadStr(row.Common) : "",
                                row.Individual ? LoadStr(row.Individual) : "", row.FileTypes, false, cls);
    }
}

TEST(FileFormats, TheWholeTableGivesSeventeenClassesAndTheirCounts)
{
    ASSERT_EQ(FormatRegistrations().size(), 39u);
    std::map<TCodecClassSlot, TGraphicClass> classes;
    TFileFormatList list;
    RegisterWholeTable(list, classes);
    ASSERT_EQ(list.ExtensionCount(), 39);
    ASSERT_EQ(list.ClassCount(), 17);
    const int counts[] = {3, 1, 2, 4, 5, 3, 1, 3, 2, 4, 2, 3, 2, 1, 1, 1, 1};
    const char* descriptions[] = {"Windows bitmaps", "Windows icons", "Windows metafiles", "JPG images",
                                  "Truevision images", "Tagged image file format images", "Encapsulated Postscript images",
                                  "ZSoft Paintbrush images", "Alias/Wavefront images", "SGI images", "Photoshop images",
                                  "Portable map images", "Autodesk images", "Kodak Photo-CD images", "Dr. Halo images",
                                  "Paintshop Pro images", "Portable network graphic images"};
    for (int i = 0; i < 17; ++i) {
        EXPECT_EQ(list.ClassAt(i).GraphicClass, classes[static_cast<TCodecClassSlot>(i)]) << i;
        EXPECT_EQ(list.ClassAt(i).Count, counts[i]) << i;
        EXPECT_EQ(list.ClassAt(i).Description, descriptions[i]) << i;
    }
    EXPECT_EQ(list.ExtensionAt(13).Extension, "tga");
    EXPECT_EQ(list.ExtensionAt(15).FileTypes, 12);
    // The picture loader got each extension with its description.
    EXPECT_EQ(PictureDescription("tga"), "Truevision images");
    EXPECT_EQ(PictureDescription("emf"), "Windows enhanced meta files");
    EXPECT_EQ(PictureDescription("jfif"), "JFIF images");
    EXPECT_EQ(PictureDescription("dib"), "Device independant Windows bitmaps");
    EXPECT_EQ(PictureDescription("pcc"), "ZSoft Paintbrush images");
    list.Clear();
    EXPECT_EQ(PictureEntries(classes[TCodecClassSlot::PNG]), 0);
}

TEST(FileFormats, LookupIgnoresTheCaseOfLettersOnly)
{
    std::map<TCodecClassSlot, TGraphicClass> classes;
    TFileFormatList list;
    RegisterWholeTable(list, classes);
    EXPECT_EQ(list.FindExtension("tga"), 13);
    EXPECT_EQ(list.FindExtension("TGA"), 13);
    EXPECT_EQ(list.FindExtension("tGa"), 13);
    EXPECT_EQ(list.FindExtension("tga "), -1);
    EXPECT_EQ(list.FindExtension(""), -1);
    EXPECT_EQ(list.FindGraphicClass(classes[TCodecClassSlot::Targa]), 4);
    EXPECT_EQ(list.FindGraphicClass(GraphicClassOf<TFake<99>>()), -1);
    list.Clear();
}

TEST(FileFormats, RegisteringTwiceNeedsReplace)
{
    std::map<TCodecClassSlot, TGraphicClass> classes;
    TFileFormatList list;
    RegisterWholeTable(list, classes);
    const TGraphicClass png = classes[TCodecClassSlot::PNG];
    try {
        list.RegisterFileFormat("png", "", "", ftRaster, false, png);
        FAIL();
    } catch (const EInvalidGraphic& e) {
        EXPECT_STREQ(e.what(), "Attempt to register png twice.");
    }
    EXPECT_EQ(list.ExtensionCount(), 39);
    list.RegisterFileFormat("", "x", "y", ftRaster, false, png);  // an empty extension does nothing
    EXPECT_EQ(list.ExtensionCount(), 39);

    // Replacing moves the extension to the new class and drops an emptied class.
    const TGraphicClass other = GraphicClassOf<TFake<42>>();
    list.RegisterFileFormat("png", "Other", "", ftRaster, true, other);
    EXPECT_EQ(list.ExtensionCount(), 39);
    EXPECT_EQ(list.FindGraphicClass(png), -1);
    EXPECT_EQ(list.ExtensionAt(list.FindExtension("png")).ClassEntry->GraphicClass, other);
    EXPECT_EQ(list.ExtensionAt(list.FindExtension("png")).ClassEntry->Description, "Other");
    EXPECT_EQ(TPicture::FindFileFormat("png"), other);
    const int classesBefore = list.ClassCount();
    list.RegisterFileFormat("png", "", "", ftRaster, true, other);  // same class: nothing changes
    EXPECT_EQ(list.ClassCount(), classesBefore);
    list.Clear();
}

TEST(FileFormats, UnregisteringByExtensionAndByClass)
{
    std::map<TCodecClassSlot, TGraphicClass> classes;
    TFileFormatList list;
    RegisterWholeTable(list, classes);
    const TGraphicClass bitmap = classes[TCodecClassSlot::Bitmap];
    ASSERT_EQ(bitmap, GraphicClassOf<TBitmap>());

    list.UnregisterFileFormat("rle", bitmap);
    EXPECT_GT(PictureEntries(bitmap), 0);  // "bmp" and "dib" still load
    EXPECT_EQ(list.ClassAt(list.FindGraphicClass(bitmap)).Count, 2);
    list.UnregisterFileFormat("bmp", bitmap);
    EXPECT_GT(PictureEntries(bitmap), 0);
    list.UnregisterFileFormat("dib", bitmap);
    EXPECT_EQ(PictureEntries(bitmap), 0);
    EXPECT_EQ(list.FindGraphicClass(bitmap), -1);
    list.UnregisterFileFormat("nothing", bitmap);  // not registered: nothing happens

    const TGraphicClass targa = classes[TCodecClassSlot::Targa];
    list.UnregisterFileFormat("", targa);
    for (const char* e : {"win", "vst", "vda", "tga", "icb"}) EXPECT_EQ(list.FindExtension(e), -1) << e;
    EXPECT_EQ(list.FindGraphicClass(targa), -1);
    EXPECT_EQ(PictureEntries(targa), 0);
    EXPECT_EQ(list.ExtensionCount(), 39 - 3 - 5);
    list.Clear();
    // The toolkit's own bitmap registration goes with the class.
    TPicture::RegisterFileFormat("bmp", "Bitmaps", GraphicClassOf<TBitmap>());
}

TEST(FileFormats, LibraryStartAndEnd)
{
    PictureCodecs::Initialization();
    ASSERT_NE(FileFormatList, nullptr);
    // Every row whose reader is part of the library is registered, in table order.
    int expected = 0;
    for (const auto& row : FormatRegistrations()) expected += CodecClassOf(row.Slot) != nullptr;
    EXPECT_EQ(FileFormatList->ExtensionCount(), expected);
    EXPECT_EQ(FileFormatList->ExtensionAt(0).Extension, "bmp");
    EXPECT_EQ(TPicture::FindFileFormat("TGA"), GraphicClassOf<TTargaGraphic>());
    EXPECT_EQ(TPicture::FindFileFormat("icb"), GraphicClassOf<TTargaGraphic>());
    PictureCodecs::Initialization();  // a second start changes nothing
    EXPECT_EQ(FileFormatList->ExtensionCount(), expected);

    // A picture file loads through the loader by its extension.
    TempDir dir;
    TTargaGraphic t;
    t.SetPixelFormat(pf24bit);
    t.SetSize(3, 2);
    t.SetPixel(2, 1, RGB(9, 8, 7));
    {
        TFileStream out(dir.file("pic.TGA"), fmCreate);
        t.SaveToStream(out);
    }
    TPicture picture;
    picture.LoadFromFile(dir.file("pic.TGA"));
    ASSERT_NE(dynamic_cast<TTargaGraphic*>(picture.Graphic()), nullptr);
    EXPECT_EQ(picture.Bitmap().GetPixel(2, 1), RGB(9, 8, 7));

    PictureCodecs::Finalization();
    EXPECT_EQ(FileFormatList, nullptr);
    EXPECT_EQ(TPicture::FindFileFormat("tga"), nullptr);
    EXPECT_EQ(TPicture::FindFileFormat("bmp"), nullptr);
    // Put the toolkit's own kinds back for the other tests of this program.
    TPicture::RegisterFileFormat("bmp", "Bitmaps", GraphicClassOf<TBitmap>());
    TPicture::RegisterFileFormat("ico", "Icons", GraphicClassOf<TIcon>());
    TPicture::RegisterFileFormat("jpg", "JPEG Image File", GraphicClassOf<TJPEGImage>());
}

TEST(CodecMessages, TheTableHasEveryText)
{
    EXPECT_EQ(CodecStringCount, 59);
    const uint16_t* ids = CodecStringIds();
    for (int i = 0; i < CodecStringCount; ++i) {
        EXPECT_FALSE(LoadStr(ids[i]).empty()) << ids[i];
        if (i > 0) {
            EXPECT_LT(ids[i - 1], ids[i]);
        }
    }
    EXPECT_EQ(LoadStr(65264), "");
    EXPECT_EQ(FormatStr(gesRegistration, {"xyz"}), "Attempt to register xyz twice.");
    EXPECT_EQ(FormatStr(gesUnsupportedFeature, {LoadStr(gesCompressionScheme), "TIF/TIFF"}),
              "Cannot load image. The compression scheme is not supported for TIF/TIFF files.");
    EXPECT_EQ(LoadStr(gesDIBs), "Device independant Windows bitmaps");
}

}  // namespace
