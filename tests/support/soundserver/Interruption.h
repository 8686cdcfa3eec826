#pragma once

#include <csignal>
#include <stdexcept>

namespace tolvex::testing {

/// Set by the signal handler (SIGINT, SIGTERM, SIGHUP, SIGPIPE): the program
/// (the preview bench) ends its run, stops what it started and removes its
/// folder. Stays 0 where no handler is installed.
inline volatile std::sig_atomic_t interrupted = 0;

inline void throwIfInterrupted()
{
    if (interrupted)
        throw std::runtime_error("interrupted");
}

/// Makes those signals set `interrupted` instead of ending the bench at once.
inline void catchInterruptions()
{
    struct sigaction action = {};
    action.sa_handler = [](int) { interrupted = 1; };
    sigemptyset(&action.sa_mask);
    for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGPIPE})
        sigaction(signal, &action, nullptr);
}

} // namespace tolvex::testing
