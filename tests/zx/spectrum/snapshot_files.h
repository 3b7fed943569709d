// Writers of .SNA and .Z80 files for tests: a known machine state in every format the loaders
// read, written independently of them.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "z80/z80.h"

namespace spectest {

struct MachineImage {
    Z80Regs regs{};
    std::uint8_t border = 0;
    std::vector<std::uint8_t> ram = std::vector<std::uint8_t>(0xC000, 0); // 0x4000-0xFFFF
};

// A Spectrum 128: eight RAM banks, the paging port, the AY.
struct Machine128Image {
    Z80Regs regs{};
    std::uint8_t border = 0;
    std::uint8_t port7ffd = 0;
    std::uint8_t aySelected = 0;
    std::array<std::uint8_t, 16> ayRegs{};
    std::array<std::vector<std::uint8_t>, 8> banks;
    Machine128Image() { banks.fill(std::vector<std::uint8_t>(0x4000, 0)); }
    // The memory as the CPU sees it (0x4000-0xFFFF: banks 5, 2 and the paged one).
    std::uint8_t& at(unsigned address) {
        unsigned bank = address < 0x8000 ? 5 : address < 0xC000 ? 2 : (port7ffd & 7u);
        return banks[bank][address & 0x3FFF];
    }
};

// The .Z80 run-length code: runs of five or more equal bytes, and of two or more 0xED, become
// ED ED count byte; a lone 0xED takes the byte after it along literally.
std::vector<std::uint8_t> z80Compress(const std::vector<std::uint8_t>& data);

// PC is pushed onto the stack (SP - 2), as the format demands.
std::vector<std::uint8_t> makeSna(const MachineImage& m);
std::vector<std::uint8_t> makeZ80v1(const MachineImage& m, bool compressed);
// version 2 or 3; raw stores each page uncompressed with length 0xFFFF.
std::vector<std::uint8_t> makeZ80Paged(const MachineImage& m, int version, bool raw,
                                       std::uint8_t hardware = 0);

// 131,103 bytes, or 147,487 when bank 2 or 5 is paged at 0xC000. PC is stored, not pushed.
std::vector<std::uint8_t> makeSna128(const Machine128Image& m);
// Version 2 (hardware 3) or 3 (hardware 4), pages 3-10 in descending order, with the paging
// port and the AY's registers.
std::vector<std::uint8_t> makeZ80Paged128(const Machine128Image& m, int version, bool raw);

} // namespace spectest
