// The File menu's loaders of the material a project is built on: the
// Basefile (a game level with its meshes, object names and texture pages)
// and the Texturesfile (a picture cut into the texture panel's pages).
#include <memory>

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
    // The level is read beside the loaded one, so that a file the reader
    // refuses leaves the loaded level, its meshes, names and lists as they
    // were.
    auto level = std::make_unique<Ttrlevel>();
    const int result = level->LoadFromFile(Cp1252ToFileName(fileName), false);
    if (result != LEVEL_LOADED) {
        ShowMessage(result == LEVEL_NO_FILE ? BASEFILE_MISSING_TEXT : LEVEL_DAMAGED_TEXT);
        return false;
    }
    BasefileLevel = std::move(level);
    Scene->Level = BasefileLevel.get();
    const Ttrlevel& L = *BasefileLevel;
    if (chosen) Project.basefilePath = fileName;

    BuildMeshList(BasefileMeshes, L);
    ListBox1->ClearItems();
    const std::size_t statics = std::min<std::size_t>(L.num_static_meshes, L.static_meshes.size());
    for (std::size_t i = 0; i < statics; ++i) ListBox1->AddItem("Static Mesh#" + std::to_string(i));
    ListBox1->SetItemIndex(0);

    SetTrCatalogDefaults(MoveableCatalog);
    LoadTrCatalog(MoveableCatalog, AppDir + "trcatalog.xml", L.version_code);

    // Each object's entry learns where its moveable lies in the level; the
    // scene draws items with that moveable.
    ListBox2->ClearItems();
    ListBox3->ClearItems();
    const std::size_t moveables = std::min<std::size_t>(L.num_moveables, L.moveables.size());
    for (std::size_t i = 0; i < moveables; ++i) {
        const uint32_t id = L.moveables[i].object_id;
        const int asInt = id < static_cast<uint32_t>(TR_CATALOG_SIZE) ? static_cast<int>(id) : -1;
        const std::string name = asInt >= 0 ? MoveableCatalog[id].name : "Moveable Id#" + std::to_string(id);
        ListBox2->AddItem(name);
        ListBox3->AddItem(name);
        if (asInt >= 0) MoveableCatalog[id].flag = static_cast<uint16_t>(i);
    }
    ListBox2->SetItemIndex(0);
    ListBox3->SetItemIndex(0);

    ListBox4Click();

    Memo2->ClearLines();
    for (const std::string& line : BasefileInfoLines(L)) Memo2->AddLine(line);
    const std::size_t items = std::min<std::size_t>(L.num_items, L.items.size());
    for (std::size_t i = 0; i < items; ++i) {
        const int16_t id = L.items[i].id;
        Memo3->AddLine("Item# " + std::to_string(i) + "-" + CatalogName(MoveableCatalog, id));
    }

    LoadLevelTextures(L, BASEFILE_FIRST_ID);
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
    std::unique_ptr<TBitmap> bitmap;
    {
        TPicture picture;
        picture.LoadFromFile(Cp1252ToFileName(fileName));
        if (!TexturesfileSizeFits(picture.Width(), picture.Height())) {
            ShowMessage(TEXTURESFILE_SIZE_TEXT);
            return false;
        }
        bitmap = LayTexturePages(*picture.Graphic());
    }
    // Everything new is made before the old panel goes.
    auto dib = std::make_unique<TDIBPicture>(bitmap->Width(), bitmap->Height(), dibFormat565, nullptr);
    if (chosen) Project.texturesfilePath = fileName;
    PanelView->SetDIB(dib.get());
    PanelDIB = std::move(dib);
    PanelBitmap = std::move(bitmap);

    // The textures are cut before the grid is drawn, so they never carry it.
    TextureBuffer->AddTexturePages(*PanelBitmap, TEXTURESFILE_FIRST_ID);
    DrawTexturePanelGrid(*PanelBitmap);
    PanelDIB->Canvas().Draw(0, 0, *PanelBitmap);
    PanelView->Paint();
    return true;
}
