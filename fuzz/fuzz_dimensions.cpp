// Fuzz target for the number rule and the size derivation: the input holds the width text and
// the height text, separated by the first 0 byte (no 0 byte: the height text is empty). Both
// go through parseDimension, which must agree with a plain reading of the rule, and then through
// resizeImage against three small fixed pictures (7 x 5, 1 x 3, 4 x 1).
//
// The size the result must have, and whether it can be made at all, follows from the rules
// (fuzz_sizes.h). A request that would succeed with an intermediate picture
// above 262,144 pixels is skipped, so that every run stays short; requests that must fail
// are always made, however large, because they have to be refused quickly.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "app/convert.h"
#include "fuzz_check.h"
#include "fuzz_sizes.h"
#include "raster/rgb_image.h"
#include "resample/resize.h"

namespace {

constexpr std::int64_t workBudgetPixels = std::int64_t{1} << 18;

// The number rule read plainly: blanks, one sign, digits modulo 2^32.
std::int32_t referenceNumber(const std::string& text) {
    std::size_t at = 0;
    while (at < text.size() && std::strchr(" \t\n\v\f\r", text[at]) != nullptr && text[at] != 0) {
        ++at;
    }
    bool negative = false;
    if (at < text.size() && (text[at] == '+' || text[at] == '-')) negative = text[at++] == '-';
    std::uint64_t value = 0;
    for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at) {
        value =
            (value * 10 + static_cast<std::uint64_t>(text[at] - '0')) % (std::uint64_t{1} << 32);
    }
    if (negative) value = ((std::uint64_t{1} << 32) - value) % (std::uint64_t{1} << 32);
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(value));
}

std::vector<std::uint8_t> pixelBytes(const RgbImage& image) {
    std::vector<std::uint8_t> bytes;
    for (std::int32_t y = 0; y < image.height; ++y) {
        bytes.insert(bytes.end(), image.rows[y], image.rows[y] + 3 * image.width);
    }
    return bytes;
}

RgbImage makePicture(std::int32_t width, std::int32_t height) {
    RgbImage image{};
    FUZZ_CHECK(rgbImageAlloc(&image, width, height) == 0);
    for (std::int32_t y = 0; y < height; ++y) {
        for (std::int32_t x = 0; x < width; ++x) {
            std::uint8_t* pixel = image.rows[y] + 3 * x;
            pixel[0] = static_cast<std::uint8_t>(40 * x + 7);
            pixel[1] = static_cast<std::uint8_t>(50 * y + 3);
            pixel[2] = static_cast<std::uint8_t>(255 - 30 * (x + y));
        }
    }
    return image;
}

void checkResize(std::int32_t width, std::int32_t height, const RgbImage& source) {
    const fuzzsupport::Expectation e =
        fuzzsupport::expect(width, height, source.width, source.height);
    const bool mustSucceed = !e.refusedSize && !e.reductionFails;
    if (mustSucceed && e.workWidth * e.workHeight > workBudgetPixels) return;

    const std::vector<std::uint8_t> before = pixelBytes(source);
    RgbImage dest{};
    const std::int32_t rc = resizeImage(&dest, width, height, &source, 1);
    FUZZ_CHECK(pixelBytes(source) == before);  // the source is only read
    if (e.refusedSize) {
        FUZZ_CHECK(rc == statusResizeBadSize && dest.status == statusResizeBadSize);
        return;
    }
    if (e.reductionFails) {
        FUZZ_CHECK(rc == statusResizeEnlargeFailed || rc == statusResizeReduceFailed);
        FUZZ_CHECK(dest.status != 0);
        return;
    }
    FUZZ_CHECK(rc == 0 && dest.status == 0);
    FUZZ_CHECK(dest.width == e.width && dest.height == e.height);
    const std::vector<std::uint8_t> after = pixelBytes(dest);  // every byte read: ASan checks
    if (dest.width == source.width && dest.height == source.height) FUZZ_CHECK(after == before);
    rgbImageFree(&dest);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const char* bytes = reinterpret_cast<const char*>(data);
    const void* zero = size == 0 ? nullptr : std::memchr(bytes, 0, size);
    const std::size_t split =
        zero == nullptr ? size : static_cast<std::size_t>(static_cast<const char*>(zero) - bytes);
    const std::string widthText(bytes, split);
    const std::string heightText =
        split < size ? std::string(bytes + split + 1, size - split - 1).c_str() : std::string();

    const std::int32_t width = parseDimension(widthText.c_str());
    const std::int32_t height = parseDimension(heightText.c_str());
    FUZZ_CHECK(width == referenceNumber(widthText));
    FUZZ_CHECK(height == referenceNumber(heightText));

    static RgbImage pictures[] = {makePicture(7, 5), makePicture(1, 3), makePicture(4, 1)};
    for (const RgbImage& picture : pictures)
        checkResize(width, height, picture);
    return 0;
}
