#include "editor/editor_state.h"

#include "display/camera.h"
#include "display/dib_picture.h"
#include "display/dib_viewer.h"
#include "display/viewport.h"
#include "level/trlevel.h"
#include "scene/scene.h"

TMain_Form* Main_Form = nullptr;
tcuarto_list Project;
std::unique_ptr<Ttrlevel> BasefileLevel;
Tmesh_list BasefileMeshes;
TMoveableCatalog MoveableCatalog{};
std::unique_ptr<tr_scene> Scene;
std::unique_ptr<TGLViewport> Viewport;
std::unique_ptr<TGLCamera> Camera;
std::unique_ptr<TBitmap> PanelBitmap;
std::unique_ptr<TDIBPicture> PanelDIB;
std::unique_ptr<TDIBViewer> PanelView;
std::unique_ptr<TDIBPicture> MapBackDIB;
std::unique_ptr<TDIBPicture> MapDIB;
std::unique_ptr<TDIBPicture> MapCacheDIB;
std::unique_ptr<TDIBViewer> MapView;
std::unique_ptr<TDIBPicture> GridDIB;
std::unique_ptr<TDIBPicture> GridBackDIB;
std::unique_ptr<TDIBViewer> GridView;
std::string AppDir;
std::string ProjectFileName;
TProgressBar* ProgressGauge = nullptr;
int32_t NextItemNumber = 0;
bool SpinGuard = false;

void ReleaseEditorState()
{
    // The viewport gives its host control its handlers back, so it goes
    // while the window's controls still exist.
    Viewport.reset();
    Camera.reset();
    GridView.reset();
    GridBackDIB.reset();
    GridDIB.reset();
    MapView.reset();
    MapCacheDIB.reset();
    MapDIB.reset();
    MapBackDIB.reset();
    PanelView.reset();
    PanelDIB.reset();
    PanelBitmap.reset();
    Scene.reset();
    BasefileLevel.reset();
    Project = tcuarto_list{};
    BasefileMeshes = Tmesh_list{};
    MoveableCatalog = TMoveableCatalog{};
    ProjectFileName.clear();
    ProgressGauge = nullptr;
    NextItemNumber = 0;
    SpinGuard = false;
}
