#include "editor_fixture.h"

#include <QCoreApplication>

#include "editor/editor_program.h"
#include "editor/event_dispatch.h"
#include "support/imagemagick.h"

QApplication& TestApp()
{
    static int argc = 1;
    static char name[] = "test_editor";
    static char* argv[] = {name, nullptr};
    static QApplication* app = new QApplication(argc, argv);
    return *app;
}

std::string TestAppDir()
{
    TestApp();
    return QCoreApplication::applicationDirPath().toStdString() + "/";
}

tcuarto& AddRoom(tcuarto_list& project, int n, TRoomPlace place)
{
    if (project.rooms.size() < static_cast<std::size_t>(n + 1)) project.rooms.resize(n + 1);
    if (project.roomCount < n) project.roomCount = static_cast<uint8_t>(n);
    tcuarto& r = project.rooms[n];
    r.x = place.x;
    r.z = place.z;
    r.y = place.y;
    r.columns = static_cast<uint16_t>(place.columns);
    r.rows = static_cast<uint16_t>(place.rows);
    r.height = static_cast<uint16_t>(place.height);
    InitRoomSectors(project, static_cast<uint8_t>(n));
    r.name = "Room#" + std::to_string(n);
    return r;
}

TColor As565(TColor c)
{
    TBitmap one;
    one.SetPixelFormat(pf16bit);
    one.SetSize(1, 1);
    one.SetPixel(0, 0, c);
    return one.GetPixel(0, 0);
}

std::vector<std::string> Lines(const TListBox* list)
{
    std::vector<std::string> out;
    for (int i = 0; i < list->Count(); ++i) out.push_back(list->ItemText(i));
    return out;
}

void EditorWindowTest::SetUp()
{
    TestApp();
    scoped = std::make_unique<TScopedMessageSink>(sink);
    ResetProcessEnd();
    StartEditorModules();
}

void EditorWindowTest::StartWindow(const std::string& appDir)
{
    form = std::make_unique<TMain_Form>(appDir);
    form->show();
    QCoreApplication::processEvents();
}

void EditorWindowTest::TearDown()
{
    if (form) form->close();
    form.reset();
    QCoreApplication::processEvents();
    EndEditorModules();
    ResetProcessEnd();
    scoped.reset();
}

void EditorWindowTest::Choose(QAction* action, std::optional<std::string> answer)
{
    if (answer)
        form->FileDialog = [this, path = *answer](const TMain_Form::TFileDialogRequest& request) {
            asked.push_back(request);
            return path.empty() ? std::nullopt : std::optional<QString>(QString::fromStdString(path));
        };
    action->trigger();
    QCoreApplication::processEvents();
}

void EditorWindowTest::Click(QAbstractButton* button)
{
    button->click();
    QCoreApplication::processEvents();
}

void EditorWindowTest::ChooseLine(QListWidget* list, int line)
{
    list->setCurrentRow(line);
    QCoreApplication::processEvents();
}

namespace {

// Red and blue in steps of 8, green in steps of 4, never black.
void PatternPixel(int x, int y, uint8_t rgb[3])
{
    rgb[0] = static_cast<uint8_t>(8 + 8 * ((x / 8) % 31));
    rgb[1] = static_cast<uint8_t>(4 * (y % 64));
    rgb[2] = static_cast<uint8_t>(x >= 256 ? 248 : 8 * ((y / 64) % 31));
}

}  // namespace

uint16_t EditorWindowTest::Pattern565(int x, int y)
{
    uint8_t c[3];
    PatternPixel(x, y, c);
    return static_cast<uint16_t>(((c[0] >> 3) << 11) | ((c[1] >> 2) << 5) | (c[2] >> 3));
}

bool EditorWindowTest::WritePicture(const std::string& file, int width, int height)
{
    std::vector<uint8_t> rgb(static_cast<std::size_t>(width) * height * 3);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) PatternPixel(x, y, &rgb[(static_cast<std::size_t>(y) * width + x) * 3]);
    WritePpm(dir.file("pattern.ppm"), width, height, rgb);
    const std::string ext = file.substr(file.size() - 4);
    std::vector<std::string> args = {dir.file("pattern.ppm")};
    // Without an orientation ImageMagick stores Targa rows in the wrong order.
    if (ext == ".tga") args.insert(args.end(), {"-orient", "TopLeft"});
    args.push_back((ext == ".bmp" ? "BMP3:" : "") + file);
    std::string log;
    const bool ok = RunConvert(args, &log);
    EXPECT_TRUE(ok) << log;
    return ok;
}

// The font configuration library keeps a cache for the life of the process
// that the leak checker sees as lost; it is not ours.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig\n"; }
