// The window's controls, on Qt widgets, with the event rules the handlers
// are written for:
// - setting a spin edit's value or a scroll bar's position in code fires its
//   change event (when the value changes), as a user change does;
// - checking a radio button or a check box in code fires its click event;
// - setting a list's or a combo box's selected index, a speed button's down
//   state or the active tab page in code fires nothing; only the user's
//   choice fires.
// An event the user causes runs its handler through Dispatch
// (event_dispatch.h); an event code fires calls its handler directly. Texts
// go in and come out as single-byte record texts (cp1252.h).
#pragma once

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QToolButton>

#include <functional>
#include <string>
#include <vector>

#include "platform/rtl/progress.h"

using THandler = std::function<void()>;

// Gives a widget its name, geometry and, when not empty, its hint: the text
// before "|" is the tool tip, the text after it (or the whole hint) the
// status tip.
void SetupControl(QWidget* widget, const char* name, int left, int top, int width, int height,
                  const std::string& hint = {});

class TSpinEdit : public QSpinBox {
public:
    // Both limits 0 means no limits.
    TSpinEdit(QWidget* parent, const char* name, int minValue, int maxValue);
    int Value() const { return value(); }
    // Fires OnChange when the value changes (after clamping to the limits).
    void SetValue(int v);
    THandler OnChange;
};

class TRadioButton : public QRadioButton {
public:
    TRadioButton(QWidget* parent, const char* name, const std::string& caption);
    bool Checked() const { return isChecked(); }
    // Checking fires OnClick (once, when it was not checked before), as a
    // user's click does.
    void SetChecked(bool on);
    THandler OnClick;
};

class TCheckBox : public QCheckBox {
public:
    TCheckBox(QWidget* parent, const char* name, const std::string& caption, bool checked = false);
    bool Checked() const { return isChecked(); }
    // Fires OnClick when the state changes.
    void SetChecked(bool on);
    THandler OnClick;
};

// A flat button; a toggle button stays down until clicked again.
class TSpeedButton : public QToolButton {
public:
    TSpeedButton(QWidget* parent, const char* name, const std::string& caption, bool toggle = false);
    bool Down() const { return isChecked(); }
    // Fires nothing.
    void SetDown(bool down);
    // Fires OnClick after a user's click (a toggle button has changed its
    // down state by then).
    THandler OnClick;
};

class TButton : public QPushButton {
public:
    TButton(QWidget* parent, const char* name, const std::string& caption);
    THandler OnClick;
};

// A list of single-byte texts with one selected line.
class TListBox : public QListWidget {
public:
    TListBox(QWidget* parent, const char* name, bool checkBoxes = false);

    int Count() const { return count(); }
    void AddItem(const std::string& text);
    // Adds the lines as AddItem one after another does, in one update of
    // the list.
    void AddItems(const std::vector<std::string>& texts);
    void ClearItems();
    std::string ItemText(int index) const;
    // The selected line, -1 when none.
    int ItemIndex() const { return currentRow(); }
    // Selects a line (-1: none) and fires nothing.
    void SetItemIndex(int index);

    // Fires on the user's choice of a line, also of the line already chosen.
    THandler OnClick;

protected:
    void mousePressEvent(QMouseEvent* event) override;
    // Qt makes the first line current when an empty selection gets the
    // focus; that is not a user's choice.
    void focusInEvent(QFocusEvent* event) override;

private:
    bool checkBoxes_;
    bool inCode_ = false;
    bool firedThisPress_ = false;
};

class TComboBox : public QComboBox {
public:
    TComboBox(QWidget* parent, const char* name, const std::vector<std::string>& items);
    int ItemIndex() const { return currentIndex(); }
    // Fires nothing.
    void SetItemIndex(int index);
    // Fires on the user's choice.
    THandler OnChange;
};

class TEdit : public QLineEdit {
public:
    TEdit(QWidget* parent, const char* name);
    std::string Text() const;
    void SetText(const std::string& text);
};

// A memo with the toolkit's line list.
class TMemo : public QPlainTextEdit {
public:
    TMemo(QWidget* parent, const char* name);
    std::vector<std::string> Lines() const;
    int LineCount() const;
    void AddLine(const std::string& line);
    // Adds the lines as AddLine one after another does, in one update of
    // the memo.
    void AddLines(const std::vector<std::string>& lines);
    void ClearLines();
    // The first line equal to the text, -1 when none.
    int IndexOfLine(const std::string& line) const;
    // The lines joined by commas; a line holding blanks, commas or quotes is
    // quoted, with its quotes doubled.
    std::string CommaText() const;
};

// A tab row; pages are plain widgets holding their controls.
class TPageControl : public QTabWidget {
public:
    TPageControl(QWidget* parent, const char* name);
    QWidget* AddPage(const char* name, const std::string& caption);
    int ActivePageIndex() const { return currentIndex(); }
    // Fires nothing.
    void SetActivePageIndex(int index);
    // The index of the page with this caption, -1 when none.
    int IndexOfCaption(const std::string& caption) const;
    std::string PageCaption(int index) const;
    // Fires when the user brings another page to the front.
    THandler OnChange;

private:
    bool inCode_ = false;
};

// A progress gauge. Model is what long operations step; every change of it
// is shown at once (no handler pumps the event loop meanwhile).
class TGauge : public QProgressBar {
public:
    TGauge(QWidget* parent, const char* name, int maxValue = 100);
    TProgressBar Model;
};

class TGroupBox : public QGroupBox {
public:
    TGroupBox(QWidget* parent, const char* name, const std::string& caption);
};

class TLabel : public QLabel {
public:
    TLabel(QWidget* parent, const std::string& caption, int left, int top);
};
