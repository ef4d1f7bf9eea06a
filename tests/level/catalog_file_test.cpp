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

using RawGames = std::map<std::string, std::map<int, std::map<std::string, std::string>>>;

// Every moveable element of the file: game -> id -> attributes. Also checks
// that no game lists an id twice and that each game lists its ids in
// ascending order, which keeps the file easy to maintain.
RawGames ReadRaw()
{
    RawGames games;
    TXmlParser xml;
    EXPECT_TRUE(xml.LoadFromFile(kCatalog, 0x40));
    std::string game;
    int previous = -1;
    while (xml.Scan()) {
        if (xml.CurPartType == ptStartTag && xml.CurName == "game") {
            game = xml.AttrValue(0);
            previous = -1;
        }
        if (xml.CurPartType == ptEmptyTag) {
            const int id = std::stoi(xml.AttrValue("ID"));
            EXPECT_EQ(games[game].count(id), 0u) << game << " lists id " << id << " twice";
            EXPECT_GT(id, previous) << game << " lists id " << id << " out of order";
            previous = id;
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

TEST(CatalogData, WellKnownObjectsOfTheFirstGame)
{
    const TMoveableCatalog tr1 = LoadFor(1);
    EXPECT_EQ(tr1[7].name, "Wolf");
    EXPECT_EQ(tr1[8].name, "Bear");
    EXPECT_EQ(tr1[12].name, "Lion");
    EXPECT_EQ(tr1[18].name, "Tyrannosaurus");
    EXPECT_EQ(tr1[24].name, "Mummy");
    EXPECT_EQ(tr1[27].name, "Larson");
    EXPECT_EQ(tr1[28].name, "Pierre");
    EXPECT_EQ(tr1[33].name, "Natla");
    EXPECT_EQ(tr1[38].name, "Boulder");
    EXPECT_EQ(tr1[55].name, "Wall switch");
    EXPECT_EQ(tr1[57].name, "Door 1");
    EXPECT_EQ(tr1[83].name, "Save crystal");
    EXPECT_EQ(tr1[84].name, "Pistols (pick-up)");
    EXPECT_EQ(tr1[84].USE_BODY_FROM, 99);
    EXPECT_EQ(tr1[99].name, "Pistols (inventory)");
    EXPECT_EQ(tr1[110].name, "Puzzle item 1 (pick-up)");
    EXPECT_EQ(tr1[110].USE_BODY_FROM, 114);
    EXPECT_EQ(tr1[118].name, "Puzzle hole 1 (empty)");
    EXPECT_EQ(tr1[118].ID2, 122);
    EXPECT_EQ(tr1[128].name, "Midas hand");
    EXPECT_EQ(tr1[129].name, "Key 1 (pick-up)");
    EXPECT_EQ(tr1[129].USE_BODY_FROM, 133);
    EXPECT_EQ(tr1[137].name, "Keyhole 1");
    EXPECT_EQ(tr1[169].name, "Camera target");
}

TEST(CatalogData, WellKnownObjectsOfTheSecondGame)
{
    const TMoveableCatalog tr2 = LoadFor(3);
    EXPECT_EQ(tr2[2].name, "Lara's ponytail");
    EXPECT_EQ(tr2[13].name, "Red snowmobile");
    EXPECT_EQ(tr2[14].name, "Speedboat");
    EXPECT_EQ(tr2[15].name, "Doberman");
    EXPECT_EQ(tr2[25].name, "Shark");
    EXPECT_EQ(tr2[39].name, "Tiger");
    EXPECT_EQ(tr2[40].name, "Marco Bartoli");
    EXPECT_EQ(tr2[45].name, "Yeti");
    EXPECT_EQ(tr2[106].name, "Door 1");
    EXPECT_EQ(tr2[135].name, "Pistols (pick-up)");
    EXPECT_EQ(tr2[135].USE_BODY_FROM, 157);
    EXPECT_EQ(tr2[157].name, "Pistols (inventory)");
    EXPECT_EQ(tr2[174].name, "Puzzle item 1 (pick-up)");
    EXPECT_EQ(tr2[182].ID2, 186);
    EXPECT_EQ(tr2[190].name, "Secret 1 (stone dragon)");
    EXPECT_EQ(tr2[193].name, "Key 1 (pick-up)");
    EXPECT_EQ(tr2[193].USE_BODY_FROM, 197);
    EXPECT_EQ(tr2[201].name, "Keyhole 1");
    EXPECT_EQ(tr2[242].name, "Body part");
    EXPECT_EQ(tr2[243].name, "Camera target");
    EXPECT_EQ(tr2[245].name, "Projectile 1");
    EXPECT_EQ(tr2[260].name, "Winston (the butler)");
}

TEST(CatalogData, WellKnownObjectsOfTheThirdGame)
{
    const TMoveableCatalog tr3 = LoadFor(5);
    EXPECT_EQ(tr3[2].name, "Lara's ponytail");
    EXPECT_EQ(tr3[14].name, "Kayak");
    EXPECT_EQ(tr3[16].name, "Quad bike");
    EXPECT_EQ(tr3[28].name, "Tiger");
    EXPECT_EQ(tr3[36].name, "Puna");
    EXPECT_EQ(tr3[47].USE_BODY_FROM, 44);
    EXPECT_EQ(tr3[49].name, "Willard (spider)");
    EXPECT_EQ(tr3[57].name, "Sophia Lee");
    EXPECT_EQ(tr3[70].name, "Shiva");
    EXPECT_EQ(tr3[73].name, "Tony Firehands");
    EXPECT_EQ(tr3[74].name, "AI guard");
    EXPECT_EQ(tr3[76].name, "AI patrol 1");
    EXPECT_EQ(tr3[82].name, "Lara start position");
    EXPECT_EQ(tr3[83].name, "Collapsible floor");
    EXPECT_EQ(tr3[100].name, "Pushable block 4");
}

TEST(CatalogData, WellKnownObjectsOfTheFourthGameAndChronicles)
{
    const TMoveableCatalog tr4 = LoadFor(6);
    EXPECT_EQ(tr4[30].name, "Lara's hair");
    EXPECT_EQ(tr4[31].name, "Motorbike");
    EXPECT_EQ(tr4[32].name, "Jeep");
    EXPECT_EQ(tr4[35].name, "Skeleton");
    EXPECT_EQ(tr4[37].name, "Guide");
    EXPECT_EQ(tr4[39].name, "Von Croy");
    EXPECT_EQ(tr4[45].name, "Seth");
    EXPECT_EQ(tr4[47].name, "Mummy");
    EXPECT_EQ(tr4[55].name, "Scorpion");
    EXPECT_EQ(tr4[69].USE_BODY_FROM, 67);
    EXPECT_EQ(tr4[93].name, "Hammerhead shark");
    EXPECT_EQ(tr4[102].name, "Ahmet");
    EXPECT_EQ(tr4[175].name, "Puzzle item 1");
    EXPECT_EQ(tr4[203].name, "Key 1");
    EXPECT_EQ(tr4[260].name, "Puzzle hole 1");
    EXPECT_EQ(tr4[260].ID2, 272);
    EXPECT_EQ(tr4[284].name, "Key hole 1");
    EXPECT_EQ(tr4[349].name, "Pistols");
    EXPECT_EQ(tr4[356].name, "Crossbow");
    EXPECT_EQ(tr4[368].name, "Large medipack");
    EXPECT_EQ(tr4[398].name, "AI guard");
    EXPECT_EQ(tr4[406].name, "Lara start position");
    EXPECT_EQ(tr4[422].name, "Camera target");
    EXPECT_EQ(tr4[427].name, "Animating 1");
    EXPECT_EQ(tr4[459].name, "Horizon");

    const TMoveableCatalog trc = LoadFor(7);
    EXPECT_EQ(trc[4].name, "Grappling gun animation");
    EXPECT_EQ(trc[5].name, "HK gun animation");
    EXPECT_EQ(trc[30].name, "Lara's hair");
}

// The reader takes every entry the file lists for the game, and nothing of
// another game: each listed name arrives at its id, every other id keeps its
// default name.
TEST(CatalogData, TheReaderTakesExactlyTheGamesEntries)
{
    const RawGames games = ReadRaw();
    for (int version = 1; version <= 7; ++version) {
        const std::string section = TrCatalogSectionName(version);
        ASSERT_EQ(games.count(section), 1u) << version;
        const auto& listed = games.at(section);
        const TMoveableCatalog catalog = LoadFor(version);
        for (int id = 0; id < TR_CATALOG_SIZE; ++id) {
            const tmovable_record& entry = catalog[static_cast<size_t>(id)];
            const auto it = listed.find(id);
            if (it == listed.end()) {
                EXPECT_EQ(entry.name, "Moveable Id#" + std::to_string(id)) << section;
                EXPECT_EQ(entry.USE_BODY_FROM, -1) << section << " " << id;
                EXPECT_EQ(entry.ID2, -1) << section << " " << id;
                continue;
            }
            EXPECT_EQ(entry.name, it->second.at("NAME")) << section << " " << id;
            const auto body = it->second.find("USE_BODY_FROM");
            EXPECT_EQ(entry.USE_BODY_FROM, body == it->second.end() ? -1 : std::stoi(body->second))
                << section << " " << id;
            const auto id2 = it->second.find("ID2");
            EXPECT_EQ(entry.ID2, id2 == it->second.end() ? -1 : std::stoi(id2->second)) << section << " " << id;
        }
    }
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
