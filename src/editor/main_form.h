// The editor's one window: its menus, the two tab rows with their pages,
// the middle band with the 3D panel, the texture panel, the room map and the
// room grid, and the status bar. The editor's long-lived state lives beside
// it in editor_state.h.
#pragma once

#include <QMainWindow>

#include <functional>
#include <optional>
#include <string>

#include "editor/controls.h"
#include "platform/gdi/controls.h"

class TDIBViewer;
struct titem;

class QAction;
class QLabel;
class TSurface;
class TPanel3D;
class THostArea;
class TScrollBarWidget;
class TControl;

class TMain_Form : public QMainWindow {
public:
    // Lays out the window and runs FormCreate. appDir is the program's
    // directory (ending with a separator) where the start-up files lie. An
    // error of FormCreate (a missing start-up picture) is reported in the
    // standard error box and the rest of the start-up is skipped; when the
    // start-up ends the process (no 3D device), ProcessEnding() says so
    // afterwards and the window is not to be shown.
    explicit TMain_Form(const std::string& appDir);
    ~TMain_Form() override;

    // ---- controls, named as the window's layout names them ----
    // Menu actions.
    QAction* FileNew = nullptr;
    QAction* FileOpen1 = nullptr;
    QAction* FileSave = nullptr;
    QAction* FileSaveAs1 = nullptr;
    QAction* FileExit1 = nullptr;
    QAction* FileOpen2 = nullptr;
    QAction* FileOpen3 = nullptr;

    TPageControl* PageControl1 = nullptr;
    TPageControl* PageControl2 = nullptr;

    // View
    TSpeedButton* SpeedButton1 = nullptr;   // "2D MAP"
    TSpeedButton* SpeedButton44 = nullptr;  // "Render Textured"
    TRadioButton* RadioButton1 = nullptr;   // "Texture Panel"
    TRadioButton* RadioButton2 = nullptr;   // "GridBox"
    TRadioButton* RadioButton5 = nullptr;   // "None"
    // Anim Textures
    TListBox* ListBox8 = nullptr;
    TListBox* ListBox9 = nullptr;
    // Textures Mode/QuickTriggers
    TComboBox* ComboBox2 = nullptr;
    // Memo
    TMemo* Memo1 = nullptr;
    TMemo* Memo2 = nullptr;
    TMemo* Memo3 = nullptr;
    // TR2VEL, top row
    QWidget* TabSheet1 = nullptr;
    TGauge* Gauge2 = nullptr;
    TGauge* Gauge3 = nullptr;
    TCheckBox* CheckBox21 = nullptr;
    TCheckBox* CheckBox22 = nullptr;
    TCheckBox* CheckBox23 = nullptr;
    TCheckBox* CheckBox24 = nullptr;
    TCheckBox* CheckBox25 = nullptr;
    TCheckBox* CheckBox26 = nullptr;
    TCheckBox* CheckBox27 = nullptr;

    // Rooms
    TListBox* ListBox4 = nullptr;
    TSpinEdit* SpinEdit8 = nullptr;         // room x
    TSpinEdit* SpinEdit9 = nullptr;         // room y
    TSpinEdit* SpinEdit10 = nullptr;        // room z
    TSpinEdit* SpinEdit11 = nullptr;        // neighbour room
    TSpeedButton* SpeedButton45 = nullptr;  // "CENTER CAMERA"
    TSpeedButton* SpeedButton47 = nullptr;  // "Hide Neighbors"
    TEdit* Edit2 = nullptr;
    TButton* Button26 = nullptr;            // "Show more neighbors"
    TRadioButton* RadioButton6 = nullptr;   // "Clear Text"
    TRadioButton* RadioButton11 = nullptr;  // "Draw Neighbors"
    TRadioButton* RadioButton12 = nullptr;  // "Draw All Rooms"
    TMemo* Memo5 = nullptr;                 // hidden scratch list
    // Objects, Statics Meshes
    TListBox* ListBox2 = nullptr;
    TListBox* ListBox1 = nullptr;
    // Triggers
    TListBox* ListBox5 = nullptr;
    TListBox* ListBox6 = nullptr;
    TComboBox* ComboBox3 = nullptr;
    TSpinEdit* SpinEdit3 = nullptr;
    TCheckBox* CheckBox1 = nullptr;
    TSpeedButton* SpeedButton27 = nullptr;
    TSpeedButton* SpeedButton28 = nullptr;
    TSpeedButton* SpeedButton29 = nullptr;
    TSpeedButton* SpeedButton30 = nullptr;
    TSpeedButton* SpeedButton31 = nullptr;
    TSpeedButton* SpeedButton98 = nullptr;
    // TR2VEL, bottom row
    QWidget* TabSheet15 = nullptr;
    TSpeedButton* SpeedButton99 = nullptr;  // "CREATE"
    TCheckBox* CheckBox6 = nullptr;
    TCheckBox* CheckBox12 = nullptr;
    TCheckBox* CheckBox13 = nullptr;
    TCheckBox* CheckBox14 = nullptr;
    TCheckBox* CheckBox15 = nullptr;
    TCheckBox* CheckBox16 = nullptr;
    TCheckBox* CheckBox17 = nullptr;
    TCheckBox* CheckBox18 = nullptr;
    TCheckBox* CheckBox19 = nullptr;
    TCheckBox* CheckBox20 = nullptr;
    // 2D Map
    TSpeedButton* SpeedButton43 = nullptr;  // Same Plane
    // Items Remap
    TListBox* CheckListBox2 = nullptr;
    TButton* Button1 = nullptr;  // "Find Item"
    TMemo* Memo4 = nullptr;
    TListBox* ListBox3 = nullptr;
    TSpinEdit* SpinEdit12 = nullptr;
    TButton* Button37 = nullptr;  // "Replace"
    TButton* Button38 = nullptr;  // "Replace All"

    // The middle band.
    TSurface* Surface = nullptr;     // the window's client surface between the tab rows
    TPanel3D* Panel1 = nullptr;      // the 3D panel
    THostArea* PT_Image1 = nullptr;  // the texture panel's area
    TScrollBarWidget* PT_ScrollBar1 = nullptr;
    THostArea* GR_Image1 = nullptr;  // the room map's area
    TScrollBarWidget* GR_ScrollBar1 = nullptr;
    TScrollBarWidget* GR_ScrollBar2 = nullptr;
    THostArea* GR_Image2 = nullptr;  // the room grid's area
    TGroupBox* GroupBox1 = nullptr;  // "Progress"
    TGauge* Gauge1 = nullptr;

    // The status bar's two panels.
    std::string StatusText(int panel) const;
    // FormCreate ran to its end (and FormClose has not run yet).
    bool Started() const { return started_; }
    void SetStatusText(int panel, const std::string& text);

    // ---- start-up and shut-down ----
    void FormCreate();
    void FormClose();
    void InitTexturePanel();
    void InitMapView();
    // The viewport's build callback: the scene rebuilds its dirty layers
    // while the 3D panel is shown.
    void SceneBuildCallback();
    // Repaints the 2D viewers whose areas are shown (the window's paint).
    void FormPaint();

    // ---- handlers of the pages ----
    // The resize rule: returns the size the window takes instead of the
    // proposed one and places the 3D panel for it.
    QSize FormCanResize(QSize proposed);
    void PageControl1Change();
    void PageControl2Change();
    void ListBox4Click();
    void SpinEdit11Change();
    void SpeedButton45Click();
    void SpeedButton44Click();
    void SpeedButton47Click();
    void Button26Click();
    void RadioButton6Click();
    void RadioButton11Click();
    void RadioButton12Click();
    void ListBox5Click();
    void ListBox8Click();
    void ListBox9Click();
    void RadioButton1Click();
    void RadioButton2Click();
    void RadioButton5Click();
    void ShowRoomPosition();
    // "CREATE" on the converter tab: a new project from the Basefile level.
    void SpeedButton99Click();

    // ---- the 2D room map and the room grid ----
    void RedrawMaps();
    void DrawMapRooms(bool samePlane);
    void DrawMapSelection();
    void CenterMapOnRoom();
    void DrawRoomGrid();
    // The click rule on the map: picks a room by the tie-breaks, makes it the
    // neighbour room (right button) or selects it in the room list (left),
    // then runs ListBox4Click. Returns the room picked, 0 for none.
    int PickRoomAt(int px, int py, bool rightButton, bool samePlane);
    void GR_Image1MouseDown(TMouseButton button, TShiftState shift, int x, int y);
    void SpeedButton1Click();
    void SpeedButton43Click();
    void GR_ScrollBar1Change();
    void GR_ScrollBar2Change();
    void PT_ScrollBar1Change();

    // ---- the File menu ----
    // What a file dialog of the window asks for. Filter: "description|patterns".
    struct TFileDialogRequest {
        bool Save = false;
        std::string Title;
        std::string Filter;
        std::string DefaultSuffix;
    };
    // Shows a file dialog; the chosen path, nothing when it was cancelled.
    // Starts as a modal Qt dialog; tests put an answer of their own here.
    std::function<std::optional<QString>(const TFileDialogRequest&)> FileDialog;
    // The commands; each Execute asks for a file and hands it to its
    // Accept, which takes the name as a record text.
    void FileNewExecute();
    void FileOpen1Execute();
    void FileOpen1Accept(const std::string& fileName);
    void FileSaveExecute();
    void FileSaveAs1Execute();
    void FileSaveAs1Accept(const std::string& fileName);
    void FileOpen2Execute();
    void FileOpen2Accept(const std::string& fileName);
    void FileOpen3Execute();
    void FileOpen3Accept(const std::string& fileName);
    // The Basefile and Texturesfile loaders. A chosen file's name becomes
    // the project's stored path once it has been read; a stored path is
    // left as it is. False when the file was refused (its message shown).
    // Running out of memory raises std::bad_alloc (or the bitmaps'
    // EOutOfResources) before anything loaded is replaced.
    bool LoadBasefile(const std::string& fileName, bool chosen);
    bool LoadTexturesfile(const std::string& fileName, bool chosen);
    // Appends the "Project Info" block to Memo1.
    void AddProjectInfo();
    // Refills the project item list; its last line selected or none.
    void FillItemList(bool selectLast);

    // ---- Items Remap ----
    void CheckListBox2Click();
    void Button1Click();
    void ListBox3Click();
    void Button37Click();
    void Button38Click();

protected:
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void BuildMenus();
    void BuildTopPages();
    void BuildBottomPages();
    void BuildRoomsPage();
    void BuildObjectsPage();
    void BuildStaticsPage();
    void BuildTriggersPage();
    void BuildConverterPage();
    void BuildMapPage();
    void BuildItemsRemapPage();
    void BuildMiddleBand();
    void BindHandlers();
    void BindPageHandlers();
    void BindTopPageHandlers();
    void BindBottomPageHandlers();
    void BindViewHandlers();
    // A handler that calls the method once the start-up has finished, and
    // does nothing before.
    THandler WhenStarted(void (TMain_Form::*handler)());
    void BindFileCommands();
    // The dialog's choice as a record text; nothing when cancelled or when
    // the path cannot be stored.
    std::optional<std::string> ChooseFile(const TFileDialogRequest& request);
    // Writes the project under the name with the progress shown.
    void SaveProjectAs(const std::string& fileName);
    // The item chosen in the item list, nullptr when none.
    titem* ChosenItem();
    // Centres the 3D view on the scene's room of interest (box, fit).
    void FitViewToRoom();
    // The 3D view's layers out of date, then one rebuild.
    void Redraw3D(std::initializer_list<int> parts);
    // Repaints a viewer when its area is shown.
    static void PaintView(TDIBViewer* view, const TControl* host);
    bool SpansWindow() const;

    std::string appDir_;
    QLabel* statusPanels_[2] = {nullptr, nullptr};
    QSize currentSize_;
    bool closed_ = false;
    bool started_ = false;  // FormCreate ran to its end
};
