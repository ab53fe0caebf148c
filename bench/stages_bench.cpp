// Micro-benchmarks of the conversion's stages on the benchmark's input pictures: load (decode
// and hand out every pixel), reduce to a quarter of the width, enlarge to twice the size,
// dither, pack into a bitmap and write the WBMP file.
//
// Usage: varnock_stages FOLDER [--benchmark_... options]
// FOLDER holds the GIF files that make_inputs writes.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "mono/dither.h"
#include "mono/mono_bitmap.h"
#include "mono/wbmp_export.h"
#include "raster/gif_load.h"
#include "raster/rgb_image.h"
#include "resample/enlarge.h"
#include "resample/reduce.h"

namespace {

const char* const inputNames[] = {"photo-200x150", "photo-640x480", "photo-2000x1500",
                                  "drawing-1200x900"};

std::string inputFolder;
std::string scratchFile;

std::string inputPath(const char* name) {
    return inputFolder + "/" + name + ".gif";
}

// The decoded picture, or a failed benchmark.
bool loadInput(benchmark::State& state, const char* name, RgbImage* image) {
    if (loadGifImage(image, inputPath(name).c_str()) == 0) return true;
    state.SkipWithError("cannot load the input picture");
    return false;
}

std::size_t rowBytes(const RgbImage& image) {
    return 3 * static_cast<std::size_t>(image.width);
}

void copyPixels(const RgbImage& from, RgbImage* to) {
    for (std::int32_t y = 0; y < from.height; ++y) {
        std::memcpy(to->rows[y], from.rows[y], rowBytes(from));
    }
}

void setPixelCounter(benchmark::State& state, const RgbImage& image) {
    state.counters["pixels/s"] = benchmark::Counter(
        static_cast<double>(image.width) * image.height * static_cast<double>(state.iterations()),
        benchmark::Counter::kIsRate);
}

void loadStage(benchmark::State& state, const char* name) {
    RgbImage image{};
    for (auto _ : state) {
        if (!loadInput(state, name, &image)) return;
        benchmark::DoNotOptimize(image.rows[0][0]);
        rgbImageFree(&image);
    }
    if (loadInput(state, name, &image)) {
        setPixelCounter(state, image);
        rgbImageFree(&image);
    }
}

void reduceStage(benchmark::State& state, const char* name) {
    RgbImage source{};
    if (!loadInput(state, name, &source)) return;
    const std::int32_t width = source.width / 4;
    const std::int32_t height = width * source.height / source.width;
    for (auto _ : state) {
        RgbImage dest{};
        if (reduceImage(&dest, width, height, &source) != 0) {
            state.SkipWithError("reduction failed");
            break;
        }
        benchmark::DoNotOptimize(dest.rows[0][0]);
        rgbImageFree(&dest);
    }
    setPixelCounter(state, source);
    rgbImageFree(&source);
}

void enlargeStage(benchmark::State& state, const char* name) {
    RgbImage source{};
    if (!loadInput(state, name, &source)) return;
    for (auto _ : state) {
        RgbImage dest{};
        if (enlargeImage(&dest, 2 * source.width, 2 * source.height, &source) != 0) {
            state.SkipWithError("enlargement failed");
            break;
        }
        benchmark::DoNotOptimize(dest.rows[0][0]);
        rgbImageFree(&dest);
    }
    setPixelCounter(state, source);
    rgbImageFree(&source);
}

// Loads an input and a raster of its size to work on in place; false (the benchmark skipped)
// when either cannot be had.
bool loadWithWorkCopy(benchmark::State& state, const char* name, RgbImage* original,
                      RgbImage* work) {
    if (!loadInput(state, name, original)) return false;
    if (rgbImageAlloc(work, original->width, original->height) == 0) return true;
    state.SkipWithError("no memory");
    rgbImageFree(original);
    return false;
}

// Dithering works in place: every round starts again from the loaded colours (the copy is
// timed apart and left out).
void ditherStage(benchmark::State& state, const char* name) {
    RgbImage original{};
    RgbImage work{};
    if (!loadWithWorkCopy(state, name, &original, &work)) return;
    for (auto _ : state) {
        state.PauseTiming();
        copyPixels(original, &work);
        state.ResumeTiming();
        ditherToBlackWhite(&work, -1);
        benchmark::DoNotOptimize(work.rows[0][0]);
    }
    setPixelCounter(state, original);
    rgbImageFree(&work);
    rgbImageFree(&original);
}

// Packing every pixel into a bitmap with monoSetPixel and writing the WBMP file, from an
// already dithered picture.
void packWriteStage(benchmark::State& state, const char* name) {
    RgbImage image{};
    if (!loadInput(state, name, &image)) return;
    ditherToBlackWhite(&image, -1);
    for (auto _ : state) {
        MonoBitmap bitmap{};
        if (monoCreate(&bitmap, image.width, image.height, std::malloc) != 0) {
            state.SkipWithError("no memory");
            break;
        }
        for (std::int32_t y = 0; y < image.height; ++y) {
            const std::uint8_t* pixel = image.rows[y];
            for (std::int32_t x = 0; x < image.width; ++x, pixel += 3) {
                monoSetPixel(&bitmap, x, y, pixel[0] > 127 ? 1 : 0);
            }
        }
        std::FILE* stream = std::fopen(scratchFile.c_str(), "wb");
        if (stream != nullptr) {
            monoWriteWbmp(&bitmap, stream);
            std::fclose(stream);
        }
        monoFree(&bitmap, std::free);
    }
    setPixelCounter(state, image);
    rgbImageFree(&image);
}

// The whole export (dither, pack, write) as the program runs it.
void exportStage(benchmark::State& state, const char* name) {
    RgbImage original{};
    RgbImage work{};
    if (!loadWithWorkCopy(state, name, &original, &work)) return;
    for (auto _ : state) {
        state.PauseTiming();
        copyPixels(original, &work);
        state.ResumeTiming();
        if (writeWbmpFile(&work, scratchFile.c_str()) != 0) {
            state.SkipWithError("cannot write the WBMP file");
            break;
        }
    }
    setPixelCounter(state, original);
    rgbImageFree(&work);
    rgbImageFree(&original);
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FOLDER [--benchmark_... options]\n", argv[0]);
        return 2;
    }
    inputFolder = argv[1];
    scratchFile = inputFolder + "/stage-output.wbmp";
    using Stage = void (*)(benchmark::State&, const char*);
    const struct {
        const char* name;
        Stage run;
    } stages[] = {
        {"load", loadStage},     {"reduce_quarter", reduceStage}, {"enlarge_2x", enlargeStage},
        {"dither", ditherStage}, {"pack_write", packWriteStage},  {"export_wbmp", exportStage}};
    for (const auto& stage : stages) {
        for (const char* input : inputNames) {
            benchmark::RegisterBenchmark((std::string(stage.name) + "/" + input).c_str(), stage.run,
                                         input)
                ->Unit(benchmark::kMillisecond);
        }
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::remove(scratchFile.c_str());
    return 0;
}
