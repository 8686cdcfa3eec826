#pragma once

#include "host/AudioOutput.h"

#include <cstddef>
#include <memory>

/// Watches the audio thread. Built into a test executable (not a library),
/// AudioThreadProbe.cpp interposes malloc and its kin and the pthread lock
/// and wait calls for the whole process, and counts those made while an
/// output made by probedOutput() is inside its renderer. Under the
/// sanitizers, which own malloc themselves, nothing is interposed.
namespace tolvex::testing::probe {

/// Whether the counters work in this build.
bool available();

struct Counts {
    long callbacks = 0;   ///< renderer calls seen
    long allocations = 0; ///< allocations and frees
    long locks = 0;       ///< lock calls and waits
};
Counts counts();

/// An output that passes everything to `inner` and marks its renderer calls.
std::unique_ptr<host::AudioOutput> probedOutput(std::unique_ptr<host::AudioOutput> inner);

/// While alive, allocations of exactly `bytes` bytes on this thread fail.
struct FailingAllocations {
    explicit FailingAllocations(std::size_t bytes);
    ~FailingAllocations();
};

} // namespace tolvex::testing::probe
