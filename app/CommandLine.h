#pragma once

#include <QByteArray>

#include <optional>

// The command line, read as Qt reads it.
struct Arguments {
    std::optional<int> exitStatus;  // the program ends here: --help, --version, a refused argument
    QByteArray platform;            // -platform NAME[;NAME...], the last one given
    QByteArray display;             // -display DISPLAY, the last one given
};

// Answers --help and --version, and refuses any argument that is neither one
// of them nor one of the options QApplication and Qt's X11 platform
// document, in the forms they parse (-display :1, not -display=:1).
Arguments readArguments(int argc, const char* const* argv);
