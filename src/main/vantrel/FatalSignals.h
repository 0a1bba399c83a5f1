#pragma once

namespace vantrel::cli {

// On a crash (SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT) writes the signal and
// the calling thread's stack to standard error, then ends the process by the
// same signal, so that whoever started it still sees the crash. The frames
// are "vantrel(+OFFSET)"; `addr2line -fCe vantrel OFFSET` names them.
void reportFatalSignals();

// What the process is doing, named in a crash report ("releasing the
// features"); a string that lives as long as the process (a literal).
void setFatalSignalPhase(const char* phase);

}  // namespace vantrel::cli
