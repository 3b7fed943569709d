// Playing tapes: a typical 48K tape of MINUTES of signal (the shared games' .tap files one after
// another until it is that long), read and played edge by edge, sampled the way a loader polls
// the EAR bit, and the same signal as a CSW recording (Z-RLE, 44.1 kHz).
// Usage: bench_tape [MINUTES=5] [TAPES_FOLDER]
#include "clock.h"
#include "tape_pulses.h"

#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

using namespace tapeloom;

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes readBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

struct Played {
    std::uint64_t edges = 0;
    std::uint64_t end = 0;
};

Played playEdges(const TapeFile& tape) {
    TapePlayer player(tape);
    Played played;
    while (player.nextEdge() != TapePlayer::kNever) {
        played.end = player.nextEdge();
        player.advance();
        ++played.edges;
    }
    return played;
}

// A loader's edge loop reads the port about every 59 T-states.
bool pollEar(const TapeFile& tape, std::uint64_t until) {
    TapePlayer player(tape);
    bool sum = false;
    for (std::uint64_t t = 0; t < until; t += 59)
        sum ^= player.levelAt(t);
    return sum;
}

// The tape's pulses as a TZX CSW block at 44.1 kHz, Z-RLE.
Bytes asCsw(const TapeFile& tape) {
    Bytes rle;
    TapePlayer player(tape);
    double samplesPerT = 44100.0 / kTapeClockHz;
    std::uint64_t last = 0;
    double carried = 0;
    while (player.nextEdge() != TapePlayer::kNever) {
        std::uint64_t edge = player.nextEdge();
        double exact = static_cast<double>(edge - last) * samplesPerT + carried;
        auto samples = std::max<std::uint32_t>(1, static_cast<std::uint32_t>(exact + 0.5));
        carried = exact - samples;
        if (samples < 256) {
            rle.push_back(static_cast<std::uint8_t>(samples));
        } else {
            rle.push_back(0);
            for (int i = 0; i < 4; ++i)
                rle.push_back(static_cast<std::uint8_t>(samples >> (8 * i)));
        }
        last = edge;
        player.advance();
    }
    uLongf size = compressBound(static_cast<uLong>(rle.size()));
    Bytes packed(size);
    compress2(packed.data(), &size, rle.data(), static_cast<uLong>(rle.size()), 9);
    packed.resize(size);
    Bytes tzx{'Z', 'X', 'T', 'a', 'p', 'e', '!', 0x1A, 1, 20, 0x18};
    auto put = [&](std::uint64_t value, int bytes) {
        for (int i = 0; i < bytes; ++i)
            tzx.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
    };
    put(10 + packed.size(), 4);
    put(0, 2);
    put(44100, 3);
    tzx.push_back(2);
    put(0, 4);
    tzx.insert(tzx.end(), packed.begin(), packed.end());
    return tzx;
}

void report(const char* what, const TapeFile& tape, std::size_t fileBytes) {
    double minutes = static_cast<double>(tape.duration()) / kTapeClockHz / 60;
    double readMs = test::bestMilliseconds(3, [&] {
        TapeFile again = TapeFile::parse(Bytes(tape.bytes().begin(), tape.bytes().end()), "b");
        if (again.blocks().size() != tape.blocks().size())
            std::exit(1);
    });
    Played played;
    double edgeMs = test::bestMilliseconds(3, [&] { played = playEdges(tape); });
    volatile bool sink = false;
    double pollMs = test::bestMilliseconds(3, [&] { sink = pollEar(tape, played.end); });
    double seconds = static_cast<double>(played.end) / kTapeClockHz;
    std::printf("%s: %.2f min of signal, %zu blocks, %zu bytes, %llu edges\n", what, minutes,
                tape.blocks().size(), fileBytes, static_cast<unsigned long long>(played.edges));
    std::printf("  read %.2f ms; edges %.1f ms = %.1f M edges/s, %.0f x real time; "
                "EAR polled every 59 T-states %.1f ms (%.0f x real time)\n",
                readMs, edgeMs, static_cast<double>(played.edges) / edgeMs / 1000,
                seconds * 1000 / edgeMs, pollMs, seconds * 1000 / pollMs);
}

} // namespace

int main(int argc, char** argv) {
    double minutes = argc > 1 ? std::atof(argv[1]) : 5;
    std::filesystem::path folder =
        argc > 2 ? argv[2] : std::filesystem::path(TAPELOOM_SHARED_DIR) / "games/tapes";
    std::vector<std::filesystem::path> taps;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        if (entry.path().extension() == ".tap")
            taps.push_back(entry.path());
    std::sort(taps.begin(), taps.end());
    if (taps.empty() || minutes <= 0) {
        std::fprintf(stderr, "bench_tape: no .tap files in %s\n", folder.c_str());
        return 2;
    }
    for (const auto& path : taps) {
        Bytes bytes = readBytes(path);
        TapeFile tape = TapeFile::parse(bytes, path.filename().string());
        report(path.filename().c_str(), tape, bytes.size());
    }
    // .tap files join into one tape by putting them one after another.
    Bytes joined;
    const auto wanted = static_cast<std::uint64_t>(minutes * 60 * kTapeClockHz);
    for (std::size_t i = 0;; ++i) {
        Bytes bytes = readBytes(taps[i % taps.size()]);
        joined.insert(joined.end(), bytes.begin(), bytes.end());
        if (TapeFile::parse(joined, "joined").duration() >= wanted)
            break;
    }
    TapeFile tape = TapeFile::parse(joined, "joined.tap");
    report("joined .tap files", tape, joined.size());
    Bytes csw = asCsw(tape);
    report("the same as CSW Z-RLE", TapeFile::parse(csw, "joined.tzx"), csw.size());
    return 0;
}
