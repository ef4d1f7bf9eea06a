// Texts of the project records are single-byte texts in the Western Windows
// code page (1252). Qt speaks Unicode and the file system speaks its own
// encoding of names, so every text crosses that boundary here.
#pragma once

#include <QString>

#include <optional>
#include <string>
#include <string_view>

// A record text as a Qt string; every byte has a character.
QString Cp1252ToQString(std::string_view text);

// A Qt string as a record text; nullopt when a character has no byte in the
// code page.
std::optional<std::string> QStringToCp1252(const QString& text);

// A Qt string as a record text with every character that has no byte
// replaced by "?"; for texts that are only shown.
std::string QStringToCp1252Lossy(const QString& text);

// A record text (a path kept in the project) as the name the file system
// opens.
std::string Cp1252ToFileName(std::string_view text);

// A name of the file system (for example the program's own directory) as a
// record text, "?" for what the code page cannot hold; for messages.
std::string FileNameToCp1252Lossy(const std::string& fileName);

// A path chosen in a dialog as a record text. A path holding a character the
// code page cannot store is refused with a message naming it, and nullopt
// comes back.
std::optional<std::string> DialogPathToCp1252(const QString& path);
