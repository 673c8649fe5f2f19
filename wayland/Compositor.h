#pragma once

#include <QByteArray>
#include <QString>

#include <chrono>

// Whether the session's Wayland compositor answers, and whether it offers the
// layer shell, asked before Qt starts: Qt's wayland platform waits for the
// compositor's first answer for good, and the strip's place depends on the
// layer shell. Plain sockets and the protocol's own bytes: this builds, and
// is asked, with or without the layer shell built in.
namespace Compositor {

enum class Answer {
    None,        // nothing listens where the socket should be
    Silent,      // takes the connection, but no answer in Wayland's protocol in time
    Plain,       // answers, without the layer shell
    LayerShell,  // answers, and offers the layer shell
    HandedOver,  // a launcher handed over a connection: used, never asked
};

struct Reply {
    Answer answer;
    QString problem;     // why it cannot be used, in one line; for None and Silent
    bool plasma = false;  // KDE Plasma's shell is offered too
};

// Asks the compositor libwayland would connect to: the connection handed
// over in `handedOver` (WAYLAND_SOCKET), else the socket `display` names
// (WAYLAND_DISPLAY, "wayland-0" if empty) in `runtimeDir`. Lists its globals
// and waits for the end of the list until `timeout` has passed.
Reply ask(const QByteArray& handedOver, const QByteArray& display, const QByteArray& runtimeDir,
          std::chrono::milliseconds timeout);

}  // namespace Compositor
