// Runs every case of the shared Z80 instruction vectors (tests.in / tests.expected) on the core
// and compares registers with MEMPTR, halted state, T-states and every byte of memory.
#include "z80/z80.h"

#include <gtest/gtest.h>

#include <array>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct MemoryBlock {
    unsigned address = 0;
    std::vector<uint8_t> bytes;
};

struct VectorState {
    std::array<unsigned, 13> pairs{}; // AF BC DE HL AF' BC' DE' HL' IX IY SP PC MEMPTR
    unsigned i = 0, r = 0, iff1 = 0, iff2 = 0, im = 0, halted = 0;
    int tstates = 0;
    std::vector<MemoryBlock> memory;
};

struct VectorCase {
    std::string name;
    VectorState in, expected;
};

std::string vectorDir() {
    return std::string(TAPELOOM_SHARED_DIR) + "/z80-tests/";
}

// Memory lines: "<address> <byte> ... -1", the list ends with a lone "-1".
void readMemory(std::istream& file, std::vector<MemoryBlock>& memory) {
    std::string word;
    while (file >> word && word != "-1") {
        MemoryBlock block;
        block.address = static_cast<unsigned>(std::stoul(word, nullptr, 16));
        while (file >> word && word != "-1")
            block.bytes.push_back(static_cast<uint8_t>(std::stoul(word, nullptr, 16)));
        memory.push_back(block);
    }
}

void readRegisters(std::istream& file, VectorState& state) {
    for (unsigned& pair : state.pairs)
        file >> std::hex >> pair;
    file >> std::hex >> state.i >> state.r >> std::dec >> state.iff1 >> state.iff2 >> state.im >>
        state.halted >> state.tstates;
}

std::vector<VectorCase> loadCases() {
    std::ifstream in(vectorDir() + "tests.in");
    std::ifstream expected(vectorDir() + "tests.expected");
    std::vector<VectorCase> cases;
    std::map<std::string, size_t> byName;
    std::string name;
    while (in >> name) {
        VectorCase c;
        c.name = name;
        readRegisters(in, c.in);
        readMemory(in, c.in.memory);
        byName[name] = cases.size();
        cases.push_back(c);
    }
    // Expected: name, event lines (start with a space), registers, memory lines, blank line.
    std::string line;
    while (std::getline(expected, line)) {
        if (line.empty())
            continue;
        auto found = byName.find(line);
        if (found == byName.end())
            continue;
        VectorState& state = cases[found->second].expected;
        while (expected.peek() == ' ')
            std::getline(expected, line);
        std::getline(expected, line);
        std::string registers = line;
        std::getline(expected, line);
        std::istringstream registerLines(registers + " " + line);
        readRegisters(registerLines, state);
        while (std::getline(expected, line) && !line.empty()) {
            std::istringstream memoryLine(line + " -1");
            readMemory(memoryLine, state.memory);
        }
    }
    return cases;
}

uint8_t portHighByte(void*, uint16_t port) {
    return static_cast<uint8_t>(port >> 8);
}

struct RunResult {
    Z80Regs regs{};
    int tstates = 0;
    std::vector<uint8_t> memory;
};

std::vector<uint8_t> fuseFill() {
    std::vector<uint8_t> memory(0x10000);
    static const uint8_t pattern[4] = {0xDE, 0xAD, 0xBE, 0xEF};
    for (size_t a = 0; a < memory.size(); a++)
        memory[a] = pattern[a % 4];
    return memory;
}

void apply(std::vector<uint8_t>& memory, const std::vector<MemoryBlock>& blocks) {
    for (const MemoryBlock& block : blocks)
        for (size_t k = 0; k < block.bytes.size(); k++)
            memory[(block.address + k) & 0xFFFF] = block.bytes[k];
}

RunResult run(const VectorCase& c) {
    RunResult result;
    result.memory = fuseFill();
    apply(result.memory, c.in.memory);
    Z80 z;
    z80_init(&z);
    for (int page = 0; page < 4; page++)
        z80_map_page(&z, page, &result.memory[page * 0x4000], &result.memory[page * 0x4000]);
    z80_set_io(&z, portHighByte, nullptr, nullptr);
    Z80Regs regs{};
    const auto& p = c.in.pairs;
    regs.af = uint16_t(p[0]), regs.bc = uint16_t(p[1]), regs.de = uint16_t(p[2]);
    regs.hl = uint16_t(p[3]), regs.af_ = uint16_t(p[4]), regs.bc_ = uint16_t(p[5]);
    regs.de_ = uint16_t(p[6]), regs.hl_ = uint16_t(p[7]), regs.ix = uint16_t(p[8]);
    regs.iy = uint16_t(p[9]), regs.sp = uint16_t(p[10]), regs.pc = uint16_t(p[11]);
    regs.wz = uint16_t(p[12]);
    regs.i = uint8_t(c.in.i), regs.r = uint8_t(c.in.r), regs.iff1 = uint8_t(c.in.iff1);
    regs.iff2 = uint8_t(c.in.iff2), regs.im = uint8_t(c.in.im), regs.halted = uint8_t(c.in.halted);
    z80_set_regs(&z, &regs);
    z80_set_tstates(&z, 0);
    result.tstates = z80_run(&z, c.in.tstates);
    z80_get_regs(&z, &result.regs);
    return result;
}

std::string hex(unsigned value, int width) {
    std::ostringstream out;
    out << std::hex;
    out.width(width);
    out.fill('0');
    out << value;
    return out.str();
}

// Empty when the run matches the expectation, else what differs.
std::string compare(const VectorCase& c, const RunResult& got) {
    static const char* const names[13] = {"AF",  "BC", "DE", "HL", "AF'", "BC'",   "DE'",
                                          "HL'", "IX", "IY", "SP", "PC",  "MEMPTR"};
    const Z80Regs& g = got.regs;
    const unsigned actual[13] = {g.af,  g.bc, g.de, g.hl, g.af_, g.bc_, g.de_,
                                 g.hl_, g.ix, g.iy, g.sp, g.pc,  g.wz};
    std::string diff;
    const VectorState& e = c.expected;
    for (int k = 0; k < 13; k++)
        if (actual[k] != e.pairs[k])
            diff += std::string(" ") + names[k] + "=" + hex(actual[k], 4) + "(want " +
                    hex(e.pairs[k], 4) + ")";
    auto check = [&](const char* name, unsigned a, unsigned want) {
        if (a != want)
            diff += std::string(" ") + name + "=" + std::to_string(a) + "(want " +
                    std::to_string(want) + ")";
    };
    check("I", g.i, e.i);
    check("R", g.r, e.r);
    check("IFF1", g.iff1, e.iff1);
    check("IFF2", g.iff2, e.iff2);
    check("IM", g.im, e.im);
    check("halted", g.halted, e.halted);
    check("T", unsigned(got.tstates), unsigned(e.tstates));
    std::vector<uint8_t> want = fuseFill();
    apply(want, c.in.memory);
    apply(want, e.memory);
    for (size_t a = 0; a < want.size(); a++)
        if (got.memory[a] != want[a])
            diff += " mem[" + hex(unsigned(a), 4) + "]=" + hex(got.memory[a], 2) + "(want " +
                    hex(want[a], 2) + ")";
    return diff;
}

TEST(Z80Vectors, EveryCaseMatchesFuseResults) {
    std::vector<VectorCase> cases = loadCases();
    ASSERT_EQ(cases.size(), 1356u) << "vectors not found under " << vectorDir();
    std::vector<std::string> failures;
    std::string details;
    for (const VectorCase& c : cases) {
        std::string diff = compare(c, run(c));
        if (!diff.empty()) {
            failures.push_back(c.name);
            if (failures.size() <= 40)
                details += c.name + ":" + diff + "\n";
        }
    }
    std::string names;
    for (const std::string& name : failures)
        names += name + " ";
    EXPECT_TRUE(failures.empty()) << failures.size() << " of " << cases.size()
                                  << " cases fail: " << names << "\n"
                                  << details;
}

} // namespace
