// Prints the Persian date for month/day/year text: the end-to-end test's
// reference for what the strip should show.
#include "Module1.h"

#include <cstdio>

int main(int argc, char** argv)
{
    if (argc != 2)
        return 2;
    std::puts(Module1::GregorianTextToPersian(argv[1]).c_str());
}
