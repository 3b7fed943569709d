#include "z80_writer.h"

#include <algorithm>
#include <utility>

namespace tapeloom {

namespace {

constexpr std::size_t kPageSize = 0x4000;
constexpr std::uint16_t kVersion3Extra = 54;
constexpr std::int32_t kFrameTStates = 69888;

void put16(std::vector<std::uint8_t>& out, std::size_t at, unsigned value) {
    out[at] = static_cast<std::uint8_t>(value);
    out[at + 1] = static_cast<std::uint8_t>(value >> 8);
}

// The counter of version 3 headers: a quarter of the frame (counted down) and the T-states left
// in that quarter, as readers work it back: ((hi + 1) % 4 + 1) * quarter - (lo + 1).
void putTStates(std::vector<std::uint8_t>& out, std::int32_t tstate) {
    constexpr std::int32_t quarter = kFrameTStates / 4;
    std::int32_t t = std::clamp<std::int32_t>(tstate, 0, kFrameTStates - 1);
    std::int32_t k = t / quarter;
    put16(out, 55, static_cast<unsigned>((k + 1) * quarter - t - 1));
    out[57] = static_cast<std::uint8_t>((k + 3) % 4);
}

} // namespace

std::vector<std::uint8_t> compressZ80Block(std::span<const std::uint8_t> data) {
    std::vector<std::uint8_t> out;
    out.reserve(data.size());
    std::size_t i = 0;
    while (i < data.size()) {
        std::uint8_t byte = data[i];
        std::size_t run = 1;
        while (i + run < data.size() && data[i + run] == byte && run < 255)
            ++run;
        if (run >= 5 || (byte == 0xED && run >= 2)) {
            out.insert(out.end(), {0xED, 0xED, static_cast<std::uint8_t>(run), byte});
            i += run;
        } else if (byte == 0xED) {
            // A lone ED: the next byte goes out as it is, so that ED ED never appears unmeant.
            out.push_back(byte);
            if (i + 1 < data.size())
                out.push_back(data[i + 1]);
            i += 2;
        } else {
            out.push_back(byte);
            ++i;
        }
    }
    return out;
}

std::vector<std::uint8_t> writeZ80Snapshot(const MachineState& state,
                                           std::span<const std::uint8_t, kSnapshotRamSize> ram) {
    const Z80Regs& r = state.regs;
    std::vector<std::uint8_t> out(30 + 2 + kVersion3Extra, 0);
    out[0] = static_cast<std::uint8_t>(r.af >> 8);
    out[1] = static_cast<std::uint8_t>(r.af);
    put16(out, 2, r.bc);
    put16(out, 4, r.hl);
    put16(out, 6, 0); // version 2 and later: the program counter is in the extra header
    put16(out, 8, r.sp);
    out[10] = r.i;
    out[11] = r.r & 0x7F;
    out[12] = static_cast<std::uint8_t>((r.r >> 7) | (state.border & 7) << 1);
    put16(out, 13, r.de);
    put16(out, 15, r.bc_);
    put16(out, 17, r.de_);
    put16(out, 19, r.hl_);
    out[21] = static_cast<std::uint8_t>(r.af_ >> 8);
    out[22] = static_cast<std::uint8_t>(r.af_);
    put16(out, 23, r.iy);
    put16(out, 25, r.ix);
    out[27] = r.iff1 ? 1 : 0;
    out[28] = r.iff2 ? 1 : 0;
    out[29] = static_cast<std::uint8_t>(std::min<unsigned>(r.im, 2));
    put16(out, 30, kVersion3Extra);
    put16(out, 32, r.pc);
    out[34] = 0; // a 48K Spectrum
    putTStates(out, state.frameTState);
    // Pages as the format numbers them: 8 at 0x4000, 4 at 0x8000, 5 at 0xC000.
    constexpr std::pair<std::uint8_t, std::size_t> pages[] = {{4, 0x4000}, {5, 0x8000}, {8, 0}};
    for (auto [page, offset] : pages) {
        std::vector<std::uint8_t> packed = compressZ80Block(ram.subspan(offset, kPageSize));
        out.push_back(0);
        out.push_back(0);
        if (packed.size() >= kPageSize) {
            put16(out, out.size() - 2, 0xFFFF); // stored plain: packing would not make it smaller
            out.push_back(page);
            out.insert(out.end(), ram.begin() + static_cast<std::ptrdiff_t>(offset),
                       ram.begin() + static_cast<std::ptrdiff_t>(offset + kPageSize));
        } else {
            put16(out, out.size() - 2, static_cast<unsigned>(packed.size()));
            out.push_back(page);
            out.insert(out.end(), packed.begin(), packed.end());
        }
    }
    return out;
}

} // namespace tapeloom
