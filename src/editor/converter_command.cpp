// The "CREATE" command of the converter tabs: the Basefile level becomes a
// new, unsaved project, and the lists, the room map, the "Project Info" memo
// and the 3D view show it.
#include "converter/level_converter.h"
#include "display/dib_picture.h"
#include "display/dib_viewer.h"
#include "editor/editor_state.h"
#include "editor/main_form.h"
#include "level/trlevel.h"
#include "platform/rtl/messages.h"
#include "scene/scene.h"

void TMain_Form::SpeedButton99Click()
{
    TConversionResult result;
    TConverterOptions options;
    {
        TBusyCursor busy;

        options.includeRoomFlags = CheckBox18->Checked();
        options.includeOutdoorFlag = CheckBox19->Checked();
        options.includeVerticalPortals = CheckBox12->Checked();
        options.includeSidePortals = CheckBox20->Checked();
        options.includeCeilingGeometry = CheckBox15->Checked();
        options.includeFloorGeometry = CheckBox16->Checked();
        options.includeItems = CheckBox13->Checked();
        options.includeTriggers = CheckBox6->Checked();
        options.includeStaticMeshes = CheckBox14->Checked();
        options.includeDeathSectors = CheckBox17->Checked();
        options.includeFloorAngles = CheckBox25->Checked();
        options.includeCeilingAngles = CheckBox24->Checked();
        options.doNotOverlapRooms = CheckBox26->Checked();
        options.doNotOverlapWaterRooms = CheckBox27->Checked();

        TConverterHooks hooks;
        hooks.Gauge2 = &Gauge2->Model;
        hooks.Gauge3 = &Gauge3->Model;
        hooks.ProjectReset = [this] {
            ListBox4->ClearItems();
            ListBox5->ClearItems();
            ListBox6->ClearItems();
            CheckListBox2->ClearItems();
            Memo1->ClearLines();
            ProjectFileName.clear();
            NextItemNumber = 0;
        };
        hooks.MapReset = [this] {
            MapDIB->Draw(*MapBackDIB);
            MapView->Paint();
            SpeedButton45Click();
        };
        hooks.RoomNamed = [this](const std::string& name) { ListBox4->AddItem(name); };
        hooks.RoomsConverted = [this] {
            ListBox4->SetItemIndex(Project.currentRoom - 1);
            TSpinGuardScope guard;
            SpinEdit11->SetValue(Project.neighbourRoom);
        };

        try {
            result = ConvertLevelToProject(*BasefileLevel, Project, *Scene, options, hooks);
        } catch (...) {
            // Running out of memory on the level's floor data leaves the
            // project as it was; the gauges go back to rest.
            Gauge2->Model.SetPosition(0);
            Gauge3->Model.SetPosition(0);
            throw;
        }

        FillItemList(true);
        AddProjectInfo();
        // The scratch list keeps the last room's side-portal exclusions.
        if (options.includeSidePortals && Project.roomCount > 0) {
            Memo5->ClearLines();
            for (const std::string& line : result.sidePortalExclusions) Memo5->AddLine(line);
        }

        GroupBox1->hide();
        Gauge2->Model.SetPosition(0);
    }
    FitViewToRoom();
    Redraw3D({0});
}
