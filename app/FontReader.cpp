#include "FontReader.h"

#include <dlfcn.h>
#include <sys/resource.h>

#include <cerrno>
#include <system_error>

FontReader::FontReader()
{
    // Fontconfig as Qt has loaded it, so that Qt's own FcInit() finds the
    // configuration read. Linked here, the library would come first among
    // those every symbol is looked up in as Qt loads (0.8% more instructions
    // to the first frame).
    using Init = int();
    auto* init = reinterpret_cast<Init*>(dlsym(RTLD_DEFAULT, "FcInit"));
    fini = reinterpret_cast<decltype(fini)>(dlsym(RTLD_DEFAULT, "FcFini"));
    if (!init || !fini)
        return;
    try {
        reader = std::jthread([init] {
            // Below the program's own thread and the servers it waits on
            // (the display's, the bus): those are on the way to the first
            // frame, the reader beside it. Linux keeps the nice value per
            // thread.
            errno = 0;
            if (const int niceness = getpriority(PRIO_PROCESS, 0); errno == 0)
                setpriority(PRIO_PROCESS, 0, niceness + 5);
            init();
        });
    } catch (const std::system_error&) {
    }
}

FontReader::~FontReader()
{
    if (reader.joinable()) {
        reader.join();
        fini();
    }
}

void FontReader::wait()
{
    if (reader.joinable())
        reader.join();
}
