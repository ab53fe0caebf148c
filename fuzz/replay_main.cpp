// Runs a fuzz target once on every file of the folders named on the command line. A target that
// finds a fault aborts, and so does a folder that cannot be read.
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i)
        for (const auto& entry : std::filesystem::directory_iterator(argv[i])) {
            // Exactly the input's size, so that a read past its end is caught by ASan.
            std::vector<std::uint8_t> input(entry.file_size());
            std::ifstream(entry.path(), std::ios::binary)
                .read(reinterpret_cast<char*>(input.data()), std::streamsize(input.size()));
            LLVMFuzzerTestOneInput(input.data(), input.size());
        }
}
