#include "platform/rtl/messages.h"

#include <cstdio>
#include <new>

std::string ApplicationTitle = "Level Editor";

namespace {

class TStderrSink : public TMessageSink {
public:
    int Message(const TMessageRecord& msg) override
    {
        std::fprintf(stderr, "[%s] %s\n", msg.caption.c_str(), msg.text.c_str());
        return (msg.buttons == MB_YESNO || msg.buttons == MB_YESNOCANCEL) ? IDYES : IDOK;
    }
    void ProcessEnd(int code) override { std::fprintf(stderr, "[process end %d]\n", code); }
};

TStderrSink g_defaultSink;
TMessageSink* g_sink = nullptr;
int g_busyDepth = 0;

TMsgIcon IconOf(unsigned flags)
{
    switch (flags & 0xF0) {
    case MB_ICONERROR: return TMsgIcon::Error;
    case MB_ICONQUESTION: return TMsgIcon::Question;
    case MB_ICONWARNING: return TMsgIcon::Warning;
    case MB_ICONINFORMATION: return TMsgIcon::Information;
    default: return TMsgIcon::None;
    }
}

}  // namespace

TMessageSink* SetMessageSink(TMessageSink* sink)
{
    TMessageSink* old = g_sink;
    g_sink = sink;
    return old;
}

TMessageSink& CurrentMessageSink() { return g_sink ? *g_sink : g_defaultSink; }

void ShowMessage(const std::string& text)
{
    CurrentMessageSink().Message({text, ApplicationTitle, TMsgIcon::None, MB_OK});
}

int MessageBox(const std::string& text, const std::string& caption, unsigned flags)
{
    return CurrentMessageSink().Message({text, caption, IconOf(flags), flags & 0x0F});
}

void ShowException(const std::exception& e)
{
    // std::bad_alloc's own text names the C++ class, which tells a user nothing.
    const bool outOfMemory = dynamic_cast<const std::bad_alloc*>(&e) != nullptr;
    CurrentMessageSink().Exception(outOfMemory ? OUT_OF_MEMORY_MESSAGE : e.what());
}

void Halt(int code)
{
    CurrentMessageSink().ProcessEnd(code);
    throw EProcessEnd(code);
}

void SetBusyCursor(bool on) { CurrentMessageSink().BusyCursor(on); }

TBusyCursor::TBusyCursor()
{
    if (g_busyDepth++ == 0) SetBusyCursor(true);
}

TBusyCursor::~TBusyCursor()
{
    if (--g_busyDepth == 0) SetBusyCursor(false);
}
