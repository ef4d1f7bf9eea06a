// How an event reaches a handler of the window.
//
// Qt's event dispatch is not made to be unwound by exceptions, so none may
// cross it. Every handler runs through Dispatch, which does what the
// toolkit's message loop did around a handler: an error that leaves the
// handler is reported in the standard error box and the loop goes on; the
// end of the process (Halt) quits every running event loop with its exit
// code, and from then on no handler runs.
#pragma once

#include <exception>
#include <functional>

// Runs the handler of an event that Qt delivers; nothing escapes. An event
// that code fires (a spin edit's value set by a handler fires its change)
// calls its handler directly instead, so that an error unwinds to the
// handler that set the value, as it would through the toolkit, and never
// through Qt's own code.
void Dispatch(const std::function<void()>& handler) noexcept;

// True once Halt was called, until ResetProcessEnd.
bool ProcessEnding();
// The code Halt was called with (0 before).
int ProcessExitCode();
// Marks the process as ending and asks every running event loop to quit
// with the code.
void BeginProcessEnd(int code);
// Forgets an earlier end (for a new run of the window in the same process).
void ResetProcessEnd();
