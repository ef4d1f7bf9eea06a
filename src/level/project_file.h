// The project file (".vel"): the project record and its rooms, stored as one
// "ZLIB" container of the buffered file layer.
//
// Saving writes a temporary file beside the target and replaces the target
// by one atomic rename only once the new file is complete, so a failed save
// never loses the old file. Loading reads the whole file into a separate
// record and replaces the project only when everything was read, so a
// refused file leaves the project as it was.
#pragma once

#include <cstdint>
#include <string>

#include "level/project_records.h"

// The header and the version the writer stores.
inline constexpr const char* PROJECT_FILE_HEADER = "Kestrel DXVel file";
constexpr uint8_t PROJECT_FILE_VERSION = 2;

// The reader's messages.
inline constexpr const char* PROJECT_BAD_HEADER_MESSAGE = " ERROR...invalid DXVel3d file format! ";
inline constexpr const char* PROJECT_OLD_VERSION_MESSAGE =
    " Sorry, Vel version 1.x no supported; use CONVERTER tool to migrate your project.";
// Starts every message about a file that is cut short or holds impossible counts.
inline constexpr const char* PROJECT_DAMAGED_MESSAGE = "Invalid or damaged project file: ";

// Writes the project to fileName. With backupInterval above 0, every
// backupInterval-th save (counted in saveCounter, which lives with the
// caller) first keeps the old file as fileName.BAK01, shifting older backups
// up to backupMax. Errors of the file system raise EInOutError; the old file
// and its backups are then untouched and no temporary file is left behind.
// A project whose counts do not fit its tables raises std::out_of_range
// before anything is written.
void SaveProject(const tcuarto_list& project, const std::string& fileName, int backupInterval, int backupMax,
                 int& saveCounter);

// Reads the project from fileName. Returns 0 when the project was read, 1
// when the file was refused (its message has been shown and the project is
// unchanged): a damaged file, or one that needs more memory than there is
// or than ProjectMemoryLimit grants (OUT_OF_MEMORY_MESSAGE). A file that
// cannot be opened raises EInOutError.
int LoadProject(tcuarto_list& project, const std::string& fileName);

// Bytes the sector grids and the triggers of one loaded project may take in
// all. A compressed project of a few megabytes can hold gigabytes of
// sectors, so the rooms a file claims are checked against this bound before
// their grids are allocated.
extern int64_t ProjectMemoryLimit;

// Moves `current` to base.BAKnn (nn = n, at least two digits), first moving
// an existing base.BAKnn one number up, or deleting it when n is the maximum.
// Does nothing unless a file named base exists.
void RotateBackups(const std::string& base, const std::string& current, int n, int maximum);

// A name of `length` characters from "_~01234567890ABCDEFGHIJKLMNOPQRSTUVWXYZ"
// that names nothing existing in `directory` (the working directory when
// empty; otherwise it ends with a separator). Draws from the process-wide
// generator. The directory part is not included in the result.
std::string RandomFileName(int length, const std::string& directory = std::string());
