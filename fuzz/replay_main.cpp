// Runs a fuzz target's LLVMFuzzerTestOneInput once on every file of the folders named on the
// command line (not recursively), in name order. A target that finds a fault aborts, so the
// replay fails with it; a folder that cannot be read fails it too.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

int main(int argc, char** argv) {
    std::vector<std::filesystem::path> files;
    for (int i = 1; i < argc; ++i) {
        for (const auto& entry : std::filesystem::directory_iterator(argv[i]))
            files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    for (const auto& file : files) {
        // Exactly the input's size, so that a read past its end is caught by ASan.
        std::vector<std::uint8_t> input(std::filesystem::file_size(file));
        std::ifstream in(file, std::ios::binary);
        if (!in.read(reinterpret_cast<char*>(input.data()), std::streamsize(input.size())))
            return 1;
        LLVMFuzzerTestOneInput(input.data(), input.size());
    }
    std::printf("%zu inputs replayed without a fault\n", files.size());
}
