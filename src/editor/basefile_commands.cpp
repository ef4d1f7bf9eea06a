// The File menu's loaders of the material a project is built on: the
// Basefile (a game level with its meshes, object names and texture pages)
// and the Texturesfile (a picture cut into the texture panel's pages).
#include <algorithm>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "display/dib_picture.h"
#include "display/dib_viewer.h"
#include "display/texture_store.h"
#include "editor/cp1252.h"
#include "editor/editor_state.h"
#include "editor/main_form.h"
#include "editor/project_commands.h"
#include "level/trcatalog.h"
#include "level/trlevel.h"
#include "platform/picture/picture.h"
#include "platform/rtl/messages.h"
#include "scene/level_textures.h"
#include "scene/mesh_list.h"
#include "scene/scene.h"

// ---- Basefile ----------------------------------------------------------------

void TMain_Form::FileOpen2Execute()
{
    if (auto name = ChooseFile({false, "Open", BASEFILE_FILTER, ""})) FileOpen2Accept(*name);
}

void TMain_Form::FileOpen2Accept(const std::string& fileName) { LoadBasefile(fileName, true); }

bool TMain_Form::LoadBasefile(const std::string& fileName, bool chosen)
{
    TBusyCursor busy;
    // Everything the level brings (its meshes, names, lines and texture
    // pages) is made beside what is loaded before anything of that is
    // replaced, so that a file the reader refuses, or one that runs out of
    // memory on the way, leaves the loaded level, its meshes, names, lists
    // and pages as they were.
    auto level = std::make_unique<Ttrlevel>();
    const int result = level->LoadFromFile(Cp1252ToFileName(fileName), false);
    if (result != LEVEL_LOADED) {
        ShowMessage(result == LEVEL_NO_FILE ? BASEFILE_MISSING_TEXT : LEVEL_DAMAGED_TEXT);
        return false;
    }
    const Ttrlevel& L = *level;

    Tmesh_list meshes;
    BuildMeshList(meshes, L);

    std::vector<std::string> statics;
    const std::size_t staticCount =
        std::min({std::size_t(L.num_static_meshes), L.static_meshes.size(), MAX_BASEFILE_LIST_LINES});
    statics.reserve(staticCount);
    for (std::size_t i = 0; i < staticCount; ++i) statics.push_back("Static Mesh#" + std::to_string(i));

    auto catalog = std::make_unique<TMoveableCatalog>(MoveableCatalog);
    SetTrCatalogDefaults(*catalog);
    LoadTrCatalog(*catalog, AppDir + "trcatalog.xml", L.version_code);

    // Each object's entry learns where its moveable lies in the level; the
    // scene draws items with that moveable.
    std::vector<std::string> moveables;
    const std::size_t moveableCount = std::min<std::size_t>(L.num_moveables, L.moveables.size());
    moveables.reserve(std::min(moveableCount, MAX_BASEFILE_LIST_LINES));
    for (std::size_t i = 0; i < moveableCount; ++i) {
        const uint32_t id = L.moveables[i].object_id;
        const bool known = id < static_cast<uint32_t>(TR_CATALOG_SIZE);
        if (i < MAX_BASEFILE_LIST_LINES)
            moveables.push_back(known ? (*catalog)[id].name : "Moveable Id#" + std::to_string(id));
        if (known) (*catalog)[id].flag = static_cast<uint16_t>(i);
    }

    const std::vector<std::string> info = BasefileInfoLines(L);
    std::vector<std::string> items;
    const std::size_t itemCount = std::min({std::size_t(L.num_items), L.items.size(), MAX_BASEFILE_LIST_LINES});
    items.reserve(itemCount);
    for (std::size_t i = 0; i < itemCount; ++i)
        items.push_back("Item# " + std::to_string(i) + "-" + CatalogName(*catalog, L.items[i].id));

    TTexturePageSet pages;
    if (TextureBuffer) pages = TextureBuffer->MakeTexturePages(*LevelTexturePicture(L, BASEFILE_FIRST_ID));
    // A page the device has no room for is memory run out like any other.
    if (!pages.Complete()) throw std::bad_alloc();

    // Nothing below makes anything large: the new level takes over.
    BasefileLevel = std::move(level);
    Scene->Level = BasefileLevel.get();
    if (chosen) Project.basefilePath = fileName;
    BasefileMeshes = std::move(meshes);
    MoveableCatalog = std::move(*catalog);
    if (TextureBuffer) TextureBuffer->PlaceTexturePages(std::move(pages), BASEFILE_FIRST_ID);

    ListBox1->ClearItems();
    ListBox1->AddItems(statics);
    ListBox1->SetItemIndex(0);
    ListBox2->ClearItems();
    ListBox3->ClearItems();
    ListBox2->AddItems(moveables);
    ListBox3->AddItems(moveables);
    ListBox2->SetItemIndex(0);
    ListBox3->SetItemIndex(0);

    ListBox4Click();

    Memo2->ClearLines();
    Memo2->AddLines(info);
    Memo3->AddLines(items);
    return true;
}

// ---- Texturesfile ------------------------------------------------------------

void TMain_Form::FileOpen3Execute()
{
    if (auto name = ChooseFile({false, "Open", TEXTURESFILE_FILTER, ""})) FileOpen3Accept(*name);
}

void TMain_Form::FileOpen3Accept(const std::string& fileName) { LoadTexturesfile(fileName, true); }

bool TMain_Form::LoadTexturesfile(const std::string& fileName, bool chosen)
{
    TBusyCursor busy;
    // Everything new (the laid-out panel, its picture and the texture
    // pages) is made before the old panel and pages go, so that a picture
    // that runs out of memory on the way leaves them as they were.
    std::unique_ptr<TBitmap> bitmap;
    {
        TPicture picture;
        picture.LoadFromFile(Cp1252ToFileName(fileName));
        if (const char* message = TexturesfileSizeMessage(picture.Width(), picture.Height())) {
            ShowMessage(message);
            return false;
        }
        bitmap = LayTexturePages(*picture.Graphic());
    }
    auto dib = std::make_unique<TDIBPicture>(bitmap->Width(), bitmap->Height(), dibFormat565, nullptr);
    // The textures are cut before the grid is drawn, so they never carry it.
    TTexturePageSet pages = TextureBuffer->MakeTexturePages(*bitmap);
    if (!pages.Complete()) throw std::bad_alloc();
    DrawTexturePanelGrid(*bitmap);
    dib->Canvas().Draw(0, 0, *bitmap);

    if (chosen) Project.texturesfilePath = fileName;
    PanelView->SetDIB(dib.get());
    PanelDIB = std::move(dib);
    PanelBitmap = std::move(bitmap);
    TextureBuffer->PlaceTexturePages(std::move(pages), TEXTURESFILE_FIRST_ID);
    PanelView->Paint();
    return true;
}
