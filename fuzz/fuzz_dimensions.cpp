// Fuzz target for the number rule: the input is the width text, a 0 byte and the height text, and
// parseDimension must read each as a plain reading of the rule does. The sizes the numbers ask
// for are checked by the GIF target's conversions.
#include <cstring>
#include <string>

#include "app/convert.h"
#include "fuzz_support.h"

namespace {

// The number rule read plainly: blanks, one sign, digits modulo 2^32.
std::int32_t referenceNumber(const char* text) {
    text += std::strspn(text, " \t\n\v\f\r");
    const bool negative = *text == '-';
    if (*text == '+' || negative) ++text;
    std::uint32_t value = 0;
    for (; *text >= '0' && *text <= '9'; ++text)
        value = value * 10 + std::uint32_t(*text - '0');
    return std::int32_t(negative ? 0u - value : value);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // With no 0 byte, the height text is the empty text after the added one.
    const std::string input = std::string(reinterpret_cast<const char*>(data), size) + '\0';
    const char* heightText = input.c_str() + std::strlen(input.c_str()) + 1;
    FUZZ_CHECK(parseDimension(input.c_str()) == referenceNumber(input.c_str()) &&
               parseDimension(heightText) == referenceNumber(heightText));
    return 0;
}
