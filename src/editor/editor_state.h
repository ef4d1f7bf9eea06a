// The editor's long-lived state: one of each for the whole run, beside the
// one window that works on it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "level/project_records.h"
#include "level/trcatalog.h"
#include "scene/mesh_list.h"

class TMain_Form;
class TProgressBar;
class Ttrlevel;
class tr_scene;
class TGLViewport;
class TGLCamera;
class TBitmap;
class TDIBPicture;
class TDIBViewer;

extern TMain_Form* Main_Form;
// The open project.
extern tcuarto_list Project;
// The loaded game level (the Basefile).
extern std::unique_ptr<Ttrlevel> BasefileLevel;
// The meshes of the Basefile.
extern Tmesh_list BasefileMeshes;
// Object names and adjustments by object id.
extern TMoveableCatalog MoveableCatalog;
// Builds the 3D layers.
extern std::unique_ptr<tr_scene> Scene;
// The 3D view on the panel Panel1, and its camera.
extern std::unique_ptr<TGLViewport> Viewport;
extern std::unique_ptr<TGLCamera> Camera;
// The texture panel.
extern std::unique_ptr<TBitmap> PanelBitmap;
extern std::unique_ptr<TDIBPicture> PanelDIB;
extern std::unique_ptr<TDIBViewer> PanelView;
// The 2D room map (background, shown picture, background with every room
// but the selected ones) and the room grid with its background.
extern std::unique_ptr<TDIBPicture> MapBackDIB;
extern std::unique_ptr<TDIBPicture> MapDIB;
extern std::unique_ptr<TDIBPicture> MapCacheDIB;
extern std::unique_ptr<TDIBViewer> MapView;
extern std::unique_ptr<TDIBPicture> GridDIB;
extern std::unique_ptr<TDIBPicture> GridBackDIB;
extern std::unique_ptr<TDIBViewer> GridView;
// The program's directory, ending with a path separator (a file system
// name); the start-up pictures and the object catalog lie there.
extern std::string AppDir;
// File name of the open project (a record text); empty when it has none.
extern std::string ProjectFileName;
// The gauge the project reader and writer step.
extern TProgressBar* ProgressGauge;
// The next item correlative number.
extern int32_t NextItemNumber;
// Set while code itself writes the room spin edits, so that the neighbour
// spin edit's change handler does nothing.
extern bool SpinGuard;

// Sets SpinGuard for its lifetime.
class TSpinGuardScope {
public:
    TSpinGuardScope() { SpinGuard = true; }
    ~TSpinGuardScope() { SpinGuard = false; }
    TSpinGuardScope(const TSpinGuardScope&) = delete;
    TSpinGuardScope& operator=(const TSpinGuardScope&) = delete;
};

// Frees the window's objects that outlive FormClose (viewers, map pictures,
// the viewport and its camera), in reverse order of their creation, and
// forgets the project.
void ReleaseEditorState();
