// libFuzzer target: whatever the bytes, the conversion either refuses them
// with a ConversionError or returns year/month/day naming a real Persian day.
#include "Module1.h"

#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

[[noreturn]] void broken(const std::string& text, const std::string& result, const char* why)
{
    std::fprintf(stderr, "\"%s\" gave \"%s\": %s\n", text.c_str(), result.c_str(), why);
    std::abort();
}

bool persianLeap(long long y)
{
    return ((25 * y + 11) % 33 + 33) % 33 < 8;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::string result;
    try {
        result = Module1::GregorianTextToPersian(text);
    } catch (const Module1::ConversionError&) {
        return 0;
    }

    long long year = 0, month = 0, day = 0;
    const char* p = result.data();
    const char* end = p + result.size();
    for (long long* field : {&year, &month, &day}) {
        const auto [next, error] = std::from_chars(p, end, *field);
        if (error != std::errc())
            broken(text, result, "not year/month/day");
        p = next;
        if (field != &day) {
            if (p == end || *p != '/')
                broken(text, result, "not year/month/day");
            ++p;
        }
    }
    if (p != end)
        broken(text, result, "trailing text");
    if (month < 1 || month > 12)
        broken(text, result, "month outside 1..12");
    const long long length = month <= 6 ? 31 : month <= 11 ? 30 : persianLeap(year) ? 30 : 29;
    if (day < 1 || day > length)
        broken(text, result, "day outside its month");
    return 0;
}
