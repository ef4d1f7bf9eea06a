// The toolkit's event rules on the Qt controls, the handler boundary, the
// dialog message sink and the code page conversion.
#include <QCoreApplication>
#include <QTest>
#include <QTimer>

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

TEST_F(ControlsTest, SpinEditsAndScrollBarsFireWhenCodeSetsANewValue)
{
    int spinChanges = 0, barChanges = 0;
    auto* spin = new TSpinEdit(&parent, "Spin", 0, 255);
    spin->OnChange = [&] { ++spinChanges; };
    for (int v : {7, 7, 300}) spin->SetValue(v);  // the same value is no change; 300 is clamped, a change
    EXPECT_EQ(std::pair(spinChanges, spin->Value()), std::pair(2, 255));
    auto* free = new TSpinEdit(&parent, "Free", 0, 0);  // without limits
    free->SetValue(-40000);
    EXPECT_EQ(free->Value(), -40000);

    TSurface form(&parent, 0);
    auto* bar = new TScrollBarWidget(&form, "Bar", sbHorizontal);
    bar->OnChange = [&](TControl* sender) { barChanges += sender == bar; };
    bar->SetMax(500);
    bar->SetPosition(120);
    bar->SetPosition(120);
    bar->SetMax(100);  // the position follows the smaller range and that is a change
    EXPECT_EQ(std::pair(barChanges, bar->Position()), std::pair(2, 100));
    EXPECT_THROW(bar->SetMax(-20), EScrollBarRange);
    EXPECT_EQ(bar->Max(), 100);
    bar->triggerAction(QAbstractSlider::SliderSingleStepSub);  // the user's move fires too
    EXPECT_EQ(std::pair(barChanges, bar->Position()), std::pair(3, 99));
    EXPECT_EQ(bar->Kind(), sbHorizontal);
    bar->SetKind(sbVertical);
    EXPECT_EQ(bar->orientation(), Qt::Vertical);
}

TEST_F(ControlsTest, ChoicesOfTheUserFireChoicesOfCodeOnlyForARadioCheck)
{
    int radios = 0, fired = 0;
    auto* a = new TRadioButton(&parent, "A", "a");
    auto* b = new TRadioButton(&parent, "B", "b");
    a->OnClick = b->OnClick = [&] { ++radios; };
    a->SetChecked(true);
    a->SetChecked(true);
    b->SetChecked(true);  // a click of b; a being unchecked is none
    EXPECT_EQ(std::pair(radios, a->Checked()), std::pair(2, false));
    auto* button = new TSpeedButton(&parent, "Toggle", "T", true);
    parent.resize(200, 200);
    auto* list = new TListBox(&parent, "List");  // made last, so that it lies on top
    list->setGeometry(0, 0, 200, 200);
    for (const char* t : {"a", "b", "c"}) list->AddItem(t);
    list->OnClick = button->OnClick = [&] { ++fired; };
    list->SetItemIndex(1);
    button->SetDown(true);
    EXPECT_EQ((std::tuple{fired, list->ItemIndex(), button->Down()}), (std::tuple{0, 1, true}));
    list->SetItemIndex(-1);
    parent.show();
    QCoreApplication::processEvents();
    button->click();
    EXPECT_FALSE(button->Down());
    // A list fires once for every click of the user, also on the chosen line, and for keys.
    const QPoint second = list->visualItemRect(list->item(1)).center();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, second);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, second);
    EXPECT_EQ(std::pair(fired, list->ItemIndex()), std::pair(3, 1));
    QTest::keyClick(list, Qt::Key_Down);
    EXPECT_EQ(std::pair(fired, list->ItemIndex()), std::pair(4, 2));
}

TEST_F(ControlsTest, MemosJoinTheirLinesAsCommaText)
{
    auto* memo = new TMemo(&parent, "Memo");
    for (const char* line : {"3", "12", "two words", ""}) memo->AddLine(line);
    EXPECT_EQ((std::tuple{memo->IndexOfLine("12"), memo->IndexOfLine("4"), memo->CommaText()}),
              (std::tuple{1, -1, "3,12,\"two words\",\"\""}));
}

// Lines added at once give what adding them one by one gives.
TEST_F(ControlsTest, LinesAddedAtOnceAreTheLinesAddedOneByOne)
{
    const std::vector<std::vector<std::string>> batches[] = {
        {{"3", "12"}, {"two words", ""}},
        {{""}, {"a", "b"}},  // an empty first line leaves an empty memo empty
        {{}, {"x"}, {}},
        {{"\xE9t\xE9", "", ""}, {"last"}},
    };
    for (const auto& steps : batches) {
        auto* oneByOne = new TMemo(&parent, "Memo");
        auto* atOnce = new TMemo(&parent, "Memo");
        auto* listOneByOne = new TListBox(&parent, "List");
        auto* listAtOnce = new TListBox(&parent, "List");
        for (const auto& lines : steps) {
            for (const std::string& line : lines) {
                oneByOne->AddLine(line);
                listOneByOne->AddItem(line);
            }
            atOnce->AddLines(lines);
            listAtOnce->AddItems(lines);
        }
        EXPECT_EQ(atOnce->Lines(), oneByOne->Lines());
        EXPECT_EQ(atOnce->LineCount(), oneByOne->LineCount());
        EXPECT_EQ(Lines(listAtOnce), Lines(listOneByOne));
    }
}

TEST_F(ControlsTest, HandlerErrorsAreReportedAndHaltQuitsTheEventLoop)
{
    int after = 0;
    Dispatch([] { throw std::runtime_error("Cannot open file \"x.vel\"."); });
    Dispatch([&] { ++after; });
    EXPECT_EQ(sink.exceptions, std::vector<std::string>{"Cannot open file \"x.vel\"."});
    EXPECT_EQ(after, 1);
    EXPECT_FALSE(ProcessEnding());

    QTimer::singleShot(0, &parent, [] { Dispatch([] { Halt(3); }); });
    QTimer::singleShot(5, &parent, [&] { Dispatch([&] { ++after; }); });
    QTimer::singleShot(2000, &parent, [] { QCoreApplication::exit(99); });  // a safety net only
    EXPECT_EQ(QCoreApplication::exec(), 3);
    EXPECT_TRUE(ProcessEnding());
    EXPECT_EQ(ProcessExitCode(), 3);
    EXPECT_EQ(sink.endCodes, std::vector<int>{3});
    Dispatch([&] { ++after; });  // nothing runs once the process is ending
    EXPECT_EQ(after, 1);
}

TEST_F(ControlsTest, DialogSinkUnwindsOutOfAnOpenBoxAndSetsTheBusyCursor)
{
    TQtMessageSink dialogs;
    TScopedMessageSink useDialogs(dialogs);
    bool afterBox = false;
    // While the box is open the process is ended (as a failed recovery of the
    // 3D device does from a paint); the handler that opened the box must not go on.
    QTimer::singleShot(20, &parent, [] { Dispatch([] { Halt(5); }); });
    QTimer::singleShot(3000, &parent, [] { QCoreApplication::exit(99); });
    QTimer::singleShot(0, &parent, [&] {
        Dispatch([&] {
            ShowMessage("Hardware Mode no availible...Trying software mode");
            afterBox = true;
        });
    });
    EXPECT_EQ(QCoreApplication::exec(), 5);
    EXPECT_FALSE(afterBox);

    // The busy cursor is a setting, not a stack.
    dialogs.BusyCursor(true);
    dialogs.BusyCursor(true);
    ASSERT_NE(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
    dialogs.BusyCursor(false);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST(Cp1252, EveryByteSurvivesTheRoundTripAndOtherTextsAreRefusedOrMarked)
{
    TestApp();
    std::string all;
    for (int b = 1; b < 256; ++b) all.push_back(static_cast<char>(b));
    const QString q = Cp1252ToQString(all);
    EXPECT_EQ(q[0x80 - 1], QChar(0x20AC));  // the euro sign
    EXPECT_EQ(q[0xE9 - 1], QChar(0xE9));    // e acute
    EXPECT_EQ(QStringToCp1252(q), all);
    EXPECT_FALSE(QStringToCp1252(QString::fromUtf8("\xD0\x96")).has_value());  // Cyrillic
    EXPECT_EQ(QStringToCp1252Lossy(QString::fromUtf8("a\xD0\x96"
                                                     "b\xF0\x9F\x98\x80"
                                                     "c")),
              "a?b?c");
    // File names cross to the file system's encoding.
    EXPECT_EQ(Cp1252ToFileName("/tmp/caf\xE9.vel"), "/tmp/caf\xC3\xA9.vel");
    EXPECT_EQ(FileNameToCp1252Lossy("/tmp/caf\xC3\xA9.vel"), "/tmp/caf\xE9.vel");
}

TEST(Cp1252, ADialogPathThatCannotBeStoredIsRefusedWithAMessage)
{
    TRecordingSink sink;
    TScopedMessageSink scoped(sink);
    EXPECT_FALSE(DialogPathToCp1252(QString::fromUtf8("/home/\xD0\x96/level.vel")).has_value());
    ASSERT_EQ(sink.messages.size(), 1u);
    EXPECT_NE(sink.messages[0].text.find("/home/?/level.vel"), std::string::npos);
    EXPECT_EQ(DialogPathToCp1252(QString::fromUtf8("/home/caf\xC3\xA9/level.vel")), "/home/caf\xE9/level.vel");
    EXPECT_EQ(sink.messages.size(), 1u);
}

}  // namespace
