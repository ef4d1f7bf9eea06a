#include "editor/qt_message_sink.h"

#include <QApplication>
#include <QCursor>
#include <QMessageBox>

#include "editor/cp1252.h"
#include "editor/event_dispatch.h"

TQtMessageSink::~TQtMessageSink()
{
    if (busy_ && qApp) QApplication::restoreOverrideCursor();
}

int TQtMessageSink::Message(const TMessageRecord& msg)
{
    if (ProcessEnding()) throw EProcessEnd(ProcessExitCode());

    QMessageBox box;
    box.setWindowTitle(Cp1252ToQString(msg.caption));
    // The toolkit's boxes break lines at carriage returns.
    QString text = Cp1252ToQString(msg.text);
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(QChar('\r'), QChar('\n'));
    box.setText(text);
    switch (msg.icon) {
    case TMsgIcon::Error: box.setIcon(QMessageBox::Critical); break;
    case TMsgIcon::Question: box.setIcon(QMessageBox::Question); break;
    case TMsgIcon::Warning: box.setIcon(QMessageBox::Warning); break;
    case TMsgIcon::Information: box.setIcon(QMessageBox::Information); break;
    case TMsgIcon::None: box.setIcon(QMessageBox::NoIcon); break;
    }
    switch (msg.buttons & 0x0F) {
    case MB_OKCANCEL: box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel); break;
    case MB_YESNOCANCEL: box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel); break;
    case MB_YESNO: box.setStandardButtons(QMessageBox::Yes | QMessageBox::No); break;
    default: box.setStandardButtons(QMessageBox::Ok); break;
    }
    // A dialog shows the normal arrow even while the program is busy.
    if (busy_) QApplication::setOverrideCursor(QCursor(Qt::ArrowCursor));
    int answer = box.exec();
    if (busy_) QApplication::restoreOverrideCursor();

    if (ProcessEnding()) throw EProcessEnd(ProcessExitCode());
    switch (answer) {
    case QMessageBox::Cancel: return IDCANCEL;
    case QMessageBox::Yes: return IDYES;
    case QMessageBox::No: return IDNO;
    default: return IDOK;
    }
}

void TQtMessageSink::Exception(const std::string& text) { Message({text, "Error", TMsgIcon::Error, MB_OK}); }

void TQtMessageSink::ProcessEnd(int code) { BeginProcessEnd(code); }

void TQtMessageSink::BusyCursor(bool on)
{
    // The toolkit's screen cursor is a setting, not a stack: switching it on
    // twice needs one switch off.
    if (on == busy_ || !qApp) return;
    busy_ = on;
    if (on) QApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
    else QApplication::restoreOverrideCursor();
}
