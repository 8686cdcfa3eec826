#pragma once

#include <QString>

/// Watches the host's lilv calls for the one lock that must guard them.
/// lilv shares the world's node store and its plugin libraries' reference
/// counts between all it hands out, and guards neither: every lilv call that
/// reads or changes them must hold one common mutex, whichever thread makes
/// it. Built into a test executable together with AudioThreadProbe.cpp,
/// LilvLockProbe.cpp interposes those lilv calls and intersects the mutexes
/// held at each (the lock-set method): the answer does not depend on how the
/// threads happened to interleave. Needs the probe's lock tracking, so it
/// does not work under the sanitizers.
namespace tolvex::testing::lilvprobe {

/// Whether the watch works in this build.
bool available();

/// Forgets what was seen and watches from now on. Calls made before, such
/// as those of a world being loaded, are not seen.
void start();

struct Report {
    long calls = 0;         ///< watched calls seen since start()
    bool guarded = true;    ///< one mutex was held at every one of them
    QString firstUnguarded; ///< the call that left no common mutex
};
/// What was seen since start(); watching stops.
Report stop();

} // namespace tolvex::testing::lilvprobe
