// The moveable catalog: its reading rules, the file shipped beside the
// program, the text-to-number conversions it uses, and the keyword table.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <map>
#include <sstream>
#include <string>
#include <tuple>

#include "level/trcatalog.h"
#include "level/trscript.h"
#include "level/xmlscan.h"
#include "platform/rtl/strconv.h"
#include "platform/rtl/sysutils.h"
#include "support/temp_dir.h"

namespace {

const std::string kCatalog = std::string(EDITOR_DATA_DIR) + "/trcatalog.xml";

// The entry as a line: name, body source, alternative, six adjustments, AI and flag.
std::string Entry(const tmovable_record& m)
{
    std::ostringstream os;
    os << m.name << " " << m.USE_BODY_FROM << " " << m.ID2;
    for (float a : {m.X_ADJUST, m.Y_ADJUST, m.Z_ADJUST, m.RX_ADJUST, m.RY_ADJUST, m.RZ_ADJUST}) os << " " << a;
    os << " " << m.AI << " " << m.flag;
    return os.str();
}

class CatalogFile : public ::testing::Test {
protected:
    void Load(const std::string& doc, int version)
    {
        WriteFileBytes(dir.file("trcatalog.xml"), doc.data(), doc.size());
        LoadTrCatalog(catalog, dir.file("trcatalog.xml"), version);
    }
    TempDir dir;
    TMoveableCatalog catalog{};
};

}  // namespace

namespace {

// Version, document, id, and the entry it gives.
using TCatalogCase = std::tuple<int, std::string, int, std::string>;

std::vector<TCatalogCase> GameSectionCases()
{
    const std::string twoGames =
        "<?xml version=\"1.0\"?>\n<catalog>\n  <game id=\"TR1\">\n    <moveables>\n"
        "      <moveable ID=\"0\" NAME=\"Lara\"/>\n      <moveable ID=\"7\" NAME=\"Wolf\" Y_ADJUST=\"1.5\"/>\n"
        "    </moveables>\n  </game>\n  <game id=\"TR2\">\n    <moveables>\n"
        "      <moveable ID=\"15\" NAME=\"Doberman\" USE_BODY_FROM=\"7\" ID2=\"16\"/>\n    </moveables>\n  "
        "</game>\n</catalog>\n";
    return {
        {1, twoGames, 7, "Wolf -1 -1 0 1.5 0 0 0 0 0 1"},
        {2, twoGames, 15, "Moveable Id#15 -1 -1 0 0 0 0 0 0 0 1"},
        {4, twoGames, 15, "Doberman 7 16 0 0 0 0 0 0 0 1"},
        {4, twoGames, 7, "Moveable Id#7 -1 -1 0 0 0 0 0 0 0 1"},
        {5, twoGames, 0, "Moveable Id#0 -1 -1 0 0 0 0 0 0 0 1"},  // no section of that game
        {9, "<c><game id=''><moveables><m ID='1' NAME='x'/></moveables></game></c>", 1,
         "Moveable Id#1 -1 -1 0 0 0 0 0 0 0 1"},
        {9, "<c><game><moveables><m ID='1' NAME='x'/></moveables></game></c>", 1,
         "Moveable Id#1 -1 -1 0 0 0 0 0 0 0 1"},
        {7,
         "<c><game n='TRC'><moveables><m ID='12' NAME='Guard' USE_BODY_FROM='11' ID2='13' X_ADJUST='1.25' Y_ADJUST='-2'"
         " Z_ADJUST='3e1' RX_ADJUST='90' RY_ADJUST='.5' RZ_ADJUST='-0.75' AI='65537'/></moveables></game></c>",
         12, "Guard 11 13 1.25 -2 30 90 0.5 -0.75 1 1"},
        // Attribute names ignore case, tag names do not.
        {5, "<c><game id='TR3'><moveables><m id='4' name='lower' y_adjust='2'/></moveables></game></c>", 4,
         "lower -1 -1 0 2 0 0 0 0 0 1"},
        {5,
         "<c><game id='TR3'><moveables><m ID='4' Use_Body_From='3' USE_BODY_FROM_ALL='9' ID_='9' "
         "A_VERY_LONG_ATTRIBUTE_NAME='x'/></moveables></game></c>",
         4, "Moveable Id#4 3 -1 0 0 0 0 0 0 0 1"},
        {5, "<c><Game id='TR3'><moveables><m ID='4' NAME='x'/></moveables></Game></c>", 4,
         "Moveable Id#4 -1 -1 0 0 0 0 0 0 0 1"},
        {5, "<c><game id='TR3'><Moveables><m ID='4' NAME='x'/></Moveables></game></c>", 4,
         "Moveable Id#4 -1 -1 0 0 0 0 0 0 0 1"},
        // The first attribute in sorted order names the game: "name" before "version".
        {3, "<c><game version='TR1' name='TR2'><moveables><m ID='1' NAME='two'/></moveables></game></c>", 1,
         "two -1 -1 0 0 0 0 0 0 0 1"},
        {1, "<c><game version='TR1' name='TR2'><moveables><m ID='1' NAME='two'/></moveables></game></c>", 1,
         "Moveable Id#1 -1 -1 0 0 0 0 0 0 0 1"},
        // "moveables" under the root, "game" below the root's children, "moveables" below "game"'s children open
        // nothing.
        {1, "<c><moveables><m ID='1' NAME='a'/></moveables></c>", 1, "Moveable Id#1 -1 -1 0 0 0 0 0 0 0 1"},
        {1, "<c><x><game id='TR1'><moveables><m ID='2' NAME='b'/></moveables></game></x></c>", 2,
         "Moveable Id#2 -1 -1 0 0 0 0 0 0 0 1"},
        {1, "<c><game id='TR1'><x><moveables><m ID='3' NAME='c'/></moveables></x></game></c>", 3,
         "Moveable Id#3 -1 -1 0 0 0 0 0 0 0 1"},
        // Empty tags of any name and depth inside "moveables" count; those beside it do not.
        {1,
         "<c><game id='TR1'><m ID='4' NAME='beside'/><moveables><g><deep ID='5' "
         "NAME='deep'/></g></moveables></game></c>",
         5, "deep -1 -1 0 0 0 0 0 0 0 1"},
        {1, "<c><game id='TR1'><m ID='4' NAME='beside'/><moveables/></game></c>", 4,
         "Moveable Id#4 -1 -1 0 0 0 0 0 0 0 1"},
        // Reading stops at the end of the first matching "moveables"; a game without one lets a later one be read.
        {1,
         "<c><game id='TR1'><moveables><m ID='1' NAME='first'/></moveables><moveables><m ID='2' "
         "NAME='second'/></moveables>"
         "</game><game id='TR1'><moveables><m ID='1' NAME='again'/><m ID='3' NAME='third'/></moveables></game></c>",
         1, "first -1 -1 0 0 0 0 0 0 0 1"},
        {1,
         "<c><game id='TR1'><moveables><m ID='1' NAME='first'/></moveables><moveables><m ID='2' "
         "NAME='second'/></moveables></game></c>",
         2, "Moveable Id#2 -1 -1 0 0 0 0 0 0 0 1"},
        {1,
         "<c><game id='TR1'><other/></game><game id='TR1'><moveables><m ID='1' NAME='later'/></moveables></game></c>",
         1, "later -1 -1 0 0 0 0 0 0 0 1"},
        // Ids outside 0..599 and body sources the catalog cannot hold are ignored.
        {1,
         "<c><game id='TR1'><moveables><m ID='-1' NAME='neg'/><m ID='600' NAME='big'/><m NAME='noid'/>"
         "<m ID='599' NAME='last' USE_BODY_FROM='600' ID2='-1'/><m ID='598' "
         "USE_BODY_FROM='-5'/></moveables></game></c>",
         599, "last -1 -1 0 0 0 0 0 0 0 1"},
        {1,
         "<c><game id='TR1'><moveables><m ID='600' NAME='big'/><m ID='598' USE_BODY_FROM='-5'/></moveables></game></c>",
         598, "Moveable Id#598 -1 -1 0 0 0 0 0 0 0 1"},
        // Entities and UTF-8 names are resolved.
        {1,
         "<?xml version='1.0' encoding='UTF-8'?>\n<!DOCTYPE c [ <!ENTITY tr 'TR1'> ]>\n"
         "<c><game id='&tr;'><moveables><m ID='1' NAME='Caf\xC3\xA9 &amp; co'/></moveables></game></c>",
         1, "Caf\xE9 & co -1 -1 0 0 0 0 0 0 0 1"},
    };
}

}  // namespace

TEST_F(CatalogFile, OnlyTheGamesMoveablesAreRead)
{
    for (const auto& [version, doc, id, entry] : GameSectionCases()) {
        Load(doc, version);
        EXPECT_EQ(Entry(catalog[size_t(id)]), entry) << doc;
    }
    EXPECT_EQ(catalog[0].name, "Moveable Id#0");
    EXPECT_EQ(catalog[599].name, "Moveable Id#599");
}

TEST_F(CatalogFile, EntriesNotListedKeepWhatTheDefaultsDoNotSet)
{
    // A moveable of only an ID sets the adjustments and the AI word; others keep theirs.
    catalog[5].X_ADJUST = 3;
    catalog[5].AI = 4;
    Load(
        "<c><game id='TR1'><moveables><m ID='8' X_ADJUST='1' Y_ADJUST='2' Z_ADJUST='3' RX_ADJUST='4' RY_ADJUST='5'"
        " RZ_ADJUST='6' AI='7' NAME='n'/><m ID='5'/></moveables></game></c>",
        1);
    EXPECT_EQ(Entry(catalog[5]), "Moveable Id#5 -1 -1 0 0 0 0 0 0 0 1");
    Load("<c/>", 1);
    EXPECT_EQ(Entry(catalog[8]), "Moveable Id#8 -1 -1 1 0 3 4 5 6 7 1");
    // A missing file changes nothing; a file that cannot be read leaves the defaults.
    catalog[2].name = "kept";
    LoadTrCatalog(catalog, dir.file("absent.xml"), 1);
    LoadTrCatalog(catalog, dir.path(), 1);
    EXPECT_EQ(catalog[2].name, "kept");
    Load(std::string(1, '\0') + "<c><game id='TR1'><moveables><m ID='2' NAME='x'/></moveables></game></c>", 1);
    EXPECT_EQ(catalog[2].name, "Moveable Id#2");
    for (const char* doc : {"<c><game id='TR1'><moveables><m ID='1' NAME='unterminated",
                            "</c></c><game id='TR1'><moveables><m ID='1' NAME='a'/>",
                            "<!DOCTYPE c [<!ENTITY e '&e;&e;'>]><c><game id='TR1'><moveables><m ID='1' "
                            "NAME='&e;'/></moveables></game></c>"}) {
        Load(doc, 1);
        EXPECT_LE(catalog[1].name.size(), 64u) << doc;
    }
}

TEST_F(CatalogFile, BadNumbersRaiseAConversionErrorAndKeepEarlierEntries)
{
    const std::string doc =
        "<c><game id='TR1'><moveables><m ID='1' NAME='ok'/><m ID='x2' NAME='bad'/><m ID='3' "
        "NAME='after'/></moveables></game></c>";
    try {
        Load(doc, 1);
        ADD_FAILURE() << "no error";
    } catch (const EConvertError& e) {
        EXPECT_STREQ(e.what(), "'x2' is not a valid integer value");
    }
    EXPECT_EQ(catalog[1].name, "ok");
    EXPECT_EQ(catalog[3].name, "Moveable Id#3");
    for (const char* bad : {"Y_ADJUST='1,5'", "Y_ADJUST='1e99'", "ID2='99999999999'"})
        EXPECT_THROW(
            Load(std::string("<c><game id='TR1'><moveables><m ID='1' ") + bad + "/></moveables></game></c>", 1),
            EConvertError)
            << bad;
}

TEST(CatalogData, TheReaderTakesExactlyEachGamesListedEntries)
{
    // Every moveable element of the file: game -> id -> attributes; each game
    // lists its ids once and in ascending order, which keeps the file easy to maintain.
    std::map<std::string, std::map<int, std::map<std::string, std::string>>> games;
    TXmlParser xml;
    ASSERT_TRUE(xml.LoadFromFile(kCatalog, 0x40));
    std::string game;
    while (xml.Scan()) {
        if (xml.CurPartType == ptStartTag && xml.CurName == "game") game = xml.AttrValue(0);
        if (xml.CurPartType != ptEmptyTag) continue;
        const int id = std::stoi(xml.AttrValue("ID"));
        if (!games[game].empty()) { EXPECT_LT(games[game].rbegin()->first, id) << game; }
        for (int i = 0; i < xml.AttrCount(); ++i) games[game][id][xml.AttrName(i)] = xml.AttrValue(i);
    }
    EXPECT_EQ(games.size(), 5u);
    for (int version = 1; version <= 7; ++version) {
        const std::string section = TrCatalogSectionName(version);
        ASSERT_EQ(games.count(section), 1u) << version;
        const auto& listed = games.at(section);
        TMoveableCatalog catalog{};
        LoadTrCatalog(catalog, kCatalog, version);
        EXPECT_EQ(catalog[0].name, "Lara");
        EXPECT_GE(listed.size(), 30u);
        for (int id = 0; id < TR_CATALOG_SIZE; ++id) {
            const auto it = listed.find(id);
            auto number = [&](const char* key) {
                return it == listed.end() || !it->second.count(key) ? -1 : std::stoi(it->second.at(key));
            };
            const tmovable_record& e = catalog[size_t(id)];
            EXPECT_EQ(e.name, it == listed.end() ? "Moveable Id#" + std::to_string(id) : it->second.at("NAME"))
                << section << " " << id;
            EXPECT_EQ(std::make_tuple(e.USE_BODY_FROM, e.ID2, e.flag),
                      std::make_tuple(number("USE_BODY_FROM"), number("ID2"), uint16_t(1)));
            // Names are given, and body sources and alternatives name other objects of the same game.
            if (it == listed.end()) continue;
            EXPECT_NE(e.name, "") << section << " " << id;
            EXPECT_NE(e.name, "none") << section << " " << id;
            for (const char* link : {"USE_BODY_FROM", "ID2"}) {
                if (number(link) == -1) continue;
                EXPECT_NE(number(link), id) << section << " " << id << " " << link;
                EXPECT_EQ(listed.count(number(link)), 1u) << section << " " << id << " " << link;
            }
        }
    }
    // A few well-known objects.
    TMoveableCatalog tr1{}, tr2{}, tr4{}, trc{};
    LoadTrCatalog(tr1, kCatalog, 1);
    LoadTrCatalog(tr2, kCatalog, 3);
    LoadTrCatalog(tr4, kCatalog, 6);
    LoadTrCatalog(trc, kCatalog, 7);
    EXPECT_EQ(std::make_tuple(tr1[7].name, tr1[84].name, tr1[84].USE_BODY_FROM, tr1[118].ID2),
              std::make_tuple("Wolf", "Pistols (pick-up)", 99, 122));
    EXPECT_EQ(std::make_tuple(tr2[15].name, tr2[193].USE_BODY_FROM), std::make_tuple("Doberman", 197));
    EXPECT_EQ(std::make_tuple(tr4[39].name, tr4[260].ID2, trc[5].name),
              std::make_tuple("Von Croy", 272, "HK gun animation"));
}

TEST(CatalogSections, ByVersionCode)
{
    const char* expected[] = {"", "TR1", "TR1", "TR2", "TR2", "TR3", "TR4", "TRC", ""};
    for (int v = 0; v <= 8; ++v) EXPECT_EQ(TrCatalogSectionName(v), expected[v]) << v;
    EXPECT_EQ(TrCatalogSectionName(-1), "");
}

TEST(StrConv, IntegersAndFloats)
{
    for (const auto& [text, value] : std::vector<std::pair<const char*, int>>{{"42", 42},
                                                                              {"  -7", -7},
                                                                              {"+3", 3},
                                                                              {"$1F", 31},
                                                                              {"0x10", 16},
                                                                              {"-2147483648", INT32_MIN},
                                                                              {"2147483647", INT32_MAX}})
        EXPECT_EQ(StrToInt(text), value) << text;
    for (const char* bad : {"", " ", "-", "1 ", "1.0", "2147483648", "12a", "$", "0x", "$1FFFFFFFF"})
        EXPECT_THROW(StrToInt(bad), EConvertError) << bad;
    for (const auto& [text, value] : std::vector<std::pair<const char*, double>>{
             {"1.5", 1.5}, {" -0.25 ", -0.25}, {"3", 3}, {".5", 0.5}, {"5.", 5}, {"1E3", 1000}, {"1e-400", 0}})
        EXPECT_DOUBLE_EQ(StrToFloat(text), value) << text;
    for (const char* bad : {"", ".", "e5", "1e", "1.5.2", "1,5", "inf", "nan", "0x10", "1e400", "- 1"})
        EXPECT_THROW(StrToFloat(bad), EConvertError) << bad;
    const char saved = DecimalSeparator;
    DecimalSeparator = ',';
    EXPECT_DOUBLE_EQ(StrToFloat("1,5"), 1.5);
    EXPECT_THROW(StrToFloat("1.5"), EConvertError);
    DecimalSeparator = saved;
}

TEST(ScriptTable, FortyFiveRowsOfThreeKinds)
{
    ScriptText = "Start_Trigger";
    InitCommandTable();
    ScriptPosition = 9;
    std::string all;
    ASSERT_EQ(ScriptCommands.size(), 45u);
    for (const Tscp_tabla& r : ScriptCommands) {
        all += r.keyword + ":" + std::to_string(r.code) + ":" + std::to_string(r.kind) + " ";
        EXPECT_THAT(r.param, testing::Each(0)) << r.keyword;
    }
    EXPECT_EQ(
        all,
        "Start_Trigger:1:0 Copy_Trigger:2:0 Paste_Trigger:3:0 Put_Item:4:0 Kill_Lara:5:0 Add_Camera:6:0 "
        "Put_Alternate:7:0 "
        "Put_Static_Mesh:8:0 Put_Spot_Light:9:0 Put_RGB_Light:10:0 Climb_Wall:11:0 Monkey_Swing:12:0 exit:13:0 "
        "Add_Sink:14:0 "
        "Put_Sound_Source:15:0 Put_Raw_FD:16:0 Do_with_Activate:1:1 Do_with_Deactivate:2:1 "
        "If_Lara_on_ground_Do_with_Activate:3:1 "
        "If_Lara_on_ground_Do_with_Deactivate:4:1 TrapDoor:5:1 If_KeyLock_is_ON_Do_with_Activate:6:1 "
        "If_Switch_is_ON_Do_with_Activate:7:1 If_Item_is_picked_Up_Do_with_Activate:8:1 "
        "If_Item_at_Sector_Do_with_Activate:9:1 "
        "End_Trigger:10:1 IF_Lara_in_Combat_Do_With_Activate:11:1 :0:-1 :0:-1 :0:-1 :0:-1 :0:-1 Item:1:2 "
        "Switch_camera:2:2 "
        "Underwater_Flow:3:2 Alternate_On:4:2 Alternate_Room:5:2 Alternate_Off:6:2 Look_at_item:7:2 End_Level:8:2 "
        "Play_sound_Track:9:2 Effects:10:2 Found_Secret:11:2 End:12:2 Play_cutscene:13:2 ");
    FreeCommandTable();
    EXPECT_EQ(ScriptCommands.size(), 0u);
    EXPECT_EQ(ScriptText, "");
    InitCommandTable();
    EXPECT_EQ(ScriptPosition, 0);
    FreeCommandTable();
}
