#include "worker/CrashReporter.h"

#include "host/engine/RenderActivity.h"
#include "session/WorkerProtocol.h"

#include <csignal>
#include <cstring>

#include <unistd.h>

namespace tolvex::worker {

namespace {

constexpr int fatalSignals[] = {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT};
constexpr size_t signalStackSize = 64 * 1024;

/// Appends `text` to the buffer at `end`; returns the new end.
char* append(char* end, const char* text)
{
    const size_t length = std::strlen(text);
    std::memcpy(end, text, length);
    return end + length;
}

/// Async-signal-safe: no allocation, no lock, only write(2) and raise(3).
void reportCrash(int signal)
{
    int stage = host::RenderActivity::positionOnThisThread();
    char line[64];
    char* end = append(line, session::crashedReportHead);
    if (stage < 0) {
        end = append(end, "-1");
    } else {
        char digits[16];
        int count = 0;
        do {
            digits[count++] = char('0' + stage % 10);
            stage /= 10;
        } while (stage > 0);
        while (count > 0)
            *end++ = digits[--count];
    }
    end = append(end, session::crashedReportTail);
    [[maybe_unused]] const ssize_t written = ::write(STDOUT_FILENO, line, size_t(end - line));
    // The handler was reset on entry: the signal, raised again or repeated by
    // the faulting instruction, now ends the process as it would have.
    ::raise(signal);
}

} // namespace

void CrashReporter::install()
{
    struct sigaction action {};
    action.sa_handler = reportCrash;
    action.sa_flags = SA_RESETHAND | SA_ONSTACK;
    sigemptyset(&action.sa_mask);
    for (int signal : fatalSignals)
        sigaction(signal, &action, nullptr);
}

CrashReporter::RenderThread::RenderThread() : m_stack(new char[signalStackSize])
{
    stack_t stack{};
    stack.ss_sp = m_stack.get();
    stack.ss_size = signalStackSize;
    sigaltstack(&stack, nullptr);
}

CrashReporter::RenderThread::~RenderThread()
{
    stack_t none{};
    none.ss_flags = SS_DISABLE;
    sigaltstack(&none, nullptr);
}

} // namespace tolvex::worker
