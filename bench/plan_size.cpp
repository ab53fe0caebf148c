// The sizes a resize request comes to, asked of the converter's own rules, for scripts.
//
// Usage: plan_size SOURCEWIDTH SOURCEHEIGHT WIDTH HEIGHT
// Prints "TARGETWIDTH TARGETHEIGHT WORKWIDTH WORKHEIGHT RESULT": the target, the size of the
// picture the reduction reads (the source's, or its enlargement's), and resizePlan's result
// (0 planned; 0x200000, 0x400000 or 0x800000 refused, with the sizes known by then).
#include <cstdio>
#include <cstdlib>

#include "resample/resize.h"

int main(int argc, char** argv) {
    if (argc != 5) {
        std::fprintf(stderr, "usage: %s SOURCEWIDTH SOURCEHEIGHT WIDTH HEIGHT\n", argv[0]);
        return 2;
    }
    const auto number = [](const char* text) { return static_cast<std::int32_t>(std::atol(text)); };
    const std::int32_t sourceWidth = number(argv[1]);
    const std::int32_t sourceHeight = number(argv[2]);
    if (sourceWidth < 1 || sourceHeight < 1) {
        std::fprintf(stderr, "%s: the source needs at least one pixel a side\n", argv[0]);
        return 2;
    }
    ResizePlan plan{};
    const std::int32_t result =
        resizePlan(number(argv[3]), number(argv[4]), sourceWidth, sourceHeight, 1, &plan);
    std::printf("%d %d %d %d 0x%x\n", plan.width, plan.height, plan.workWidth, plan.workHeight,
                static_cast<unsigned>(result));
    return 0;
}
