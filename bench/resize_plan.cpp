// Prints what varnock does with a size request on a GIF of a given size, as the resampling code
// decides it: the target size and the path, one line "WIDTH HEIGHT PATH" with PATH one of
//   native            both sizes 0: the GIF's own size
//   reduce            the target fits in the source on both axes
//   enlarge-EWxEH     enlarged first to EW x EH (enlargedSize), then reduced
//   refused-size      neither size positive, or a derived size beyond 32 bits
//   refused-edges     the reduction would leave its 32-bit edge range (refused before building)
//   refused-raster    the enlargement would need more than one raster block holds
// Usage: resize_plan SOURCE_WIDTH SOURCE_HEIGHT WIDTH HEIGHT (numbers as the command line reads
// them). scripts/bench.sh asks it instead of computing the sizes itself.
#include <cstdint>
#include <cstdio>

#include "app/convert.h"
#include "resample/resize.h"

int main(int argc, char** argv) {
    if (argc != 5) {
        std::fprintf(stderr, "usage: %s SOURCE_WIDTH SOURCE_HEIGHT WIDTH HEIGHT\n", argv[0]);
        return 2;
    }
    const std::int32_t sourceWidth = parseDimension(argv[1]);
    const std::int32_t sourceHeight = parseDimension(argv[2]);
    const std::int32_t width = parseDimension(argv[3]);
    const std::int32_t height = parseDimension(argv[4]);
    if (sourceWidth < 1 || sourceHeight < 1) return 2;
    if (width == 0 && height == 0) {
        std::printf("%d %d native\n", sourceWidth, sourceHeight);
        return 0;
    }
    // resizePlan decides as resizeImage and the conversion do; the reduction reads the source
    // when the work size is the source's, else its enlargement.
    ResizePlan plan{};
    const std::int32_t result = resizePlan(width, height, sourceWidth, sourceHeight, 1, &plan);
    const bool enlarged = plan.workWidth != sourceWidth || plan.workHeight != sourceHeight;
    if (result == statusResizeBadSize) {
        std::printf("0 0 refused-size\n");
    } else if (result == statusResizeEnlargeFailed) {
        std::printf("%d %d refused-raster\n", plan.width, plan.height);
    } else if (result == statusResizeReduceFailed) {
        std::printf("%d %d refused-edges\n", plan.width, plan.height);
    } else if (enlarged) {
        std::printf("%d %d enlarge-%dx%d\n", plan.width, plan.height, plan.workWidth,
                    plan.workHeight);
    } else {
        std::printf("%d %d reduce\n", plan.width, plan.height);
    }
    return 0;
}
