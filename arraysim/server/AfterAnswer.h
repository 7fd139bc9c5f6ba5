// What becomes of a connection once its handler returns, as the handler
// (on the thread that runs it) decided: served on, closed after the
// answer, or dropped without one (an injected fault).
#pragma once

namespace arraysim {

enum class AfterAnswer { KeepOpen, Close, Drop };

// Notes the fate of the current request's connection; the graver wins.
void setAfterAnswer(AfterAnswer fate);
// The fate noted since the last call, which resets it to KeepOpen.
AfterAnswer takeAfterAnswer();

}  // namespace arraysim
