// Loads arbitrary bytes as a project file. A refused file must leave the
// project exactly as it was; an accepted one must save and load back to the
// same file.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "fuzz_scratch.h"
#include "level/project_file.h"
#include "platform/rtl/messages.h"

namespace {

std::vector<char> Bytes(const std::string& name)
{
    std::ifstream in(name, std::ios::binary);
    return std::vector<char>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// A project with something in it, so that a refusal that changed it shows.
void Prepare(tcuarto_list& p)
{
    ResetProject(p);
    p.name = "before";
    p.roomCount = 1;
    tcuarto& r = p.rooms[1];
    r.columns = 2;
    r.rows = 2;
    InitRoomSectors(p, 1);
    p.itemCount = 1;
    p.items[1].correlative = 7;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static TRecordingSink sink;
    static TScopedMessageSink scope(sink);
    sink.messages.clear();

    const std::string input = WriteScratchFile("project.vel", data, size);
    tcuarto_list project;
    Prepare(project);
    const int result = LoadProject(project, input);
    if (result != 0) {
        if (sink.messages.size() != 1 || project.name.str() != "before" || project.roomCount != 1 ||
            project.rooms.size() != 12 || project.itemCount != 1 || project.rooms[1].sectors.ColumnSlots() != 3)
            std::abort();
    } else if (!sink.messages.empty()) {
        std::abort();
    } else {
        // Whatever loads must save; keep the round trip cheap on large contents.
        int64_t sectors = 0;
        for (int i = 1; i <= project.roomCount; ++i)
            sectors += static_cast<int64_t>(project.rooms[i].columns) * project.rooms[i].rows;
        if (sectors <= 64) {
            const std::string first = ScratchPath("project-1.vel");
            const std::string second = ScratchPath("project-2.vel");
            int counter = 1;
            SaveProject(project, first, 0, 0, counter);
            tcuarto_list again;
            if (LoadProject(again, first) != 0) std::abort();
            SaveProject(again, second, 0, 0, counter);
            if (Bytes(first) != Bytes(second)) std::abort();
            std::remove(first.c_str());
            std::remove(second.c_str());
        }
    }
    std::remove(input.c_str());
    return 0;
}
