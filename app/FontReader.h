#pragma once

#include <thread>

// Reads fontconfig's configuration and font caches on a thread of its own,
// at a lower priority, from its construction. The longest single step
// before the strip's line can be laid out, it then overlaps the questions
// to the session bus and the compositor, Qt's loading of its platform and
// its connection to the display. Where Qt has no fontconfig or no thread
// can be had, nothing is read ahead, and Qt reads them itself as it needs
// them.
class FontReader {
public:
    FontReader();
    // Where the program ends before they were waited for, Qt never took them
    // over: gives them back, as Qt would have.
    ~FontReader();
    FontReader(const FontReader&) = delete;
    FontReader& operator=(const FontReader&) = delete;

    // Returns once they are read. Called before the first widget is made:
    // Qt would otherwise read them a second time beside the thread.
    void wait();

private:
    void (*fini)() = nullptr;
    std::jthread reader;
};
