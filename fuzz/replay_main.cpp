// Runs a fuzz target's LLVMFuzzerTestOneInput once on every file named on the command line, or
// found (not recursively) in a folder named there, in name order; names starting with a dot are
// left out. A target that finds a fault
// aborts, so the replay fails with it; otherwise it prints how many inputs ran and exits 0.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

namespace fs = std::filesystem;

bool runFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "cannot read %s\n", path.c_str());
        return false;
    }
    const std::vector<char> bytes((std::istreambuf_iterator<char>(in)),
                                  std::istreambuf_iterator<char>());
    // A copy of exactly the input's size, so that a read past its end is caught by ASan.
    std::vector<std::uint8_t> input(bytes.begin(), bytes.end());
    LLVMFuzzerTestOneInput(input.empty() ? nullptr : input.data(), input.size());
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    std::size_t count = 0;
    for (int i = 1; i < argc; ++i) {
        const fs::path named = argv[i];
        std::error_code error;
        if (!fs::is_directory(named, error)) {
            if (!runFile(named)) return 1;
            ++count;
            continue;
        }
        std::vector<fs::path> files;
        for (const auto& entry : fs::directory_iterator(named, error)) {
            const bool hidden = entry.path().filename().string().front() == '.';
            if (entry.is_regular_file() && !hidden) files.push_back(entry.path());
        }
        std::sort(files.begin(), files.end());
        for (const auto& file : files) {
            if (!runFile(file)) return 1;
            ++count;
        }
    }
    std::printf("%zu inputs replayed without a fault\n", count);
    return 0;
}
