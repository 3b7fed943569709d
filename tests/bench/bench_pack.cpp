// Packing N snapshots into a catalogue image compared with `cat` of the same bytes.
// Usage: bench_pack [COUNT=500] [SIZE=49179]
#include "clock.h"
#include "files.h"
#include "image_writer.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

using namespace tapeloom;

namespace {
struct NoProgress final : WriteProgress {
    void setMaximum(int) override {}
    void step() override {}
};
} // namespace

int main(int argc, char** argv) {
    const int count = argc > 1 ? std::atoi(argv[1]) : 500;
    const std::size_t size = argc > 2 ? std::strtoul(argv[2], nullptr, 10) : 49179;
    if (count <= 0)
        return 2;
    const test::TempDir temp;
    const std::string folder = temp.str();
    std::filesystem::create_directory(folder + "/snaps");

    SettingsFile settings;
    std::vector<CatalogueEntry> rows;
    std::vector<char> bytes(size);
    for (int i = 0; i < count; ++i) {
        std::string name = "game" + std::to_string(100000 + i);
        for (std::size_t b = 0; b < size; ++b)
            bytes[b] = static_cast<char>(b * 31 + static_cast<std::size_t>(i));
        std::ofstream(folder + "/snaps/" + name + ".sna", std::ios::binary)
            .write(bytes.data(), static_cast<std::streamsize>(size));
        settings.write(name, "Control", "Kempston");
        rows.push_back({name, "Kempston", name + ".sna", folder + "/snaps/"});
    }
    std::vector<std::uint8_t> image(146800, 0xEA);

    NoProgress progress;
    double pack = test::bestMilliseconds(
        3, [&] { writeCatalogueImage(folder + "/tpl.gba", rows, settings, image, progress); });
    const std::string catCommand = "cat " + folder + "/snaps/*.sna > " + folder + "/cat.out";
    double cat = test::bestMilliseconds(3, [&] {
        if (std::system(catCommand.c_str()) != 0)
            std::exit(1);
    });
    double megabytes = static_cast<double>(size) * count / 1e6;
    std::printf("pack %d snapshots of %zu bytes (%.1f MB): tapeloom %.1f ms, cat %.1f ms, "
                "ratio %.2f\n",
                count, size, megabytes, pack, cat, pack / cat);
    return 0;
}
