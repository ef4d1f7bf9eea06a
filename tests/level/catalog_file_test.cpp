// The catalog file shipped beside the program.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>

#include "level/trcatalog.h"
#include "level/xmlscan.h"

namespace {

const std::string kCatalog = std::string(EDITOR_DATA_DIR) + "/trcatalog.xml";

TMoveableCatalog LoadFor(int version)
{
    TMoveableCatalog catalog{};
    LoadTrCatalog(catalog, kCatalog, version);
    return catalog;
}

bool Named(const tmovable_record& entry) { return entry.name.rfind("Moveable Id#", 0) != 0; }

// Every moveable element of the file: game -> id -> attributes.
std::map<std::string, std::map<int, std::map<std::string, std::string>>> ReadRaw()
{
    std::map<std::string, std::map<int, std::map<std::string, std::string>>> games;
    TXmlParser xml;
    EXPECT_TRUE(xml.LoadFromFile(kCatalog, 0x40));
    std::string game;
    while (xml.Scan()) {
        if (xml.CurPartType == ptStartTag && xml.CurName == "game") game = xml.AttrValue(0);
        if (xml.CurPartType == ptEmptyTag) {
            const int id = std::stoi(xml.AttrValue("ID"));
            EXPECT_EQ(games[game].count(id), 0u) << game << " lists id " << id << " twice";
            auto& attrs = games[game][id];
            for (int i = 0; i < xml.AttrCount(); ++i) attrs[xml.AttrName(i)] = xml.AttrValue(i);
        }
    }
    return games;
}

}  // namespace

TEST(CatalogData, LoadsForEveryVersionWithThePlayerAtIdZero)
{
    for (int version = 1; version <= 7; ++version) {
        const TMoveableCatalog catalog = LoadFor(version);
        EXPECT_EQ(catalog[0].name, "Lara") << version;
        int named = 0;
        for (const auto& entry : catalog) {
            named += Named(entry) ? 1 : 0;
            EXPECT_EQ(entry.flag, 1);
            EXPECT_GE(entry.USE_BODY_FROM, -1);
            EXPECT_LT(entry.USE_BODY_FROM, TR_CATALOG_SIZE);
        }
        EXPECT_GE(named, 30) << version;
    }
}

TEST(CatalogData, VersionsOfOneGameShareTheirSection)
{
    const TMoveableCatalog tr1 = LoadFor(1);
    const TMoveableCatalog tub = LoadFor(2);
    const TMoveableCatalog tr2 = LoadFor(3);
    const TMoveableCatalog trg = LoadFor(4);
    for (int id = 0; id < TR_CATALOG_SIZE; ++id) {
        EXPECT_EQ(tr1[static_cast<size_t>(id)].name, tub[static_cast<size_t>(id)].name);
        EXPECT_EQ(tr2[static_cast<size_t>(id)].name, trg[static_cast<size_t>(id)].name);
    }
}

TEST(CatalogData, WellKnownObjects)
{
    const TMoveableCatalog tr1 = LoadFor(1);
    EXPECT_EQ(tr1[7].name, "Wolf");
    EXPECT_EQ(tr1[8].name, "Bear");
    EXPECT_EQ(tr1[18].name, "Tyrannosaurus");
    EXPECT_EQ(tr1[27].name, "Larson");
    EXPECT_EQ(tr1[33].name, "Natla");
    EXPECT_EQ(tr1[55].name, "Wall switch");
    EXPECT_EQ(tr1[57].name, "Door 1");
    EXPECT_EQ(tr1[84].name, "Pistols (pick-up)");
    EXPECT_EQ(tr1[84].USE_BODY_FROM, 99);
    EXPECT_EQ(tr1[99].name, "Pistols (inventory)");
    EXPECT_EQ(tr1[129].name, "Key 1 (pick-up)");
    EXPECT_EQ(tr1[118].ID2, 122);

    const TMoveableCatalog tr2 = LoadFor(3);
    EXPECT_EQ(tr2[2].name, "Lara's ponytail");
    EXPECT_EQ(tr2[13].name, "Red snowmobile");
    EXPECT_EQ(tr2[14].name, "Speedboat");
    EXPECT_EQ(tr2[40].name, "Marco Bartoli");
    EXPECT_EQ(tr2[106].name, "Door 1");
    EXPECT_EQ(tr2[135].name, "Pistols (pick-up)");
    EXPECT_EQ(tr2[135].USE_BODY_FROM, 157);
    EXPECT_EQ(tr2[157].name, "Pistols (inventory)");
    EXPECT_EQ(tr2[193].name, "Key 1 (pick-up)");

    const TMoveableCatalog tr3 = LoadFor(5);
    EXPECT_EQ(tr3[2].name, "Lara's ponytail");
    EXPECT_EQ(tr3[16].name, "Quad bike");
    EXPECT_EQ(tr3[70].name, "Shiva");

    const TMoveableCatalog tr4 = LoadFor(6);
    EXPECT_EQ(tr4[30].name, "Lara's hair");
    EXPECT_EQ(tr4[31].name, "Motorbike");
    EXPECT_EQ(tr4[32].name, "Jeep");
    EXPECT_EQ(tr4[48].name, "Scorpion");
    EXPECT_EQ(tr4[55].USE_BODY_FROM, 54);
    EXPECT_EQ(tr4[406].name, "Lara start position");

    const TMoveableCatalog trc = LoadFor(7);
    EXPECT_EQ(trc[30].name, "Lara's hair");
}

TEST(CatalogData, EveryGameHasOneWellFormedSection)
{
    const auto games = ReadRaw();
    EXPECT_EQ(games.size(), 5u);
    for (const char* game : {"TR1", "TR2", "TR3", "TR4", "TRC"}) {
        ASSERT_EQ(games.count(game), 1u) << game;
        for (const auto& [id, attrs] : games.at(game)) {
            EXPECT_GE(id, 0);
            EXPECT_LT(id, TR_CATALOG_SIZE);
            ASSERT_EQ(attrs.count("NAME"), 1u) << game << " " << id;
            EXPECT_FALSE(attrs.at("NAME").empty());
            EXPECT_NE(attrs.at("NAME"), "none");
            // Body sources and alternatives name objects of the same game.
            for (const char* link : {"USE_BODY_FROM", "ID2"}) {
                if (!attrs.count(link)) continue;
                const int other = std::stoi(attrs.at(link));
                EXPECT_EQ(games.at(game).count(other), 1u) << game << " " << id << " " << link;
                EXPECT_NE(other, id);
            }
        }
    }
}
