#pragma once

#include <QByteArray>

#include <chrono>

namespace SessionBus {

enum class State {
    Answers,  // a bus is there and answers, or this cannot be told
    None,     // no bus can be reached
    Silent,   // a bus takes the connection but does not answer in time
};

// The session bus's address, found as libdbus finds it; empty where only its
// autolaunch would find one.
QByteArray address();

// One question to the bus at `address`, asked when made and answered by
// answer(), so that the wait overlaps other work. A bus that takes
// connections and never answers (a stopped daemon), or answers and then
// stalls, would otherwise hold the start: in Qt's own first use of it
// (accessibility, the platform theme) as in ours, and libdbus waits 25 s
// for a Hello and, in its authentication, for good.
//
// The question is a connection's whole beginning, sent at once: the
// authentication and the Hello; the answer is the bus's "OK" and its reply
// to the Hello. Unix sockets, by path or abstract name, are asked; a bus
// reached any other way cannot be told and counts as answering.
class Probe {
public:
    Probe(const QByteArray& address, std::chrono::milliseconds timeout);
    ~Probe();
    Probe(const Probe&) = delete;
    Probe& operator=(const Probe&) = delete;

    // Waits for the answer until the time given has passed since the start.
    State answer();

private:
    std::chrono::steady_clock::time_point deadline_;
    int socket_ = -1;
    State state_ = State::Answers;
};

// Makes every later use of the session bus in this process, Qt's included,
// fail at once instead of waiting on it.
void disable();

}  // namespace SessionBus
