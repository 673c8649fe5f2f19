#pragma once

#include <QString>

#include <functional>

// Turns Qt's abort for want of a platform it can start, whatever the cause,
// into one line on standard error and exit status 1, while it lives (around
// the application's construction): what `diagnose` says then, if it says
// anything, else Qt's own cause. Qt's messages meanwhile, from any thread,
// are kept and passed on in their order once the platform has started.
class PlatformGuard {
public:
    explicit PlatformGuard(std::function<QString()> diagnose);
    ~PlatformGuard();
    PlatformGuard(const PlatformGuard&) = delete;
    PlatformGuard& operator=(const PlatformGuard&) = delete;
};
