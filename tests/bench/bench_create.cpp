// "Create TPL" for COUNT snapshots whose names have capitals (GAME0001.Z80, ...), as the window
// runs it: the check of every snapshot, the writing beside the old image, the sync and the
// rename. Twice: with the rows as Add makes them (the picked file's name kept), and with rows
// known by their lower-case names only (found through one listing of the folder per build).
// Usage: bench_create [COUNT=2000] [SIZE=16000]
#include "build_command.h"
#include "catalogue.h"
#include "clock.h"
#include "core_doubles.h"
#include "files.h"
#include "snapshots.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

using namespace tapeloom;

namespace {

// A version-1 .Z80 of about `size` bytes: a compressed memory with that many bytes that do not
// compress, so every file is a real snapshot the check unpacks whole.
test::Bytes snapshotOfSize(std::size_t size, unsigned seed) {
    test::Bytes memory(48 * 1024, 0);
    std::uint32_t state = seed * 2654435761u + 1;
    for (std::size_t i = 0; i < memory.size() && i < size; ++i) {
        state = state * 1103515245u + 12345u;
        memory[i] = static_cast<std::uint8_t>(state >> 16) | 1; // never a run of ED or zeros
    }
    return test::makeZ80(memory, 1);
}

} // namespace

int main(int argc, char** argv) {
    const int count = argc > 1 ? std::atoi(argv[1]) : 2000;
    const std::size_t size = argc > 2 ? std::strtoul(argv[2], nullptr, 10) : 16000;
    if (count <= 0)
        return 2;
    const test::TempDir temp;
    const auto folder = temp.path() / "SNAPS";
    std::filesystem::create_directory(folder);
    std::vector<std::filesystem::path> files;
    std::uint64_t total = 0;
    for (int i = 0; i < count; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "GAME%04d.Z80", i);
        const test::Bytes bytes = snapshotOfSize(size, static_cast<unsigned>(i));
        test::writeFile(folder / name, bytes);
        files.push_back(folder / name);
        total += bytes.size();
    }
    Session session = openSession(temp.path());
    session.settings.write("Control_Kempston", "Button A", "JOY FIRE");
    Catalogue catalogue;
    catalogue.addSnapshots(files, session.settings, session.defaultScheme);
    std::vector<CatalogueEntry> lowerOnly = catalogue.rows();
    for (auto& row : lowerOnly)
        row.diskName.clear();
    const auto image = findDataItem("tpl");
    if (!image)
        return 1;

    auto run = [&](const std::vector<CatalogueEntry>& rows) {
        return test::bestMilliseconds(3, [&] {
            test::ScriptedHost host;
            host.current = temp.path();
            host.answers = {Answer::Yes, Answer::Yes}; // replace; go on past the cartridge
            if (createTpl(rows, session.settings, host, *image) != BuildOutcome::Created)
                std::exit(1);
        });
    };
    const double picked = run(catalogue.rows());
    const double lower = run(lowerOnly);
    std::printf("create %d snapshots with capitals (%.1f MB, image %.1f MB): %.0f ms with the "
                "picked names, %.0f ms found by lower-case name\n",
                count, static_cast<double>(total) / 1e6,
                static_cast<double>(std::filesystem::file_size(temp.path() / "tpl.gba")) / 1e6,
                picked, lower);
    return 0;
}
