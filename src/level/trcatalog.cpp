#include "level/trcatalog.h"

#include <cmath>
#include <limits>
#include <string_view>
#include <utility>

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

// The attributes a moveable element may carry, matched after upper-casing.
enum TMoveableKey {
    kId,
    kName,
    kUseBodyFrom,
    kId2,
    kAi,
    kXAdjust,
    kYAdjust,
    kZAdjust,
    kRxAdjust,
    kRyAdjust,
    kRzAdjust
};

// Which of them a name is; false for any other name. Names longer than the
// longest key are passed over without being copied.
bool MoveableKey(const std::string& name, TMoveableKey& key)
{
    static const std::pair<std::string_view, TMoveableKey> kKeys[] = {
        {"ID", kId},
        {"NAME", kName},
        {"USE_BODY_FROM", kUseBodyFrom},
        {"ID2", kId2},
        {"AI", kAi},
        {"X_ADJUST", kXAdjust},
        {"Y_ADJUST", kYAdjust},
        {"Z_ADJUST", kZAdjust},
        {"RX_ADJUST", kRxAdjust},
        {"RY_ADJUST", kRyAdjust},
        {"RZ_ADJUST", kRzAdjust},
    };
    char upper[16];
    if (name.size() > sizeof upper) return false;
    for (size_t i = 0; i < name.size(); ++i) {
        const char c = name[i];
        upper[i] = c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c;
    }
    const std::string_view n(upper, name.size());
    for (const auto& [text, k] : kKeys) {
        if (n != text) continue;
        key = k;
        return true;
    }
    return false;
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
    for (int i = 0; i < xml.AttrCount(); ++i) {
        TMoveableKey key;
        if (!MoveableKey(xml.CurAttr[i].Name, key)) continue;
        const std::string& value = xml.CurAttr[i].Value;
        switch (key) {
        case kId: id = StrToInt(value); break;
        case kName: name = value; break;
        case kUseBodyFrom: useBodyFrom = StrToInt(value); break;
        case kId2: id2 = StrToInt(value); break;
        case kAi: ai = StrToInt(value); break;
        default: adjust[key - kXAdjust] = ToSingle(value); break;
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
