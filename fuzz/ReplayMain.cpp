// Runs a fuzz target once on every file found (recursively) under the folders
// given on the command line, so that the corpus is checked by every test run.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

int main(int argc, char** argv)
{
    namespace fs = std::filesystem;
    size_t count = 0;
    for (int i = 1; i < argc; ++i) {
        std::error_code error;
        if (!fs::exists(argv[i], error)) {
            continue;
        }
        for (const auto& entry : fs::recursive_directory_iterator(argv[i], error)) {
            if (!entry.is_regular_file()) {
                continue;
            }
            std::ifstream in(entry.path(), std::ios::binary);
            const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
            LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
            ++count;
        }
    }
    // Plus the inputs every parser must survive whatever its corpus holds.
    LLVMFuzzerTestOneInput(nullptr, 0);
    const std::vector<uint8_t> ones(70000, 0xFF);
    LLVMFuzzerTestOneInput(ones.data(), ones.size());
    std::printf("replayed %zu inputs\n", count + 2);
    return 0;
}
