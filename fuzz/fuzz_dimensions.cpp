// Fuzz target for the number rule and the size rules: the input holds the width text and the
// height text, separated by the first 0 byte (no 0 byte: the height text is empty). Both go
// through parseDimension, which must agree with a plain reading of the rule, and then through
// resizeImage over three small fixed pictures (7 x 5, 1 x 3, 4 x 1). The result must have the
// size the rules give (fuzz_support.h), or the refusal they give; the source is only read, and a
// resize to the source's own size gives back its pixels.
//
// A request that would succeed with an intermediate picture above 2^18 pixels is skipped, so
// that every run stays short; requests that must fail are always made, however large, because
// they have to be refused quickly.
#include <string>
#include <vector>

#include "app/convert.h"
#include "fuzz_support.h"
#include "raster/rgb_image.h"
#include "resample/resize.h"

namespace {

// The number rule read plainly: blanks, one sign, digits modulo 2^32.
std::int32_t referenceNumber(const std::string& text) {
    std::size_t at = std::min(text.find_first_not_of(" \t\n\v\f\r"), text.size());
    const bool negative = at < text.size() && text[at] == '-';
    if (at < text.size() && (text[at] == '+' || negative)) ++at;
    std::uint64_t value = 0;
    for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at)
        value = (value * 10 + static_cast<std::uint64_t>(text[at] - '0')) % (1ull << 32);
    return static_cast<std::int32_t>(
        static_cast<std::uint32_t>(negative ? (1ull << 32) - value : value));
}

std::vector<std::uint8_t> pixelBytes(const RgbImage& image) {
    std::vector<std::uint8_t> bytes;
    for (std::int32_t y = 0; y < image.height; ++y)
        bytes.insert(bytes.end(), image.rows[y], image.rows[y] + 3 * image.width);
    return bytes;
}

RgbImage makePicture(std::int32_t width, std::int32_t height) {
    RgbImage image{};
    FUZZ_CHECK(rgbImageAlloc(&image, width, height) == 0);
    for (std::int32_t i = 0; i < 3 * width * height; ++i)  // the rows follow each other
        image.rows[0][i] = static_cast<std::uint8_t>(37 * i + 5);
    return image;
}

void checkResize(std::int32_t width, std::int32_t height, const RgbImage& source) {
    const Expectation e = expectedResize(width, height, source.width, source.height);
    if (!e.refusedSize && !e.reductionFails && e.workPixels > std::int64_t{1} << 18) return;
    const std::vector<std::uint8_t> before = pixelBytes(source);
    RgbImage dest{};
    const std::int32_t rc = resizeImage(&dest, width, height, &source, 1);
    FUZZ_CHECK(pixelBytes(source) == before);
    if (e.refusedSize) FUZZ_CHECK(rc == statusResizeBadSize && dest.status == rc);
    const bool failed = rc == statusResizeEnlargeFailed || rc == statusResizeReduceFailed;
    if (e.reductionFails) FUZZ_CHECK(failed && dest.status != 0);
    if (!e.refusedSize && !e.reductionFails) {
        FUZZ_CHECK(rc == 0 && dest.status == 0 && dest.width == e.width && dest.height == e.height);
        const std::vector<std::uint8_t> after = pixelBytes(dest);  // every byte read: ASan checks
        FUZZ_CHECK(after == before || dest.width != source.width || dest.height != source.height);
        rgbImageFree(&dest);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    const std::size_t split = std::min(input.find('\0'), size);
    const std::string widthText = input.substr(0, split);
    const std::string heightText = split < size ? input.substr(split + 1).c_str() : "";
    const std::int32_t width = parseDimension(widthText.c_str());
    const std::int32_t height = parseDimension(heightText.c_str());
    FUZZ_CHECK(width == referenceNumber(widthText) && height == referenceNumber(heightText));
    static RgbImage pictures[] = {makePicture(7, 5), makePicture(1, 3), makePicture(4, 1)};
    for (const RgbImage& picture : pictures)
        checkResize(width, height, picture);
    return 0;
}
