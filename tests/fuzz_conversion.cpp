// libFuzzer target: whatever the bytes, the conversion either refuses them
// with a ConversionError or returns year/month/day naming a real Persian day.
#include "Module1.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::string result;
    try {
        result = Module1::GregorianTextToPersian(std::string_view(reinterpret_cast<const char*>(data), size));
    } catch (const Module1::ConversionError&) {
        return 0;
    }
    long long year = 0, month = 0, day = 0;
    int consumed = 0;
    const bool parsed = std::sscanf(result.c_str(), "%lld/%lld/%lld%n", &year, &month, &day, &consumed) == 3
                        && std::size_t(consumed) == result.size();
    const bool leap = ((25 * year + 11) % 33 + 33) % 33 < 8;
    const long long length = month <= 6 ? 31 : month <= 11 ? 30 : leap ? 30 : 29;
    if (!parsed || month < 1 || month > 12 || day < 1 || day > length) {
        std::fprintf(stderr, "gave \"%s\", which is no Persian date\n", result.c_str());
        std::abort();
    }
    return 0;
}
