// Loading a typical 48K tape on the desktop's Spectrum: a BASIC loader, a screen and as much code
// as makes MINUTES of signal at the ROM's speed, all saved as the ROM saves them. Loaded with the
// ROM's blocks handed over at once (as Tapeloom does) and with every block played as signal
// (as custom and turbo loaders need), best of RUNS.
// Usage: bench_tape_load [MINUTES=5] [RUNS=3]
#include "clock.h"
#include "tape_loader.h"
#include "tape_snapshots.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

using namespace tapeloom;

namespace {

using Bytes = std::vector<std::uint8_t>;

void block(Bytes& tap, std::uint8_t flag, const Bytes& payload) {
    Bytes data{flag};
    data.insert(data.end(), payload.begin(), payload.end());
    std::uint8_t sum = 0;
    for (std::uint8_t byte : data)
        sum ^= byte;
    data.push_back(sum);
    tap.push_back(static_cast<std::uint8_t>(data.size()));
    tap.push_back(static_cast<std::uint8_t>(data.size() >> 8));
    tap.insert(tap.end(), data.begin(), data.end());
}

void header(Bytes& tap, std::uint8_t type, const char* name, unsigned length, unsigned param1,
            unsigned param2) {
    Bytes payload{type};
    const std::string padded = (std::string(name) + "          ").substr(0, 10);
    payload.insert(payload.end(), padded.begin(), padded.end());
    for (unsigned word : {length, param1, param2}) {
        payload.push_back(static_cast<std::uint8_t>(word));
        payload.push_back(static_cast<std::uint8_t>(word >> 8));
    }
    block(tap, 0x00, payload);
}

Bytes number(unsigned value) {
    Bytes out;
    for (char c : std::to_string(value))
        out.push_back(static_cast<std::uint8_t>(c));
    out.insert(out.end(), {0x0E, 0, 0, static_cast<std::uint8_t>(value),
                           static_cast<std::uint8_t>(value >> 8), 0});
    return out;
}

// 10 CLEAR start-1: LOAD ""SCREEN$: LOAD ""CODE: RANDOMIZE USR start; the code begins with
// EI / HALT / JR.
Bytes typicalTape(double minutes) {
    constexpr unsigned kStart = 24000;
    // Bits of random data average 1282.5 T-states a pulse pair: 8 bits a byte.
    const double wanted = minutes * 60.0 * 3500000.0 / (8 * 2 * 1282.5) - 6912;
    const auto codeBytes = static_cast<unsigned>(std::clamp(wanted, 256.0, 65535.0 - kStart));
    Bytes line{0xFD};
    Bytes clear = number(kStart - 1);
    line.insert(line.end(), clear.begin(), clear.end());
    line.insert(line.end(),
                {':', 0xEF, '"', '"', 0xAA, ':', 0xEF, '"', '"', 0xAF, ':', 0xF9, 0xC0});
    Bytes start = number(kStart);
    line.insert(line.end(), start.begin(), start.end());
    line.push_back(0x0D);
    Bytes program{0, 10, static_cast<std::uint8_t>(line.size()),
                  static_cast<std::uint8_t>(line.size() >> 8)};
    program.insert(program.end(), line.begin(), line.end());

    Bytes screen(6912), code(codeBytes);
    unsigned seed = 1;
    for (auto* bytes : {&screen, &code})
        for (auto& byte : *bytes)
            byte = static_cast<std::uint8_t>((seed = seed * 1103515245 + 12345) >> 16);
    code[0] = 0xFB; // EI
    code[1] = 0x76; // HALT
    code[2] = 0x18; // JR -3
    code[3] = 0xFD;

    Bytes tap;
    const auto programSize = static_cast<unsigned>(program.size());
    header(tap, 0, "loader", programSize, 10, programSize);
    block(tap, 0xFF, program);
    header(tap, 3, "screen", 6912, 16384, 32768);
    block(tap, 0xFF, screen);
    header(tap, 3, "code", codeBytes, kStart, 32768);
    block(tap, 0xFF, code);
    return tap;
}

} // namespace

int main(int argc, char** argv) {
    const double minutes = argc > 1 ? std::atof(argv[1]) : 5.0;
    const int runs = argc > 2 ? std::atoi(argv[2]) : 3;
    TapeFile tape = TapeFile::parse(typicalTape(minutes), "typical.tap");
    const ByteView rom = tapeRom();
    std::printf("tape: %zu bytes, %.1f minutes of signal\n", tape.bytes().size(),
                static_cast<double>(tape.duration()) / kTapeClockHz / 60.0);
    for (bool fast : {true, false}) {
        TapeLoadOptions options;
        options.fastRomBlocks = fast;
        LoadedTape loaded;
        double ms = test::bestMilliseconds(runs, [&] { loaded = loadTape(tape, rom, options); });
        const double emulated = static_cast<double>(loaded.machineTime) / kTapeClockHz;
        std::printf("%-22s %8.1f ms for %6.1f s of Spectrum time (%4.0fx real time), "
                    "%u blocks at once, PC %04X\n",
                    fast ? "ROM blocks at once:" : "every block as signal:", ms, emulated,
                    emulated * 1000.0 / ms, loaded.fastBlocks, loaded.state.regs.pc);
        if (loaded.state.regs.pc < 24000)
            return 1; // did not load
    }
    return 0;
}
