#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "platform/rtl/strconv.h"
#include "level/trcatalog.h"
#include "level/xmlscan.h"
#include "platform/rtl/sysutils.h"
#include "support/temp_dir.h"

namespace {

// Loads a catalog document written to a file, as the program does.
class CatalogFile : public ::testing::Test {
protected:
    void Load(const std::string& doc, int version)
    {
        const std::string name = dir.file("trcatalog.xml");
        WriteFileBytes(name, doc.data(), doc.size());
        LoadTrCatalog(catalog, name, version);
    }

    TempDir dir;
    TMoveableCatalog catalog{};
};

const std::string kTwoGames =
    "<?xml version=\"1.0\"?>\n"
    "<catalog>\n"
    "  <game id=\"TR1\">\n"
    "    <moveables>\n"
    "      <moveable ID=\"0\" NAME=\"Lara\"/>\n"
    "      <moveable ID=\"7\" NAME=\"Wolf\" Y_ADJUST=\"1.5\"/>\n"
    "    </moveables>\n"
    "  </game>\n"
    "  <game id=\"TR2\">\n"
    "    <moveables>\n"
    "      <moveable ID=\"0\" NAME=\"Lara (TR2)\"/>\n"
    "      <moveable ID=\"15\" NAME=\"Doberman\" USE_BODY_FROM=\"7\" ID2=\"16\"/>\n"
    "    </moveables>\n"
    "  </game>\n"
    "</catalog>\n";

}  // namespace

TEST(TrCatalog, SectionNamesByVersionCode)
{
    const char* expected[] = {"", "TR1", "TR1", "TR2", "TR2", "TR3", "TR4", "TRC", ""};
    for (int v = 0; v <= 8; ++v) EXPECT_EQ(TrCatalogSectionName(v), expected[v]) << v;
    EXPECT_EQ(TrCatalogSectionName(-1), "");
}

TEST(TrCatalog, DefaultsTouchOnlyTheirFields)
{
    TMoveableCatalog catalog{};
    catalog[3].X_ADJUST = 2;
    catalog[3].Y_ADJUST = 4;
    catalog[3].AI = 9;
    catalog[3].flag = 77;
    SetTrCatalogDefaults(catalog);
    EXPECT_EQ(catalog[0].name, "Moveable Id#0");
    EXPECT_EQ(catalog[599].name, "Moveable Id#599");
    EXPECT_EQ(catalog[3].ID2, -1);
    EXPECT_EQ(catalog[3].USE_BODY_FROM, -1);
    EXPECT_EQ(catalog[3].Y_ADJUST, 0);
    EXPECT_EQ(catalog[3].flag, 1);
    EXPECT_EQ(catalog[3].X_ADJUST, 2);  // kept
    EXPECT_EQ(catalog[3].AI, 9);        // kept
}

TEST_F(CatalogFile, OnlyTheSectionOfTheVersionIsRead)
{
    Load(kTwoGames, 1);
    EXPECT_EQ(catalog[0].name, "Lara");
    EXPECT_EQ(catalog[7].name, "Wolf");
    EXPECT_FLOAT_EQ(catalog[7].Y_ADJUST, 1.5f);
    EXPECT_EQ(catalog[15].name, "Moveable Id#15");
    EXPECT_EQ(catalog[15].flag, 1);

    Load(kTwoGames, 4);
    EXPECT_EQ(catalog[0].name, "Lara (TR2)");
    EXPECT_EQ(catalog[7].name, "Moveable Id#7");
    EXPECT_EQ(catalog[7].Y_ADJUST, 0);
    EXPECT_EQ(catalog[15].name, "Doberman");
    EXPECT_EQ(catalog[15].USE_BODY_FROM, 7);
    EXPECT_EQ(catalog[15].ID2, 16);

    // Unknown codes and games without a section leave the defaults.
    for (int v : {0, 5, 6, 7, 8}) {
        Load(kTwoGames, v);
        EXPECT_EQ(catalog[0].name, "Moveable Id#0") << v;
    }
}

TEST_F(CatalogFile, OneAttributeIdSetsAdjustmentsAndKeepsTheDefaultName)
{
    catalog[5].X_ADJUST = 3;
    catalog[5].AI = 4;
    Load("<c><game v='TR4'><moveables><m ID='5'/></moveables></game></c>", 6);
    EXPECT_EQ(catalog[5].name, "Moveable Id#5");
    EXPECT_EQ(catalog[5].X_ADJUST, 0);
    EXPECT_EQ(catalog[5].AI, 0);
    EXPECT_EQ(catalog[5].USE_BODY_FROM, -1);
    EXPECT_EQ(catalog[5].ID2, -1);
}

TEST_F(CatalogFile, AllFieldsAreRead)
{
    Load("<c><game n='TRC'><moveables>"
         "<m ID='12' NAME='Guard' USE_BODY_FROM='11' ID2='13' X_ADJUST='1.25' Y_ADJUST='-2' Z_ADJUST='3e1'"
         " RX_ADJUST='90' RY_ADJUST='.5' RZ_ADJUST='-0.75' AI='65537'/>"
         "</moveables></game></c>",
         7);
    const tmovable_record& m = catalog[12];
    EXPECT_EQ(m.name, "Guard");
    EXPECT_EQ(m.USE_BODY_FROM, 11);
    EXPECT_EQ(m.ID2, 13);
    EXPECT_FLOAT_EQ(m.X_ADJUST, 1.25f);
    EXPECT_FLOAT_EQ(m.Y_ADJUST, -2.0f);
    EXPECT_FLOAT_EQ(m.Z_ADJUST, 30.0f);
    EXPECT_FLOAT_EQ(m.RX_ADJUST, 90.0f);
    EXPECT_FLOAT_EQ(m.RY_ADJUST, 0.5f);
    EXPECT_FLOAT_EQ(m.RZ_ADJUST, -0.75f);
    EXPECT_EQ(m.AI, 1);  // the AI word keeps the low 16 bits
    EXPECT_EQ(m.flag, 1);
}

TEST_F(CatalogFile, AttributeNamesIgnoreCaseTagNamesDoNot)
{
    Load("<c><game id='TR3'><moveables><m id='4' name='lower' y_adjust='2'/></moveables></game></c>", 5);
    EXPECT_EQ(catalog[4].name, "lower");
    EXPECT_FLOAT_EQ(catalog[4].Y_ADJUST, 2.0f);

    Load("<c><Game id='TR3'><moveables><m ID='4' NAME='x'/></moveables></Game></c>", 5);
    EXPECT_EQ(catalog[4].name, "Moveable Id#4");
    Load("<c><game id='TR3'><Moveables><m ID='4' NAME='x'/></Moveables></game></c>", 5);
    EXPECT_EQ(catalog[4].name, "Moveable Id#4");
}

TEST_F(CatalogFile, TheFirstAttributeInSortedOrderNamesTheGame)
{
    // "name" sorts before "version", whatever the order in the file.
    Load("<c><game version='TR1' name='TR2'><moveables><m ID='1' NAME='two'/></moveables></game></c>", 3);
    EXPECT_EQ(catalog[1].name, "two");
    Load("<c><game version='TR1' name='TR2'><moveables><m ID='1' NAME='two'/></moveables></game></c>", 1);
    EXPECT_EQ(catalog[1].name, "Moveable Id#1");
    // A game tag without attributes matches nothing, not even an unknown version.
    Load("<c><game><moveables><m ID='1' NAME='x'/></moveables></game></c>", 9);
    EXPECT_EQ(catalog[1].name, "Moveable Id#1");
    Load("<c><game id=''><moveables><m ID='1' NAME='x'/></moveables></game></c>", 9);
    EXPECT_EQ(catalog[1].name, "Moveable Id#1");
}

TEST_F(CatalogFile, DepthRules)
{
    // "moveables" directly under the root, or "game" below the root's children, open nothing.
    Load("<c><moveables><m ID='1' NAME='a'/></moveables>"
         "<x><game id='TR1'><moveables><m ID='2' NAME='b'/></moveables></game></x>"
         "<game id='TR1'><x><moveables><m ID='3' NAME='c'/></moveables></x></game></c>",
         1);
    EXPECT_EQ(catalog[1].name, "Moveable Id#1");
    EXPECT_EQ(catalog[2].name, "Moveable Id#2");
    EXPECT_EQ(catalog[3].name, "Moveable Id#3");
    // Empty tags of any name and depth inside "moveables" count; those beside it do not.
    Load("<c><game id='TR1'><m ID='4' NAME='beside'/><moveables><g><deep ID='5' NAME='deep'/></g>"
         "<any ID='6' NAME='any'/></moveables></game></c>",
         1);
    EXPECT_EQ(catalog[4].name, "Moveable Id#4");
    EXPECT_EQ(catalog[5].name, "deep");
    EXPECT_EQ(catalog[6].name, "any");
}

TEST_F(CatalogFile, ReadingStopsAtTheEndOfTheFirstMatchingMoveables)
{
    Load("<c>"
         "<game id='TR1'><moveables><m ID='1' NAME='first'/></moveables>"
         "<moveables><m ID='2' NAME='second list'/></moveables></game>"
         "<game id='TR1'><moveables><m ID='1' NAME='again'/><m ID='3' NAME='third'/></moveables></game>"
         "</c>",
         1);
    EXPECT_EQ(catalog[1].name, "first");
    EXPECT_EQ(catalog[2].name, "Moveable Id#2");
    EXPECT_EQ(catalog[3].name, "Moveable Id#3");
    // A matching game without "moveables" lets a later one with the same name be read.
    Load("<c><game id='TR1'><other/></game><game id='TR1'><moveables><m ID='1' NAME='later'/></moveables></game></c>",
         1);
    EXPECT_EQ(catalog[1].name, "later");
}

TEST_F(CatalogFile, OutOfRangeAndMissingIdsAreIgnored)
{
    Load("<c><game id='TR1'><moveables><m ID='-1' NAME='neg'/><m ID='600' NAME='big'/><m NAME='noid'/>"
         "<m ID='599' NAME='last' USE_BODY_FROM='600' ID2='-1'/><m ID='598' USE_BODY_FROM='-5'/></moveables></game></c>",
         1);
    EXPECT_EQ(catalog[599].name, "last");
    // A body source the catalog cannot hold is not taken.
    EXPECT_EQ(catalog[599].USE_BODY_FROM, -1);
    EXPECT_EQ(catalog[598].USE_BODY_FROM, -1);
    EXPECT_EQ(catalog[0].name, "Moveable Id#0");
}

TEST_F(CatalogFile, EntriesNotListedKeepAdjustmentsFromAnEarlierLoad)
{
    Load("<c><game id='TR1'><moveables><m ID='8' X_ADJUST='1' Y_ADJUST='2' Z_ADJUST='3' RX_ADJUST='4'"
         " RY_ADJUST='5' RZ_ADJUST='6' AI='7' NAME='n'/></moveables></game></c>",
         1);
    Load("<c/>", 1);
    EXPECT_EQ(catalog[8].name, "Moveable Id#8");
    EXPECT_EQ(catalog[8].Y_ADJUST, 0);  // reset by the defaults
    EXPECT_EQ(catalog[8].X_ADJUST, 1);
    EXPECT_EQ(catalog[8].Z_ADJUST, 3);
    EXPECT_EQ(catalog[8].RX_ADJUST, 4);
    EXPECT_EQ(catalog[8].RY_ADJUST, 5);
    EXPECT_EQ(catalog[8].RZ_ADJUST, 6);
    EXPECT_EQ(catalog[8].AI, 7);
}

TEST_F(CatalogFile, MissingFileChangesNothing)
{
    catalog[2].name = "kept";
    catalog[2].flag = 42;
    LoadTrCatalog(catalog, dir.file("absent.xml"), 1);
    EXPECT_EQ(catalog[2].name, "kept");
    EXPECT_EQ(catalog[2].flag, 42);
}

TEST_F(CatalogFile, UnreadableFileLeavesTheDefaults)
{
    catalog[2].name = "old";
    LoadTrCatalog(catalog, dir.path(), 1);  // a folder is no catalog file: nothing changes
    EXPECT_EQ(catalog[2].name, "old");
    Load(std::string(1, '\0') + "<c><game id='TR1'><moveables><m ID='2' NAME='x'/></moveables></game></c>", 1);
    EXPECT_EQ(catalog[2].name, "Moveable Id#2");
    if (::geteuid() != 0) {
        catalog[2].name = "old";
        const std::string name = dir.file("locked.xml");
        WriteFileBytes(name, "<c/>", 4);
        ASSERT_EQ(::chmod(name.c_str(), 0), 0);
        LoadTrCatalog(catalog, name, 1);
        EXPECT_EQ(catalog[2].name, "Moveable Id#2");
    }
}

TEST_F(CatalogFile, BadNumbersRaiseAConversionErrorAndKeepEarlierEntries)
{
    const std::string doc =
        "<c><game id='TR1'><moveables><m ID='1' NAME='ok'/><m ID='x2' NAME='bad'/>"
        "<m ID='3' NAME='after'/></moveables></game></c>";
    EXPECT_THROW(Load(doc, 1), EConvertError);
    EXPECT_EQ(catalog[1].name, "ok");
    EXPECT_EQ(catalog[3].name, "Moveable Id#3");
    try {
        Load(doc, 1);
    } catch (const EConvertError& e) {
        EXPECT_STREQ(e.what(), "'x2' is not a valid integer value");
    }
    EXPECT_THROW(Load("<c><game id='TR1'><moveables><m ID='1' Y_ADJUST='1,5'/></moveables></game></c>", 1),
                 EConvertError);
    EXPECT_THROW(Load("<c><game id='TR1'><moveables><m ID='1' Y_ADJUST='1e99'/></moveables></game></c>", 1),
                 EConvertError);
    EXPECT_THROW(Load("<c><game id='TR1'><moveables><m ID='99999999999'/></moveables></game></c>", 1),
                 EConvertError);
}

TEST_F(CatalogFile, MalformedDocumentsDoNotHang)
{
    const char* docs[] = {
        "<c><game id='TR1'><moveables><m ID='1' NAME='unterminated",
        "<c><game id='TR1'><moveables><m ID='1' NAME='a'/>",
        "</c></c></c><game id='TR1'><moveables><m ID='1' NAME='a'/></moveables>",
        "<c><game id='TR1'><moveables><m ID='1' NAME=\"&e;\"/></moveables></game></c>",
        "<!DOCTYPE c [<!ENTITY e '&e;&e;'>]><c><game id='TR1'><moveables><m ID='1' NAME='&e;'/></moveables></game></c>",
        "",
    };
    for (const char* doc : docs) {
        Load(doc, 1);
        EXPECT_LE(catalog[1].name.size(), 64u) << doc;
    }
}

TEST_F(CatalogFile, EntitiesAndUtf8NamesAreResolved)
{
    Load("<?xml version='1.0' encoding='UTF-8'?>\n"
         "<!DOCTYPE c [ <!ENTITY tr 'TR1'> <!ENTITY lara 'Lara Croft'> ]>\n"
         "<c><game id='&tr;'><moveables><m ID='0' NAME='&lara;'/><m ID='1' NAME='Caf\xC3\xA9 &amp; co'/>"
         "</moveables></game></c>",
         1);
    EXPECT_EQ(catalog[0].name, "Lara Croft");
    EXPECT_EQ(catalog[1].name, "Caf\xE9 & co");
}

TEST(StrConv, IntegersAndFloats)
{
    EXPECT_EQ(StrToInt("42"), 42);
    EXPECT_EQ(StrToInt("  -7"), -7);
    EXPECT_EQ(StrToInt("+3"), 3);
    EXPECT_EQ(StrToInt("$1F"), 31);
    EXPECT_EQ(StrToInt("0x10"), 16);
    EXPECT_EQ(StrToInt("-2147483648"), INT32_MIN);
    EXPECT_EQ(StrToInt("2147483647"), INT32_MAX);
    for (const char* bad : {"", " ", "-", "1 ", "1.0", "2147483648", "12a", "$", "0x", "$1FFFFFFFF"})
        EXPECT_THROW(StrToInt(bad), EConvertError) << bad;

    EXPECT_DOUBLE_EQ(StrToFloat("1.5"), 1.5);
    EXPECT_DOUBLE_EQ(StrToFloat(" -0.25 "), -0.25);
    EXPECT_DOUBLE_EQ(StrToFloat("3"), 3.0);
    EXPECT_DOUBLE_EQ(StrToFloat(".5"), 0.5);
    EXPECT_DOUBLE_EQ(StrToFloat("5."), 5.0);
    EXPECT_DOUBLE_EQ(StrToFloat("1E3"), 1000.0);
    EXPECT_DOUBLE_EQ(StrToFloat("1e-400"), 0.0);
    for (const char* bad : {"", ".", "e5", "1e", "1.5.2", "1,5", "inf", "nan", "0x10", "1e400", "- 1"})
        EXPECT_THROW(StrToFloat(bad), EConvertError) << bad;

    const char saved = DecimalSeparator;
    DecimalSeparator = ',';
    EXPECT_DOUBLE_EQ(StrToFloat("1,5"), 1.5);
    EXPECT_THROW(StrToFloat("1.5"), EConvertError);
    DecimalSeparator = saved;
}
