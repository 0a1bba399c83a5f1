#include "FatalSignals.h"

#include <atomic>
#include <csignal>
#include <cstring>
#include <initializer_list>

#include <execinfo.h>
#include <sys/prctl.h>
#include <unistd.h>

namespace vantrel::cli {
namespace {

std::atomic<const char*> currentPhase{"starting"};

// Only async-signal-safe calls from here on, except backtrace(), whose first
// call may allocate: it is made once at install time so the handler does not.
void writeText(const char* text) {
    const size_t length = std::strlen(text);
    size_t written = 0;
    while (written < length) {
        const ssize_t now = ::write(STDERR_FILENO, text + written, length - written);
        if (now <= 0) return;
        written += size_t(now);
    }
}

void onFatalSignal(int signal) {
    writeText("vantrel: fatal signal ");
    writeText(sigabbrev_np(signal) ? sigabbrev_np(signal) : "?");
    // The thread's name tells which thread it is: Qt gives a QThread its
    // object's name and pool threads "Thread (pooled)".
    char name[17] = {};
    writeText(" in thread \"");
    if (::prctl(PR_GET_NAME, name, 0, 0, 0) == 0) writeText(name);
    writeText("\" while ");
    writeText(currentPhase.load());
    writeText(", stack of the crashing thread:\n");
    void* frames[64];
    const int count = backtrace(frames, 64);
    backtrace_symbols_fd(frames, count, STDERR_FILENO);
    // The handler was reset on entry: the same signal now ends the process.
    ::raise(signal);
}

}  // namespace

void setFatalSignalPhase(const char* phase) {
    currentPhase.store(phase);
}

void reportFatalSignals() {
    void* warmUp[1];
    backtrace(warmUp, 1);
    // The main thread gets a stack of its own for the handler, so that its
    // stack overflowing is reported too.
    static char alternateStack[64 * 1024];
    stack_t stack{};
    stack.ss_sp = alternateStack;
    stack.ss_size = sizeof alternateStack;
    sigaltstack(&stack, nullptr);
    struct sigaction action{};
    action.sa_handler = onFatalSignal;
    action.sa_flags = SA_RESETHAND | SA_ONSTACK;
    sigemptyset(&action.sa_mask);
    for (const int signal : {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT}) sigaction(signal, &action, nullptr);
}

}  // namespace vantrel::cli
