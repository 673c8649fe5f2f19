#pragma once

#include "CommandLine.h"
#include "Compositor.h"

#include <QByteArray>
#include <QByteArrayList>
#include <QString>

#include <functional>

// Which of Qt's platforms the strip starts on, and whether a display can be
// had there, asked before Qt starts.
using Environment = std::function<QByteArray(const char* name)>;
// The compositor's answer: asked at the first call, the same after.
using CompositorQuestion = std::function<Compositor::Reply()>;

// The platforms Qt is to try, in order, and whether Velmora chose them.
struct PlatformChoice {
    QByteArrayList names;
    bool chosenHere = false;  // then QT_QPA_PLATFORM must be set to them
};

// The user's choice (-platform, QT_QPA_PLATFORM) stands. Otherwise a Wayland
// session runs on Qt's wayland platform where the compositor offers the
// layer shell, since only there can the strip place itself; else through
// XWayland where an X server is at hand; else as Qt would. Outside Wayland
// it is X11.
PlatformChoice choosePlatform(const Arguments& arguments, const Environment& environment,
                              const CompositorQuestion& compositor);

// Why none of `choice`'s platforms can have a display, in one line; empty
// when one can, or when one is of a kind not looked into here (offscreen,
// vnc...). With `connectToX` false an X display is only looked for by name:
// a connection opened and closed ahead of Qt's would make an X server with
// no other client reset itself, and turn Qt away meanwhile.
QString displayProblem(const PlatformChoice& choice, const Arguments& arguments, const Environment& environment,
                       const CompositorQuestion& compositor, bool connectToX);
