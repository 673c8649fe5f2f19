// Prints the Persian date text for a month/day/year text: the end-to-end
// test's reference for what the strip should show today.
#include "Module1.h"

#include <cstdio>
#include <exception>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s MONTH/DAY/YEAR\n", argv[0]);
        return 2;
    }
    try {
        std::printf("%s\n", Module1::GregorianTextToPersian(argv[1]).c_str());
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
}
