#pragma once

#include <chrono>

namespace SessionBus {

enum class State {
    Answers,  // a bus is there and answers
    None,     // no bus can be reached
    Silent,   // a bus takes the connection but does not answer in time
};

// Connects to the session bus once and waits at most `timeout` for its first
// answer: a bus that takes connections and never answers (a stopped daemon)
// would otherwise hang the start for good, in Qt's own first use of it
// (accessibility, the platform theme) as in ours.
State probe(std::chrono::milliseconds timeout);

// Makes every later use of the session bus in this process, Qt's included,
// fail at once instead of waiting on it.
void disable();

}  // namespace SessionBus
