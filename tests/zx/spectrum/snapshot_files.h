// Writers of .SNA and .Z80 files for tests: a known machine state in every format the loaders
// read, written independently of them.
#pragma once

#include <cstdint>
#include <vector>

#include "z80/z80.h"

namespace spectest {

struct MachineImage {
    Z80Regs regs{};
    std::uint8_t border = 0;
    std::vector<std::uint8_t> ram = std::vector<std::uint8_t>(0xC000, 0); // 0x4000-0xFFFF
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

} // namespace spectest
