// The program's message sink: real dialog boxes, the hourglass cursor and
// the end of the process through Qt's event loops.
#pragma once

#include "platform/rtl/messages.h"

class TQtMessageSink : public TMessageSink {
public:
    ~TQtMessageSink() override;

    // A modal message box; the answer as IDOK, IDCANCEL, IDYES or IDNO. When
    // the process began to end while the box was open, the end goes on
    // unwinding (EProcessEnd) instead of returning into a handler that
    // should no longer run.
    int Message(const TMessageRecord& msg) override;
    void Exception(const std::string& text) override;
    void ProcessEnd(int code) override;
    void BusyCursor(bool on) override;

    bool Busy() const { return busy_; }

private:
    bool busy_ = false;
};
