#include "level/trcatalog.h"

#include <cmath>
#include <limits>

#include "level/xmlscan.h"
#include "platform/rtl/strconv.h"
#include "platform/rtl/sysutils.h"

namespace {

// Read access that lets others read and write the file meanwhile.
constexpr int kOpenReadShareDenyNone = 0x40;

float ToSingle(const std::string& text)
{
    const double v = StrToFloat(text);
    if (std::fabs(v) > std::numeric_limits<float>::max())
        throw EConvertError("'" + text + "' is not a valid floating point value");
    return static_cast<float>(v);
}

// One moveable element: its attributes are taken in the scanner's
// (name-sorted) order; later ones of the same meaning win.
void ReadMoveable(TMoveableCatalog& catalog, const TXmlParser& xml)
{
    int32_t id = -1;
    std::string name = "none";
    int32_t id2 = -1;
    int32_t useBodyFrom = -1;
    float adjust[6] = {0, 0, 0, 0, 0, 0};  // X, Y, Z, RX, RY, RZ
    int32_t ai = 0;
    static const char* const kAdjustNames[6] = {"X_ADJUST",  "Y_ADJUST",  "Z_ADJUST",
                                                "RX_ADJUST", "RY_ADJUST", "RZ_ADJUST"};
    for (int i = 0; i < xml.AttrCount(); ++i) {
        const std::string key = UpperCase(xml.AttrName(i));
        const std::string value = xml.AttrValue(i);
        if (key == "ID") {
            id = StrToInt(value);
        } else if (key == "NAME") {
            name = value;
        } else if (key == "USE_BODY_FROM") {
            useBodyFrom = StrToInt(value);
        } else if (key == "ID2") {
            id2 = StrToInt(value);
        } else if (key == "AI") {
            ai = StrToInt(value);
        } else {
            for (int k = 0; k < 6; ++k)
                if (key == kAdjustNames[k]) adjust[k] = ToSingle(value);
        }
    }
    if (id < 0 || id >= TR_CATALOG_SIZE) return;
    tmovable_record& entry = catalog[static_cast<size_t>(id)];
    if (name != "none") entry.name = name;
    // The body source indexes the catalog, so only an id it holds is taken.
    if (useBodyFrom >= 0 && useBodyFrom < TR_CATALOG_SIZE) entry.USE_BODY_FROM = useBodyFrom;
    if (id2 != -1) entry.ID2 = id2;
    entry.X_ADJUST = adjust[0];
    entry.Y_ADJUST = adjust[1];
    entry.Z_ADJUST = adjust[2];
    entry.RX_ADJUST = adjust[3];
    entry.RY_ADJUST = adjust[4];
    entry.RZ_ADJUST = adjust[5];
    entry.AI = static_cast<uint16_t>(ai);
}

}  // namespace

std::string TrCatalogSectionName(int version)
{
    switch (version) {
    case 1:
    case 2: return "TR1";
    case 3:
    case 4: return "TR2";
    case 5: return "TR3";
    case 6: return "TR4";
    case 7: return "TRC";
    default: return std::string();
    }
}

void SetTrCatalogDefaults(TMoveableCatalog& catalog)
{
    for (int id = 0; id < TR_CATALOG_SIZE; ++id) {
        tmovable_record& entry = catalog[static_cast<size_t>(id)];
        entry.name = "Moveable Id#" + IntToStr(id);
        entry.ID2 = -1;
        entry.USE_BODY_FROM = -1;
        entry.Y_ADJUST = 0;
        entry.flag = 1;
    }
}

void ReadTrCatalog(TMoveableCatalog& catalog, TXmlParser& xml, int version)
{
    xml.StartScan();
    const std::string section = TrCatalogSectionName(version);
    SetTrCatalogDefaults(catalog);
    int depth = 0;
    bool inGame = false;
    bool inMoveables = false;
    while (xml.Scan()) {
        switch (xml.CurPartType) {
        case ptStartTag:
            // The game's name is the first attribute in sorted order, whatever its name.
            if (depth == 1 && xml.CurName == "game" && !section.empty() && xml.AttrCount() > 0 &&
                xml.AttrValue(0) == section)
                inGame = true;
            if (inGame && depth == 2 && xml.CurName == "moveables") inMoveables = true;
            ++depth;
            break;
        case ptEmptyTag:
            if (inMoveables) ReadMoveable(catalog, xml);
            break;
        case ptEndTag:
            --depth;
            if (depth == 1) inGame = false;
            if (depth == 2 && inMoveables) return;
            break;
        default: break;
        }
    }
}

void LoadTrCatalog(TMoveableCatalog& catalog, const std::string& fileName, int version)
{
    if (!FileExists(fileName)) return;
    TXmlParser xml;
    xml.Normalize = true;
    xml.LoadFromFile(fileName, kOpenReadShareDenyNone);
    ReadTrCatalog(catalog, xml, version);
}
