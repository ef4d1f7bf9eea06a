#include "editor/controls.h"

#include <QMouseEvent>
#include <QSignalBlocker>
#include <QTextBlock>

#include <climits>

#include "editor/cp1252.h"
#include "editor/event_dispatch.h"

namespace {

void Fire(const THandler& event)
{
    if (event) Dispatch(event);
}

}  // namespace

void SetupControl(QWidget* widget, const char* name, int left, int top, int width, int height, const std::string& hint)
{
    if (name && *name) widget->setObjectName(QString::fromLatin1(name));
    widget->setGeometry(left, top, width, height);
    if (!hint.empty()) {
        QString h = Cp1252ToQString(hint);
        qsizetype bar = h.indexOf(QChar('|'));
        widget->setToolTip(bar < 0 ? h : h.left(bar));
        widget->setStatusTip(bar < 0 ? h : h.mid(bar + 1));
    }
}

TSpinEdit::TSpinEdit(QWidget* parent, const char* name, int minValue, int maxValue) : QSpinBox(parent)
{
    setObjectName(QString::fromLatin1(name));
    if (minValue == 0 && maxValue == 0) setRange(INT_MIN, INT_MAX);
    else setRange(minValue, maxValue);
    setValue(minValue < 0 && maxValue >= 0 ? 0 : minValue);
    connect(this, &QSpinBox::valueChanged, this, [this](int) { Fire(OnChange); });
}

void TSpinEdit::SetValue(int v)
{
    const int old = value();
    {
        QSignalBlocker block(this);
        setValue(v);
    }
    if (value() != old && OnChange) OnChange();
}

TRadioButton::TRadioButton(QWidget* parent, const char* name, const std::string& caption) : QRadioButton(parent)
{
    setObjectName(QString::fromLatin1(name));
    setText(Cp1252ToQString(caption));
    connect(this, &QRadioButton::toggled, this, [this](bool on) {
        if (on) Fire(OnClick);
    });
}

void TRadioButton::SetChecked(bool on)
{
    const bool was = isChecked();
    {
        QSignalBlocker block(this);
        setChecked(on);
    }
    if (on && !was && OnClick) OnClick();
}

TCheckBox::TCheckBox(QWidget* parent, const char* name, const std::string& caption, bool checked) : QCheckBox(parent)
{
    setObjectName(QString::fromLatin1(name));
    setText(Cp1252ToQString(caption));
    setChecked(checked);
    connect(this, &QCheckBox::toggled, this, [this](bool) { Fire(OnClick); });
}

void TCheckBox::SetChecked(bool on)
{
    const bool was = isChecked();
    {
        QSignalBlocker block(this);
        setChecked(on);
    }
    if (on != was && OnClick) OnClick();
}

TSpeedButton::TSpeedButton(QWidget* parent, const char* name, const std::string& caption, bool toggle)
    : QToolButton(parent)
{
    setObjectName(QString::fromLatin1(name));
    setText(Cp1252ToQString(caption));
    setCheckable(toggle);
    setAutoRaise(false);
    connect(this, &QToolButton::clicked, this, [this](bool) { Fire(OnClick); });
}

void TSpeedButton::SetDown(bool down)
{
    QSignalBlocker block(this);
    setChecked(down);
}

TButton::TButton(QWidget* parent, const char* name, const std::string& caption) : QPushButton(parent)
{
    if (name && *name) setObjectName(QString::fromLatin1(name));
    setText(Cp1252ToQString(caption));
    connect(this, &QPushButton::clicked, this, [this](bool) { Fire(OnClick); });
}

TListBox::TListBox(QWidget* parent, const char* name, bool checkBoxes) : QListWidget(parent), checkBoxes_(checkBoxes)
{
    setObjectName(QString::fromLatin1(name));
    setSelectionMode(QAbstractItemView::SingleSelection);
    // A change of the line by the user (mouse or keys) fires; so does a
    // click on the line already chosen, but one press fires only once.
    connect(this, &QListWidget::currentRowChanged, this, [this](int) {
        if (inCode_) return;
        firedThisPress_ = true;
        Fire(OnClick);
    });
    connect(this, &QListWidget::clicked, this, [this](const QModelIndex&) {
        if (!firedThisPress_) Fire(OnClick);
        firedThisPress_ = true;
    });
}

void TListBox::mousePressEvent(QMouseEvent* event)
{
    firedThisPress_ = false;
    QListWidget::mousePressEvent(event);
}

void TListBox::focusInEvent(QFocusEvent* event)
{
    inCode_ = true;
    QListWidget::focusInEvent(event);
    inCode_ = false;
}

void TListBox::AddItem(const std::string& text)
{
    auto* item = new QListWidgetItem(Cp1252ToQString(text), this);
    if (checkBoxes_) {
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(Qt::Unchecked);
    }
}

void TListBox::AddItems(const std::vector<std::string>& texts)
{
    if (checkBoxes_) {
        for (const std::string& text : texts) AddItem(text);
        return;
    }
    QStringList labels;
    labels.reserve(static_cast<qsizetype>(texts.size()));
    for (const std::string& text : texts) labels.push_back(Cp1252ToQString(text));
    addItems(labels);
}

void TListBox::ClearItems()
{
    inCode_ = true;
    clear();
    inCode_ = false;
}

std::string TListBox::ItemText(int index) const
{
    const QListWidgetItem* it = item(index);
    return it ? QStringToCp1252Lossy(it->text()) : std::string();
}

void TListBox::SetItemIndex(int index)
{
    inCode_ = true;
    if (index < 0 || index >= count()) {
        setCurrentRow(-1);
        clearSelection();
    } else {
        setCurrentRow(index);
    }
    inCode_ = false;
}

TComboBox::TComboBox(QWidget* parent, const char* name, const std::vector<std::string>& items) : QComboBox(parent)
{
    setObjectName(QString::fromLatin1(name));
    for (const auto& text : items) addItem(Cp1252ToQString(text));
    setCurrentIndex(-1);
    connect(this, &QComboBox::activated, this, [this](int) { Fire(OnChange); });
}

void TComboBox::SetItemIndex(int index)
{
    QSignalBlocker block(this);
    setCurrentIndex(index < count() ? index : -1);
}

TEdit::TEdit(QWidget* parent, const char* name) : QLineEdit(parent) { setObjectName(QString::fromLatin1(name)); }

std::string TEdit::Text() const { return QStringToCp1252Lossy(text()); }

void TEdit::SetText(const std::string& text) { setText(Cp1252ToQString(text)); }

TMemo::TMemo(QWidget* parent, const char* name) : QPlainTextEdit(parent)
{
    setObjectName(QString::fromLatin1(name));
    setLineWrapMode(QPlainTextEdit::NoWrap);
}

std::vector<std::string> TMemo::Lines() const
{
    std::vector<std::string> lines;
    const QTextDocument* doc = document();
    if (doc->isEmpty()) return lines;
    for (QTextBlock b = doc->begin(); b.isValid(); b = b.next()) lines.push_back(QStringToCp1252Lossy(b.text()));
    return lines;
}

int TMemo::LineCount() const { return document()->isEmpty() ? 0 : document()->blockCount(); }

void TMemo::AddLine(const std::string& line)
{
    if (document()->isEmpty()) setPlainText(Cp1252ToQString(line));
    else appendPlainText(Cp1252ToQString(line));
}

void TMemo::AddLines(const std::vector<std::string>& lines)
{
    // AddLine sets the text of an empty memo, so an empty line leaves it
    // empty: into an empty memo, the lines count from the first with text.
    const bool empty = document()->isEmpty();
    QStringList added;
    added.reserve(static_cast<qsizetype>(lines.size()));
    for (const std::string& line : lines) {
        QString converted = Cp1252ToQString(line);
        if (empty && added.isEmpty() && converted.isEmpty()) continue;
        added.push_back(std::move(converted));
    }
    if (added.isEmpty()) return;
    const QString text = added.join(QLatin1Char('\n'));
    if (empty) setPlainText(text);
    else appendPlainText(text);
}

void TMemo::ClearLines() { clear(); }

int TMemo::IndexOfLine(const std::string& line) const
{
    auto lines = Lines();
    for (std::size_t i = 0; i < lines.size(); ++i)
        if (lines[i] == line) return static_cast<int>(i);
    return -1;
}

std::string TMemo::CommaText() const
{
    std::string out;
    bool first = true;
    for (const auto& line : Lines()) {
        if (!first) out += ',';
        first = false;
        bool quote = line.empty();
        for (unsigned char c : line)
            if (c <= ' ' || c == ',' || c == '"') quote = true;
        if (!quote) {
            out += line;
            continue;
        }
        out += '"';
        for (char c : line) {
            if (c == '"') out += '"';
            out += c;
        }
        out += '"';
    }
    return out;
}

TPageControl::TPageControl(QWidget* parent, const char* name) : QTabWidget(parent)
{
    setObjectName(QString::fromLatin1(name));
    connect(this, &QTabWidget::currentChanged, this, [this](int) {
        if (!inCode_) Fire(OnChange);
    });
}

QWidget* TPageControl::AddPage(const char* name, const std::string& caption)
{
    auto* page = new QWidget;
    if (name && *name) page->setObjectName(QString::fromLatin1(name));
    inCode_ = true;
    addTab(page, Cp1252ToQString(caption));
    inCode_ = false;
    return page;
}

void TPageControl::SetActivePageIndex(int index)
{
    inCode_ = true;
    setCurrentIndex(index);
    inCode_ = false;
}

int TPageControl::IndexOfCaption(const std::string& caption) const
{
    QString c = Cp1252ToQString(caption);
    for (int i = 0; i < count(); ++i)
        if (tabText(i) == c) return i;
    return -1;
}

std::string TPageControl::PageCaption(int index) const { return QStringToCp1252Lossy(tabText(index)); }

TGauge::TGauge(QWidget* parent, const char* name, int maxValue) : QProgressBar(parent)
{
    setObjectName(QString::fromLatin1(name));
    Model.SetMax(maxValue);
    setRange(0, maxValue);
    setValue(0);
    Model.OnChange = [this](const TProgressBar& m) {
        setRange(m.Min(), m.Max());
        setValue(m.Position());
        if (isVisible()) repaint();
    };
}

TGroupBox::TGroupBox(QWidget* parent, const char* name, const std::string& caption) : QGroupBox(parent)
{
    if (name && *name) setObjectName(QString::fromLatin1(name));
    setTitle(Cp1252ToQString(caption));
}

TLabel::TLabel(QWidget* parent, const std::string& caption, int left, int top) : QLabel(parent)
{
    setText(Cp1252ToQString(caption));
    move(left, top);
    adjustSize();
}
