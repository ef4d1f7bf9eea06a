// What the suites of the File menu share: a window whose file dialog
// answers with a path the test chooses, a scratch directory, and writers of
// the files the commands read.
#pragma once

#include <QAction>
#include <QCoreApplication>

#include <optional>
#include <string>
#include <vector>

#include "editor/editor_state.h"
#include "editor/main_form.h"
#include "editor_fixture.h"
#include "support/imagemagick.h"
#include "support/level_writer.h"
#include "support/temp_dir.h"

class FileCommandsTest : public EditorWindowTest {
protected:
    // The next dialogs answer with this path; an empty one cancels.
    void Answer(const std::string& path)
    {
        form->FileDialog = [this, path](const TMain_Form::TFileDialogRequest& request) -> std::optional<QString> {
            asked.push_back(request);
            if (path.empty()) return std::nullopt;
            return QString::fromStdString(path);
        };
    }

    // Chooses a menu command as the user does.
    void Choose(QAction* action)
    {
        action->trigger();
        QCoreApplication::processEvents();
    }

    // Opens a file through a menu command and its dialog.
    void ChooseFile(QAction* action, const std::string& path)
    {
        Answer(path);
        Choose(action);
    }

    static std::vector<std::string> Items(const TListBox* list)
    {
        std::vector<std::string> out;
        for (int i = 0; i < list->Count(); ++i) out.push_back(list->ItemText(i));
        return out;
    }

    // A deterministic picture whose pixels convert to 16 bits exactly: red
    // and blue in steps of 8, green in steps of 4, never black.
    static void PatternPixel(int x, int y, uint8_t rgb[3])
    {
        rgb[0] = static_cast<uint8_t>(8 + 8 * ((x / 8) % 31));
        rgb[1] = static_cast<uint8_t>(4 * (y % 64));
        rgb[2] = static_cast<uint8_t>(x >= 256 ? 248 : 8 * ((y / 64) % 31));
    }
    static uint16_t Pattern565(int x, int y)
    {
        uint8_t c[3];
        PatternPixel(x, y, c);
        return static_cast<uint16_t>(((c[0] >> 3) << 11) | ((c[1] >> 2) << 5) | (c[2] >> 3));
    }

    // Writes the pattern through ImageMagick in the format of the name's
    // extension.
    bool WritePicture(const std::string& file, int width, int height)
    {
        std::vector<uint8_t> rgb(static_cast<std::size_t>(width) * height * 3);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) PatternPixel(x, y, &rgb[(static_cast<std::size_t>(y) * width + x) * 3]);
        const std::string ppm = dir.file("pattern.ppm");
        WritePpm(ppm, width, height, rgb);
        std::string log;
        auto endsWith = [&](const char* ext) { return file.size() > 4 && file.compare(file.size() - 4, 4, ext) == 0; };
        std::vector<std::string> args = {ppm};
        // Without an orientation ImageMagick stores Targa rows in the wrong order.
        if (endsWith(".tga")) args.insert(args.end(), {"-orient", "TopLeft"});
        args.push_back((endsWith(".bmp") ? "BMP3:" : "") + file);
        const bool ok = RunConvert(args, &log);
        EXPECT_TRUE(ok) << log;
        return ok;
    }

    TempDir dir;
    std::vector<TMain_Form::TFileDialogRequest> asked;
};
