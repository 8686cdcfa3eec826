#pragma once

#include "host/AudioOutput.h"

#include <cstddef>
#include <memory>

/// Watches the audio thread. Built into a test executable (not a library),
/// AudioThreadProbe.cpp interposes malloc and its kin, the pthread lock,
/// unlock and wait calls, semaphore posts and the system call entry for the
/// whole process, and counts those made on an audio thread: while an output
/// made by probedOutput() is inside its renderer, or while an
/// AudioThreadScope lives. It also keeps, per thread, the pthread mutexes
/// the thread holds. Under the sanitizers, which own malloc and the locks
/// themselves, nothing is interposed.
namespace tolvex::testing::probe {

/// Whether the counters work in this build.
bool available();

struct Counts {
    long callbacks = 0;   ///< renderer calls seen
    long allocations = 0; ///< allocations and frees
    long locks = 0;       ///< lock calls and waits
    long wakes = 0;       ///< semaphore posts and futex wakes: system calls to wake a thread
};
Counts counts();

/// An output that passes everything to `inner` and marks its renderer calls.
std::unique_ptr<host::AudioOutput> probedOutput(std::unique_ptr<host::AudioOutput> inner);

/// While alive, the calling thread is an audio thread: what it does is
/// counted as in an output's renderer.
struct AudioThreadScope {
    AudioThreadScope();
    ~AudioThreadScope();
    AudioThreadScope(const AudioThreadScope&) = delete;
    AudioThreadScope& operator=(const AudioThreadScope&) = delete;
};

/// The pthread mutexes the calling thread holds, in the order taken. Only
/// the first `capacity` are kept; `count` says how many there are. Empty
/// when the probe is not available.
struct HeldLocks {
    static constexpr int capacity = 16;
    const void* locks[capacity] = {};
    int count = 0;
};
HeldLocks heldLocks();

/// While alive, allocations of exactly `bytes` bytes on this thread fail.
struct FailingAllocations {
    explicit FailingAllocations(std::size_t bytes);
    ~FailingAllocations();
};

} // namespace tolvex::testing::probe
