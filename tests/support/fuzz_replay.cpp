// Runs a fuzz target outside libFuzzer: every file (or every file in every folder) named on the
// command line, then a fixed series of pseudo-random and mutated inputs. Deterministic.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {
std::vector<std::uint8_t> readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}
} // namespace

int main(int argc, char** argv) {
    std::vector<std::vector<std::uint8_t>> seeds;
    for (int i = 1; i < argc; ++i) {
        std::filesystem::path arg(argv[i]);
        if (std::filesystem::is_directory(arg)) {
            for (const auto& entry : std::filesystem::directory_iterator(arg))
                if (entry.is_regular_file())
                    seeds.push_back(readFile(entry.path()));
        } else {
            seeds.push_back(readFile(arg));
        }
    }
    seeds.emplace_back();
    std::mt19937 rng(12345);
    std::size_t runs = 0;
    for (const auto& seed : seeds) {
        LLVMFuzzerTestOneInput(seed.data(), seed.size());
        ++runs;
        for (int m = 0; m < 200; ++m) {
            auto input = seed;
            if (input.empty() || rng() % 4 == 0)
                input.resize(rng() % 70000);
            int flips = 1 + static_cast<int>(rng() % 16);
            for (int f = 0; f < flips && !input.empty(); ++f)
                input[rng() % input.size()] = static_cast<std::uint8_t>(rng());
            if (rng() % 3 == 0)
                input.resize(rng() % (input.size() + 1));
            LLVMFuzzerTestOneInput(input.data(), input.size());
            ++runs;
        }
    }
    std::printf("replayed %zu inputs\n", runs);
    return 0;
}
