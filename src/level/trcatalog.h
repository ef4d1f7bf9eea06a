// The moveable catalog: a display name and placement corrections for every
// moveable object id of a game, read from the editor's "trcatalog.xml".
#pragma once

#include <array>
#include <cstdint>
#include <string>

class TXmlParser;

// Object ids 0..TR_CATALOG_SIZE-1 have an entry.
inline constexpr int TR_CATALOG_SIZE = 600;

struct tmovable_record {
    std::string name;
    int32_t ID2 = 0;            // alternative object id, -1 for none
    int32_t USE_BODY_FROM = 0;  // id whose meshes stand in for this object, -1 for none
    float Y_ADJUST = 0;
    float X_ADJUST = 0;
    float Z_ADJUST = 0;
    float RX_ADJUST = 0;
    float RY_ADJUST = 0;
    float RZ_ADJUST = 0;
    uint16_t AI = 0;
    // 1 by default; the Basefile loader stores the object's moveable slot
    // in the loaded level here.
    uint16_t flag = 0;
};

using TMoveableCatalog = std::array<tmovable_record, TR_CATALOG_SIZE>;

// The catalog section of a level version code: 1 and 2 "TR1", 3 and 4
// "TR2", 5 "TR3", 6 "TR4", 7 "TRC"; any other code gives "".
std::string TrCatalogSectionName(int version);

// Writes the defaults into every entry: name "Moveable Id#" and the id,
// ID2 -1, USE_BODY_FROM -1, Y adjust 0, flag 1. The other fields keep their values.
void SetTrCatalogDefaults(TMoveableCatalog& catalog);

// Reads the catalog file's section for the level version code into the
// catalog, after writing the defaults. Does nothing when the file does not
// exist; an unreadable file leaves the defaults. A number that does not
// parse raises EConvertError; the entries read before it stay.
void LoadTrCatalog(TMoveableCatalog& catalog, const std::string& fileName, int version);

// The same over a document already loaded into the scanner.
void ReadTrCatalog(TMoveableCatalog& catalog, TXmlParser& xml, int version);
