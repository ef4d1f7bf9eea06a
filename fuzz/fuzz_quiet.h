// Message boxes go nowhere while fuzzing: refusing an input is an expected
// answer, not something to show.
#pragma once

#include "platform/rtl/messages.h"

inline void SilenceMessages()
{
    static TSilentSink sink;
    static const bool installed = (SetMessageSink(&sink), true);
    (void)installed;
}
