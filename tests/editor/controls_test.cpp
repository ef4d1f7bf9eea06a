// The toolkit's event rules on the Qt controls, the handler boundary and the
// code page conversion.
#include <QCoreApplication>
#include <QListWidget>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include "editor/controls.h"
#include "editor/cp1252.h"
#include "editor/event_dispatch.h"
#include "editor/qt_message_sink.h"
#include "editor/surface.h"
#include "editor_fixture.h"

namespace {

// The application exists before the fixture's widgets.
struct WithApp {
    WithApp() { TestApp(); }
};

class ControlsTest : public ::testing::Test, private WithApp {
protected:
    void SetUp() override { ResetProcessEnd(); }
    void TearDown() override { ResetProcessEnd(); }
    TRecordingSink sink;
    TScopedMessageSink scoped{sink};
    QWidget parent;
};

TEST_F(ControlsTest, SpinEditAndScrollBarFireTheirChangeWhenCodeSetsANewValue)
{
    int spinChanges = 0, barChanges = 0;
    auto* spin = new TSpinEdit(&parent, "Spin", 0, 255);
    spin->OnChange = [&] { ++spinChanges; };
    spin->SetValue(7);
    spin->SetValue(7);  // the same value: no change
    spin->SetValue(300);  // clamped to the limit, a change
    EXPECT_EQ(spinChanges, 2);
    EXPECT_EQ(spin->Value(), 255);

    TSurface form(&parent, 0);
    auto* bar = new TScrollBarWidget(&form, "Bar", sbHorizontal);
    bar->OnChange = [&](TControl* sender) {
        EXPECT_EQ(sender, bar);
        ++barChanges;
    };
    bar->SetMax(500);
    bar->SetPosition(120);
    bar->SetPosition(120);
    EXPECT_EQ(barChanges, 1);
    bar->SetMax(100);  // the position follows the smaller range and that is a change
    EXPECT_EQ(bar->Position(), 100);
    EXPECT_EQ(barChanges, 2);
    EXPECT_THROW(bar->SetMax(-20), EScrollBarRange);
    EXPECT_EQ(bar->Max(), 100);
    // The user's move of the thumb fires too.
    bar->triggerAction(QAbstractSlider::SliderSingleStepSub);
    EXPECT_EQ(bar->Position(), 99);
    EXPECT_EQ(barChanges, 3);
    EXPECT_EQ(bar->Kind(), sbHorizontal);
    bar->SetKind(sbVertical);
    EXPECT_EQ(bar->orientation(), Qt::Vertical);
}

TEST_F(ControlsTest, HostAreasAreControlsOfTheSurface)
{
    TSurface form(&parent, 0x808000);
    auto* area = new THostArea(&form, "Area");
    area->SetBounds(10, 20, 406, 306);
    EXPECT_EQ(area->Left(), 10);
    EXPECT_EQ(area->Top(), 20);
    EXPECT_EQ(area->Width(), 406);
    EXPECT_EQ(area->Owner(), &form);
    int resized = 0, pressed = 0;
    area->OnResize = [&](TControl*) { ++resized; };
    area->OnMouseDown = [&](TControl*, TMouseButton b, TShiftState s, int x, int y) {
        EXPECT_EQ(b, mbRight);
        EXPECT_TRUE(InShift(s, ssShift));
        EXPECT_TRUE(InShift(s, ssRight));
        EXPECT_EQ(x, 5);
        EXPECT_EQ(y, 7);
        ++pressed;
    };
    area->SetBounds(10, 20, 400, 300);
    EXPECT_EQ(resized, 1);
    area->SetBounds(12, 22, 400, 300);  // moved only
    EXPECT_EQ(resized, 1);
    QTest::mousePress(area, Qt::RightButton, Qt::ShiftModifier, QPoint(5, 7));
    EXPECT_EQ(pressed, 1);
    area->SetVisible(false);
    EXPECT_FALSE(area->Visible());
}

TEST_F(ControlsTest, SurfaceShowsWhatIsDrawnOnItsCanvasOverItsColour)
{
    TSurface form(&parent, 0x808000);
    form.resize(50, 40);
    form.OnPaint = [&] {
        form.Canvas().Brush.Color = 0x0000FF;
        form.Canvas().FillRect(Rect(10, 10, 20, 20));
    };
    const QImage shot = form.grab().toImage();
    EXPECT_EQ(shot.pixel(15, 15) & 0xFFFFFF, 0xFF0000u);  // red
    EXPECT_EQ(shot.pixel(30, 30) & 0xFFFFFF, 0x008080u);  // teal
}

TEST_F(ControlsTest, SpinEditWithoutLimitsTakesAnyValue)
{
    auto* spin = new TSpinEdit(&parent, "Spin", 0, 0);
    spin->SetValue(-40000);
    EXPECT_EQ(spin->Value(), -40000);
    spin->SetValue(70000);
    EXPECT_EQ(spin->Value(), 70000);
}

TEST_F(ControlsTest, RadioButtonCheckedInCodeFiresItsClickOnce)
{
    auto* a = new TRadioButton(&parent, "A", "a");
    auto* b = new TRadioButton(&parent, "B", "b");
    int clicksA = 0, clicksB = 0;
    a->OnClick = [&] { ++clicksA; };
    b->OnClick = [&] { ++clicksB; };
    a->SetChecked(true);
    a->SetChecked(true);
    EXPECT_EQ(clicksA, 1);
    b->SetChecked(true);
    EXPECT_EQ(clicksB, 1);
    EXPECT_FALSE(a->Checked());
    EXPECT_EQ(clicksA, 1);  // being unchecked is no click
}

TEST_F(ControlsTest, ListComboTabsAndSpeedButtonsSetInCodeFireNothing)
{
    int fired = 0;
    auto* list = new TListBox(&parent, "List");
    list->OnClick = [&] { ++fired; };
    list->AddItem("one");
    list->AddItem("two");
    list->SetItemIndex(1);
    EXPECT_EQ(list->ItemIndex(), 1);
    list->SetItemIndex(-1);
    EXPECT_EQ(list->ItemIndex(), -1);
    list->ClearItems();

    auto* combo = new TComboBox(&parent, "Combo", {"a", "b"});
    combo->OnChange = [&] { ++fired; };
    combo->SetItemIndex(1);
    EXPECT_EQ(combo->ItemIndex(), 1);

    auto* tabs = new TPageControl(&parent, "Tabs");
    tabs->OnChange = [&] { ++fired; };
    tabs->AddPage("P1", "One");
    tabs->AddPage("P2", "Two");
    tabs->SetActivePageIndex(1);
    EXPECT_EQ(tabs->ActivePageIndex(), 1);

    auto* button = new TSpeedButton(&parent, "Toggle", "T", true);
    button->OnClick = [&] { ++fired; };
    button->SetDown(true);
    EXPECT_TRUE(button->Down());
    EXPECT_EQ(fired, 0);

    // The user's choices do fire.
    tabs->setCurrentIndex(0);
    button->click();
    EXPECT_FALSE(button->Down());
    EXPECT_EQ(fired, 2);
}

TEST_F(ControlsTest, ListBoxFiresOnceForAUsersClickAlsoOnTheChosenLine)
{
    parent.resize(200, 200);
    auto* list = new TListBox(&parent, "List");
    list->setGeometry(0, 0, 200, 200);
    for (const char* t : {"a", "b", "c"}) list->AddItem(t);
    int fired = 0;
    list->OnClick = [&] { ++fired; };
    parent.show();
    QCoreApplication::processEvents();

    const QPoint second = list->visualItemRect(list->item(1)).center();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, second);
    EXPECT_EQ(list->ItemIndex(), 1);
    EXPECT_EQ(fired, 1);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, second);
    EXPECT_EQ(fired, 2);
    QTest::keyClick(list, Qt::Key_Down);
    EXPECT_EQ(list->ItemIndex(), 2);
    EXPECT_EQ(fired, 3);
}

TEST_F(ControlsTest, MemoKeepsLinesAndJoinsThemAsCommaText)
{
    auto* memo = new TMemo(&parent, "Memo");
    EXPECT_EQ(memo->LineCount(), 0);
    memo->AddLine("3");
    memo->AddLine("12");
    memo->AddLine("two words");
    memo->AddLine("");
    EXPECT_EQ(memo->LineCount(), 4);
    EXPECT_EQ(memo->IndexOfLine("12"), 1);
    EXPECT_EQ(memo->IndexOfLine("4"), -1);
    EXPECT_EQ(memo->CommaText(), "3,12,\"two words\",\"\"");
    memo->ClearLines();
    EXPECT_EQ(memo->LineCount(), 0);
    EXPECT_EQ(memo->CommaText(), "");
}

TEST_F(ControlsTest, GaugeShowsEveryStepOfItsModel)
{
    auto* gauge = new TGauge(&parent, "Gauge", 150);
    gauge->Model.SetPosition(40);
    EXPECT_EQ(gauge->value(), 40);
    EXPECT_EQ(gauge->maximum(), 150);
    gauge->Model.SetMax(20);
    gauge->Model.SetPosition(99);
    EXPECT_EQ(gauge->value(), 20);
}

TEST_F(ControlsTest, HintsSplitIntoToolTipAndStatusTip)
{
    QWidget w;
    SetupControl(&w, "W", 1, 2, 30, 40, "Open|Opens an existing file");
    EXPECT_EQ(w.objectName(), "W");
    EXPECT_EQ(w.toolTip(), "Open");
    EXPECT_EQ(w.statusTip(), "Opens an existing file");
    EXPECT_EQ(w.geometry(), QRect(1, 2, 30, 40));
}

TEST_F(ControlsTest, HandlerErrorsAreReportedAndTheLoopGoesOn)
{
    int after = 0;
    Dispatch([] { throw std::runtime_error("Cannot open file \"x.vel\"."); });
    Dispatch([&] { ++after; });
    ASSERT_EQ(sink.exceptions.size(), 1u);
    EXPECT_EQ(sink.exceptions[0], "Cannot open file \"x.vel\".");
    EXPECT_EQ(after, 1);
    EXPECT_FALSE(ProcessEnding());
}

TEST_F(ControlsTest, HaltInsideAHandlerQuitsTheEventLoopWithItsCode)
{
    int later = 0;
    QTimer::singleShot(0, &parent, [] { Dispatch([] { Halt(3); }); });
    QTimer::singleShot(5, &parent, [&] { Dispatch([&] { ++later; }); });
    QTimer::singleShot(2000, &parent, [] { QCoreApplication::exit(99); });  // a safety net only
    const int code = QCoreApplication::exec();
    EXPECT_EQ(code, 3);
    EXPECT_TRUE(ProcessEnding());
    EXPECT_EQ(ProcessExitCode(), 3);
    ASSERT_EQ(sink.endCodes.size(), 1u);
    EXPECT_EQ(sink.endCodes[0], 3);
    // Nothing runs once the process is ending.
    Dispatch([&] { ++later; });
    EXPECT_EQ(later, 0);
}

TEST_F(ControlsTest, DialogSinkEndsTheProcessAndUnwindsOutOfAnOpenBox)
{
    TQtMessageSink dialogs;
    TScopedMessageSink useDialogs(dialogs);
    bool afterBox = false;
    // While the box is open the process is ended (as a failed recovery of the
    // 3D device does from a paint); the handler that opened the box must not
    // go on.
    QTimer::singleShot(20, &parent, [] { Dispatch([] { Halt(5); }); });
    QTimer::singleShot(3000, &parent, [] { QCoreApplication::exit(99); });
    QTimer::singleShot(0, &parent, [&] {
        Dispatch([&] {
            ShowMessage("Hardware Mode no availible...Trying software mode");
            afterBox = true;
        });
    });
    const int code = QCoreApplication::exec();
    EXPECT_EQ(code, 5);
    EXPECT_FALSE(afterBox);
}

TEST_F(ControlsTest, DialogSinkBusyCursorIsASettingNotAStack)
{
    TQtMessageSink dialogs;
    dialogs.BusyCursor(true);
    dialogs.BusyCursor(true);
    EXPECT_NE(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
    dialogs.BusyCursor(false);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    dialogs.BusyCursor(false);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST(Cp1252, EveryByteSurvivesTheRoundTripThroughQt)
{
    std::string all;
    for (int b = 1; b < 256; ++b) all.push_back(static_cast<char>(b));
    const QString q = Cp1252ToQString(all);
    EXPECT_EQ(q[0x80 - 1], QChar(0x20AC));  // the euro sign
    EXPECT_EQ(q[0xE9 - 1], QChar(0xE9));    // e acute
    auto back = QStringToCp1252(q);
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(*back, all);
}

TEST(Cp1252, TextsOutsideTheCodePageAreRefusedOrMarked)
{
    EXPECT_FALSE(QStringToCp1252(QString::fromUtf8("\xD0\x96")).has_value());  // Cyrillic
    EXPECT_EQ(QStringToCp1252Lossy(QString::fromUtf8("a\xD0\x96" "b\xF0\x9F\x98\x80" "c")), "a?b?c");
}

TEST(Cp1252, FileNamesCrossToTheFileSystemsEncoding)
{
    TestApp();
    const std::string record = "/tmp/caf\xE9.vel";  // e acute as one byte
    EXPECT_EQ(Cp1252ToFileName(record), "/tmp/caf\xC3\xA9.vel");
    EXPECT_EQ(FileNameToCp1252Lossy("/tmp/caf\xC3\xA9.vel"), record);
}

TEST(Cp1252, ADialogPathThatCannotBeStoredIsRefusedWithAMessage)
{
    TRecordingSink sink;
    TScopedMessageSink scoped(sink);
    EXPECT_FALSE(DialogPathToCp1252(QString::fromUtf8("/home/\xD0\x96/level.vel")).has_value());
    ASSERT_EQ(sink.messages.size(), 1u);
    EXPECT_NE(sink.messages[0].text.find("/home/?/level.vel"), std::string::npos);
    auto ok = DialogPathToCp1252(QString::fromUtf8("/home/caf\xC3\xA9/level.vel"));
    ASSERT_TRUE(ok.has_value());
    EXPECT_EQ(*ok, "/home/caf\xE9/level.vel");
    EXPECT_EQ(sink.messages.size(), 1u);
}

}  // namespace
