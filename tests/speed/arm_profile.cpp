#include <mgba/flags.h> // first: fixes the layout of mGBA's structures

#include "arm_profile.h"

#include "speed_run.h"

#include <mgba/core/core.h>
#include <mgba/core/timing.h>
#include <mgba/internal/arm/arm.h>

#include <algorithm>
#include <cinttypes>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace speed {
namespace {

struct Symbol {
    std::uint32_t address;
    std::string name;
};

// The emulator image's symbols, by address (nm of the ELF the cartridge was made from).
std::vector<Symbol> loadSymbols() {
    std::string command = std::string(TAPELOOM_GBA_NM) + " -n " + TAPELOOM_TPL_ELF;
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
    if (!pipe)
        throw std::runtime_error("cannot run " + command);
    std::vector<Symbol> symbols;
    char line[512];
    while (std::fgets(line, sizeof line, pipe.get())) {
        unsigned address = 0;
        char type = 0;
        char name[400];
        if (std::sscanf(line, "%x %c %399s", &address, &type, name) == 3 &&
            (type == 't' || type == 'T' || type == 'W'))
            symbols.push_back({address, name});
    }
    if (symbols.empty())
        throw std::runtime_error("no symbols from " + command);
    return symbols;
}

std::string symbolAt(const std::vector<Symbol>& symbols, std::uint32_t address) {
    if (address < 0x4000)
        return "(BIOS)";
    auto it = std::upper_bound(symbols.begin(), symbols.end(), address,
                               [](std::uint32_t a, const Symbol& s) { return a < s.address; });
    if (it == symbols.begin())
        return "?";
    return std::prev(it)->name;
}

std::uint32_t addressOf(const std::vector<Symbol>& symbols, const char* name) {
    for (const Symbol& s : symbols)
        if (s.name == name)
            return s.address;
    return 0;
}

// Names of the ED instructions (the group the fast path leaves to the C loop most often).
std::string edName(std::uint8_t op) {
    static const char* const r[8] = {"B", "C", "D", "E", "H", "L", "(HL)", "A"};
    static const char* const rr[4] = {"BC", "DE", "HL", "SP"};
    static const char* const block[4][4] = {{"LDI", "CPI", "INI", "OUTI"},
                                            {"LDD", "CPD", "IND", "OUTD"},
                                            {"LDIR", "CPIR", "INIR", "OTIR"},
                                            {"LDDR", "CPDR", "INDR", "OTDR"}};
    int y = (op >> 3) & 7, z = op & 7;
    if (op >= 0xA0 && op <= 0xBB && z <= 3)
        return block[y - 4][z];
    if (op < 0x40 || op > 0x7F)
        return "NOP*";
    switch (z) {
    case 0:
        return y == 6 ? "IN (C)" : std::string("IN ") + r[y] + ",(C)";
    case 1:
        return y == 6 ? "OUT (C),0" : std::string("OUT (C),") + r[y];
    case 2:
        return std::string(y & 1 ? "ADC HL," : "SBC HL,") + rr[y >> 1];
    case 3:
        return y & 1 ? std::string("LD ") + rr[y >> 1] + ",(nn)"
                     : std::string("LD (nn),") + rr[y >> 1];
    case 4:
        return "NEG";
    case 5:
        return y == 1 ? "RETI" : "RETN";
    case 6:
        return "IM";
    default: {
        static const char* const misc[8] = {"LD I,A", "LD R,A", "LD A,I", "LD A,R",
                                            "RRD",    "RLD",    "NOP*",   "NOP*"};
        return misc[y];
    }
    }
}

std::string opcodeName(gbatest::Gba& gba, std::uint32_t at) {
    std::uint8_t b0 = gba.read8(at), b1 = gba.read8(at + 1);
    char text[64];
    if (b0 == 0xED) {
        std::snprintf(text, sizeof text, "ED %02X %s", b1, edName(b1).c_str());
    } else if ((b0 == 0xDD || b0 == 0xFD) && b1 == 0xCB) {
        std::snprintf(text, sizeof text, "%02X CB d %02X", b0, gba.read8(at + 3));
    } else if (b0 == 0xDD || b0 == 0xFD || b0 == 0xCB) {
        std::snprintf(text, sizeof text, "%02X %02X", b0, b1);
    } else {
        std::snprintf(text, sizeof text, "%02X%s", b0, b0 == 0x76 ? " HALT" : "");
    }
    return text;
}

void printTop(std::FILE* out, const char* title, const std::map<std::string, std::uint64_t>& counts,
              std::uint64_t total, std::size_t rows) {
    std::vector<std::pair<std::string, std::uint64_t>> sorted(counts.begin(), counts.end());
    std::sort(sorted.begin(), sorted.end(),
              [](const auto& a, const auto& b) { return a.second > b.second; });
    std::fprintf(out, "  %s\n", title);
    for (std::size_t i = 0; i < sorted.size() && i < rows; ++i)
        std::fprintf(out, "    %6.2f %%  %10" PRIu64 "  %s\n",
                     100.0 * static_cast<double>(sorted[i].second) / static_cast<double>(total),
                     sorted[i].second, sorted[i].first.c_str());
}

} // namespace

ArmProfile profile(const Workload& workload, std::uint32_t frames) {
    static const std::vector<Symbol> symbols = loadSymbols();
    const std::uint32_t slowEntry = addressOf(symbols, "slow_at_pc");
    const std::uint32_t slowReturn = addressOf(symbols, "reload");

    WorkloadRun run(workload);
    run.runUntilFrame(workload.warmup);
    mCore* core = run.gba().core();
    auto* cpu = static_cast<ARMCore*>(core->cpu);
    ArmProfile result;
    result.frames = frames;
    std::map<std::uint32_t, std::uint64_t> byAddress;
    std::string slowOp; // the Z80 instruction the C loop is running, if any
    std::uint32_t end = run.frames() + frames;
    for (std::uint64_t steps = 0; run.frames() < end; ++steps) {
        if (steps % 65536 == 0)
            run.applyScript();
        bool thumb = cpu->executionMode == MODE_THUMB;
        // Between instructions mGBA's PC is one instruction past the next one (the pipeline).
        std::uint32_t pc = static_cast<std::uint32_t>(cpu->gprs[ARM_PC]) - (thumb ? 2u : 4u);
        if (pc == slowEntry && slowEntry)
            slowOp = opcodeName(run.gba(), static_cast<std::uint32_t>(cpu->gprs[9]));
        else if (pc == slowReturn)
            slowOp.clear();
        std::uint64_t before = mTimingGlobalTime(core->timing);
        core->step(core);
        std::uint64_t cycles = mTimingGlobalTime(core->timing) - before;
        byAddress[pc] += cycles;
        if (!slowOp.empty())
            result.slowOpcodes[slowOp] += cycles;
        result.cycles += cycles;
    }
    for (const auto& [address, cycles] : byAddress)
        result.bySymbol[symbolAt(symbols, address)] += cycles;
    return result;
}

void printProfile(const std::string& name, const ArmProfile& p, std::FILE* out) {
    std::fprintf(out, "%s: %" PRIu64 " GBA cycles over %u frames (%.0f per frame)\n", name.c_str(),
                 p.cycles, p.frames, static_cast<double>(p.cycles) / p.frames);
    printTop(out, "symbols", p.bySymbol, p.cycles, 25);
    if (!p.slowOpcodes.empty())
        printTop(out,
                 "Z80 instructions run by the C loop (cycles from the hand-over to the return)",
                 p.slowOpcodes, p.cycles, 15);
    std::fflush(out);
}

} // namespace speed
