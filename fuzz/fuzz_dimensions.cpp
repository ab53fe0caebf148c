// Fuzz target for the number rule and the size rules: the input is the width text, a 0 byte and
// the height text. parseDimension must agree with a plain reading of the rule; resizeImage over
// three small pictures must give the size the rules give (fuzz_support.h) or their refusal.
// Requests that would succeed working on more than 2^18 pixels are skipped to keep runs short.
#include <cstring>
#include <string>

#include "app/convert.h"
#include "fuzz_support.h"
#include "resample/resize.h"

namespace {

// The number rule read plainly: blanks, one sign, digits modulo 2^32.
std::int32_t referenceNumber(const char* text) {
    while (*text == ' ' || (*text >= '\t' && *text <= '\r'))
        ++text;
    const bool negative = *text == '-';
    if (*text == '+' || negative) ++text;
    std::uint32_t value = 0;
    for (; *text >= '0' && *text <= '9'; ++text)
        value = value * 10 + std::uint32_t(*text - '0');
    return std::int32_t(negative ? 0u - value : value);
}

void checkResize(std::int32_t width, std::int32_t height, const RgbImage& source) {
    const Expectation e = expectedResize(width, height, source.width, source.height);
    if (!e.refusedSize && !e.reductionFails && e.workPixels > std::int64_t{1} << 18) return;
    RgbImage dest{};
    const std::int32_t rc = resizeImage(&dest, width, height, &source, 1);
    const bool failed = rc == statusResizeEnlargeFailed || rc == statusResizeReduceFailed;
    FUZZ_CHECK(e.refusedSize      ? rc == statusResizeBadSize && dest.status == rc
               : e.reductionFails ? failed && dest.status != 0
                                  : rc == 0 && dest.status == 0 && dest.width == e.width &&
                                        dest.height == e.height);
    rgbImageFree(&dest);  // nothing to release after a failure
}

RgbImage makePicture(std::int32_t width, std::int32_t height) {
    RgbImage image{};
    FUZZ_CHECK(rgbImageAlloc(&image, width, height) == 0);
    std::memset(image.rows[0], 0x5a, std::size_t(3 * width * height));  // rows follow each other
    return image;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // With no 0 byte, the height text is the empty text after the added one.
    const std::string input = std::string(reinterpret_cast<const char*>(data), size) + '\0';
    const char* heightText = input.c_str() + std::strlen(input.c_str()) + 1;
    const std::int32_t width = parseDimension(input.c_str()), height = parseDimension(heightText);
    FUZZ_CHECK(width == referenceNumber(input.c_str()) && height == referenceNumber(heightText));
    static const RgbImage pictures[] = {makePicture(7, 5), makePicture(1, 3), makePicture(4, 1)};
    for (const RgbImage& picture : pictures)
        checkResize(width, height, picture);
    return 0;
}
