// Crafted files with huge counts and the like, each made in memory by the
// file of this folder that covers its reader. The benchmark program loads
// every one of them in a child process, as the editor would open it, and
// reports the time and the peak memory that cost; it can also write them all
// to a folder, so that they can be opened in the editor itself.
#pragma once

#include <string>
#include <vector>

// How the editor opens a file of this kind.
enum class THostileKind {
    Picture,   // a Texturesfile, through the picture loader and its extension
    Project,   // a project file (LoadProject)
    Basefile,  // a game level, read and then turned into textures and meshes
    Catalog,   // the object catalog, read for a level of a game
    // A game level read as above, then drawn as the Basefile of a project
    // of one room whose items (a full table) are the objects of the
    // catalog the level holds, in turn, and whose statics (as many as the
    // room's table holds) its static meshes.
    BasefileDrawn,
    // A game level read as above, then turned into a new project by the
    // converter with the options it starts with.
    BasefileConverted,
};

struct THostileFile {
    std::string name;  // file name with its extension, e.g. "tiff_colormap_count.tif"
    THostileKind kind;
    std::string (*make)();  // the file's bytes
};

// Every file registered so far.
std::vector<THostileFile>& HostileFiles();

// Registers a file at start-up: static THostileRegistration r{{"name.ext", kind, Make}};
struct THostileRegistration {
    explicit THostileRegistration(THostileFile file) { HostileFiles().push_back(std::move(file)); }
};

// Opens the file as the editor would open a file of that kind. Returns true
// when it was read, false when it was refused (with its message or error);
// anything else (a crash, an escaping exception) is a fault.
bool OpenHostileFile(THostileKind kind, const std::string& path);
