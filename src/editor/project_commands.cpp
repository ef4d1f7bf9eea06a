// The File menu: New, Open, Save and Save As of project files, the dialogs
// of every file command, and the lists and memo an opened project fills.
#include "editor/project_commands.h"

#include <QAction>
#include <QFileDialog>

#include "display/dib_picture.h"
#include "display/dib_viewer.h"
#include "editor/cp1252.h"
#include "editor/editor_state.h"
#include "editor/event_dispatch.h"
#include "editor/main_form.h"
#include "editor/surface.h"
#include "level/project_file.h"
#include "platform/rtl/messages.h"
#include "platform/rtl/sysutils.h"
#include "scene/scene.h"

namespace {

// The editor keeps no backups of its project files.
constexpr int BackupEvery = 0;
constexpr int BackupMax = 0;
int SaveCounter = 1;

// "description|patterns" as a Qt name filter: "description (patterns)".
QString QtFilter(const std::string& filter)
{
    const std::size_t bar = filter.find('|');
    if (bar == std::string::npos) return QString::fromLatin1(filter.c_str());
    std::string patterns = filter.substr(bar + 1);
    for (char& c : patterns)
        if (c == ';') c = ' ';
    return QString::fromLatin1((filter.substr(0, bar) + " (" + patterns + ")").c_str());
}

std::optional<QString> ShowFileDialog(QWidget* parent, const TMain_Form::TFileDialogRequest& request)
{
    QFileDialog dialog(parent, QString::fromLatin1(request.Title.c_str()));
    dialog.setAcceptMode(request.Save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(request.Save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    dialog.setNameFilter(QtFilter(request.Filter));
    if (!request.DefaultSuffix.empty()) dialog.setDefaultSuffix(QString::fromLatin1(request.DefaultSuffix.c_str()));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    return dialog.selectedFiles().first();
}

// The "Progress" group with its gauge shown while a project is read or
// written; the project steps the gauge meanwhile.
class TProgressDisplay {
public:
    explicit TProgressDisplay(TMain_Form& form) : form_(form)
    {
        ProgressGauge = &form.Gauge1->Model;
        Project.progressGauge = ProgressGauge;
        form.GroupBox1->show();
        if (form.GroupBox1->isVisible()) form.GroupBox1->repaint();
    }
    ~TProgressDisplay()
    {
        Project.progressGauge = nullptr;
        form_.GroupBox1->hide();
    }
    TProgressDisplay(const TProgressDisplay&) = delete;
    TProgressDisplay& operator=(const TProgressDisplay&) = delete;

private:
    TMain_Form& form_;
};

// Runs a loader of a file the project names; what goes wrong with that file
// is reported and the rest of the project's opening goes on.
template <class F>
void ReportAndGoOn(F&& loader)
{
    try {
        loader();
    } catch (const EProcessEnd&) {
        throw;
    } catch (const std::exception& e) {
        ShowException(e);
    }
}

}  // namespace

void TMain_Form::BindFileCommands()
{
    FileDialog = [this](const TFileDialogRequest& request) { return ShowFileDialog(this, request); };
    const std::pair<QAction*, void (TMain_Form::*)()> commands[] = {
        {FileNew, &TMain_Form::FileNewExecute},     {FileOpen1, &TMain_Form::FileOpen1Execute},
        {FileSave, &TMain_Form::FileSaveExecute},   {FileSaveAs1, &TMain_Form::FileSaveAs1Execute},
        {FileOpen2, &TMain_Form::FileOpen2Execute}, {FileOpen3, &TMain_Form::FileOpen3Execute},
    };
    for (const auto& [action, command] : commands) {
        action->setEnabled(true);
        connect(action, &QAction::triggered, this, [this, command = command] {
            Dispatch([this, command] {
                if (started_) (this->*command)();
            });
        });
    }
}

std::optional<std::string> TMain_Form::ChooseFile(const TFileDialogRequest& request)
{
    if (!FileDialog) return std::nullopt;
    const std::optional<QString> path = FileDialog(request);
    if (!path || path->isEmpty()) return std::nullopt;
    return DialogPathToCp1252(*path);
}

// ---- New ---------------------------------------------------------------------

void TMain_Form::FileNewExecute()
{
    ResetProject(Project);
    for (TListBox* list : {ListBox5, ListBox6, ListBox4, CheckListBox2, ListBox1, ListBox2, ListBox8, ListBox9})
        list->ClearItems();
    for (TMemo* memo : {Memo1, Memo2, Memo3}) memo->ClearLines();
    ComboBox2->SetItemIndex(0);
    Scene->RoomOfInterest = 1;

    Project.name = "";
    Project.basefilePath = "";
    Project.texturesfilePath = "";
    Project.scriptDirectory = "";
    Project.buildDirectory = "";
    Project.sparePath = "";
    Project.comments = NEW_PROJECT_COMMENT;
    ProjectFileName.clear();
    NextItemNumber = 0;

    MapDIB->Draw(*MapBackDIB);
    MapView->Paint();
    SpeedButton45Click();
}

// ---- Open --------------------------------------------------------------------

void TMain_Form::FileOpen1Execute()
{
    if (auto name = ChooseFile({false, "Open", PROJECT_FILE_FILTER, ""})) FileOpen1Accept(*name);
}

void TMain_Form::FileOpen1Accept(const std::string& fileName)
{
    SetStatusText(0, fileName);
    if (!FileExists(Cp1252ToFileName(fileName))) {
        ShowMessage(PROJECT_NOT_FOUND_TEXT);
        return;
    }
    // A file the reader refuses leaves the project as it was, and with it
    // the name a later Save writes to.
    const std::string previousName = ProjectFileName;
    ProjectFileName = fileName;
    TBusyCursor busy;
    TProgressDisplay progress(*this);
    int result = 1;
    try {
        result = LoadProject(Project, Cp1252ToFileName(ProjectFileName));
    } catch (...) {
        ProjectFileName = previousName;
        throw;
    }
    if (result != 0) {
        ProjectFileName = previousName;
        return;
    }

    NextItemNumber = NextItemNumberOf(Project);
    Scene->RoomOfInterest = Project.currentRoom;
    Project.rooms.resize(static_cast<std::size_t>(Project.roomCount) + 1);

    ListBox4->ClearItems();
    for (int n = 1; n <= Project.roomCount; ++n)
        ListBox4->AddItem(Project.rooms[static_cast<std::size_t>(n)].name.str());
    ListBox4->SetItemIndex(Project.currentRoom - 1);
    {
        TSpinGuardScope guard;
        SpinEdit11->SetValue(Project.neighbourRoom);
    }

    ListBox5->ClearItems();
    const int triggers = std::min<int>(Project.triggerCount, static_cast<int>(Project.triggers.size()));
    for (int i = 0; i < triggers; ++i) ListBox5->AddItem(Project.triggers[static_cast<std::size_t>(i)].name.str());
    ListBox5->SetItemIndex(ListBox5->Count() - 1);
    ListBox5Click();

    const std::string textures = TrimText(Project.texturesfilePath.str());
    if (!textures.empty()) {
        if (FileExists(Cp1252ToFileName(textures))) ReportAndGoOn([&] { LoadTexturesfile(textures, false); });
        else ShowMessage(TEXTURESFILE_NOT_FOUND_TEXT);
    }
    const std::string basefile = TrimText(Project.basefilePath.str());
    if (!basefile.empty()) {
        if (FileExists(Cp1252ToFileName(basefile))) ReportAndGoOn([&] { LoadBasefile(basefile, false); });
        else ShowMessage(BASEFILE_NOT_FOUND_TEXT);
    }

    ListBox8->ClearItems();
    const int sets = std::min<int>(Project.animSetCount, MAX_PROJECT_ANIM_SETS);
    for (int s = 1; s <= sets; ++s) ListBox8->AddItem("Animated Set #" + std::to_string(s));
    ListBox8->SetItemIndex(0);
    ListBox8Click();

    DrawRoomGrid();
    PaintView(GridView.get(), GR_Image2);
    SpeedButton45Click();

    AddProjectInfo();
    FillItemList(true);
}

void TMain_Form::AddProjectInfo()
{
    for (const std::string& line : ProjectInfoLines(Project)) Memo1->AddLine(line);
}

void TMain_Form::FillItemList(bool selectLast)
{
    CheckListBox2->ClearItems();
    const int count = std::min<int>(Project.itemCount, MAX_PROJECT_ITEMS);
    for (int i = 1; i <= count; ++i)
        CheckListBox2->AddItem(ItemListLine(Project.items[static_cast<std::size_t>(i)], MoveableCatalog));
    CheckListBox2->SetItemIndex(selectLast ? CheckListBox2->Count() - 1 : -1);
}

// ---- Save and Save As --------------------------------------------------------

void TMain_Form::SaveProjectAs(const std::string& fileName)
{
    {
        TBusyCursor busy;
        TProgressDisplay progress(*this);
        SaveProject(Project, Cp1252ToFileName(fileName), BackupEvery, BackupMax, SaveCounter);
    }
    SetStatusText(1, SAVED_AS_TEXT + ExtractFileName(fileName));
}

void TMain_Form::FileSaveExecute()
{
    if (TrimText(ProjectFileName).empty()) {
        FileSaveAs1Execute();
        return;
    }
    SaveProjectAs(ProjectFileName);
}

void TMain_Form::FileSaveAs1Execute()
{
    if (auto name = ChooseFile({true, "Save As", PROJECT_FILE_FILTER, PROJECT_FILE_EXTENSION}))
        FileSaveAs1Accept(*name);
}

void TMain_Form::FileSaveAs1Accept(const std::string& fileName)
{
    SaveProjectAs(fileName);
    ProjectFileName = fileName;
}
