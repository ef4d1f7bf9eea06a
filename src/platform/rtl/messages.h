// Message boxes, the busy cursor and the end of the process.
//
// Every notice the libraries show and every request to end the program goes
// through one replaceable sink. The program installs a sink that shows real
// dialogs; tests install a recorder. No library ends the process itself:
// Halt() reports to the sink and then unwinds with EProcessEnd, which the
// program's main() turns into its exit code.
#pragma once

#include <exception>
#include <stdexcept>
#include <string>
#include <vector>

// Button and icon flags of a message box, with the values the callers use.
enum : unsigned {
    MB_OK = 0x00,
    MB_OKCANCEL = 0x01,
    MB_YESNOCANCEL = 0x03,
    MB_YESNO = 0x04,
    MB_ICONERROR = 0x10,
    MB_ICONQUESTION = 0x20,
    MB_ICONWARNING = 0x30,
    MB_ICONINFORMATION = 0x40,
};

// Answers of a message box.
enum : int { IDOK = 1, IDCANCEL = 2, IDYES = 6, IDNO = 7 };

enum class TMsgIcon { None, Error, Question, Warning, Information };

struct TMessageRecord {
    std::string text;
    std::string caption;
    TMsgIcon icon = TMsgIcon::None;
    unsigned buttons = MB_OK;  // the low four bits of the flags
};

class TMessageSink {
public:
    virtual ~TMessageSink() = default;
    // Shows a message and returns the button chosen (IDOK for one-button boxes).
    virtual int Message(const TMessageRecord& msg) = 0;
    // An exception that reached the message loop, reported in the standard box.
    virtual void Exception(const std::string& text) { Message({text, "Error", TMsgIcon::Error, MB_OK}); }
    // The program is about to end with the given exit code.
    virtual void ProcessEnd(int code) = 0;
    // The busy (hourglass) cursor is switched on or off.
    virtual void BusyCursor(bool on) { (void)on; }
};

// Installs a sink; nullptr restores the default, which writes to stderr.
// Returns the sink that was installed before.
TMessageSink* SetMessageSink(TMessageSink* sink);
TMessageSink& CurrentMessageSink();

// The title shown by ShowMessage boxes.
extern std::string ApplicationTitle;

// A one-button notice with the application's title, as the toolkit shows it.
void ShowMessage(const std::string& text);
// A message box with caption and MB_ flags; returns the button chosen.
int MessageBox(const std::string& text, const std::string& caption, unsigned flags);
// What the toolkit shows when memory runs out (std::bad_alloc): a file that
// claims more than can be had is refused with it.
inline constexpr const char* OUT_OF_MEMORY_MESSAGE = "Out of memory";

// Reports an exception that a handler did not catch, as the toolkit does
// (std::bad_alloc with OUT_OF_MEMORY_MESSAGE).
void ShowException(const std::exception& e);

// Thrown by Halt() after the sink has been told; caught by main().
class EProcessEnd : public std::exception {
public:
    explicit EProcessEnd(int code) : code_(code) {}
    int Code() const { return code_; }
    const char* what() const noexcept override { return "process end"; }

private:
    int code_;
};

// Ends the program: tells the sink, then unwinds to main().
[[noreturn]] void Halt(int code = 0);

// The busy cursor for the lifetime of the object (the toolkit's crHourGlass).
class TBusyCursor {
public:
    TBusyCursor();
    ~TBusyCursor();
    TBusyCursor(const TBusyCursor&) = delete;
    TBusyCursor& operator=(const TBusyCursor&) = delete;
};
void SetBusyCursor(bool on);

// A sink that records everything, for tests.
class TRecordingSink : public TMessageSink {
public:
    std::vector<TMessageRecord> messages;
    std::vector<std::string> exceptions;
    std::vector<int> endCodes;
    std::vector<bool> cursorChanges;
    int answer = IDOK;  // what every box answers

    int Message(const TMessageRecord& msg) override
    {
        messages.push_back(msg);
        return answer;
    }
    void Exception(const std::string& text) override { exceptions.push_back(text); }
    void ProcessEnd(int code) override { endCodes.push_back(code); }
    void BusyCursor(bool on) override { cursorChanges.push_back(on); }
    std::vector<std::string> Texts() const
    {
        std::vector<std::string> t;
        for (const auto& m : messages) t.push_back(m.text);
        return t;
    }
};

// A sink that shows nothing and answers every box with IDOK, for runs
// without anyone to read the messages (fuzzing, batch work).
class TSilentSink : public TMessageSink {
public:
    int Message(const TMessageRecord&) override { return IDOK; }
    void Exception(const std::string&) override {}
    void ProcessEnd(int) override {}
};

// Installs a sink for the lifetime of the object and restores the previous one.
class TScopedMessageSink {
public:
    explicit TScopedMessageSink(TMessageSink& sink) : previous_(SetMessageSink(&sink)) {}
    ~TScopedMessageSink() { SetMessageSink(previous_); }
    TScopedMessageSink(const TScopedMessageSink&) = delete;
    TScopedMessageSink& operator=(const TScopedMessageSink&) = delete;

private:
    TMessageSink* previous_;
};
