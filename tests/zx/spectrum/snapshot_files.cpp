#include "snapshot_files.h"

namespace spectest {
namespace {

void put16(std::vector<std::uint8_t>& out, unsigned v) {
    out.push_back(static_cast<std::uint8_t>(v & 0xFF));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}

// The 30-byte header common to every .Z80 version.
std::vector<std::uint8_t> z80Header(const MachineImage& m, std::uint16_t pc, bool compressed) {
    const Z80Regs& r = m.regs;
    std::vector<std::uint8_t> h;
    h.push_back(static_cast<std::uint8_t>(r.af >> 8));
    h.push_back(static_cast<std::uint8_t>(r.af & 0xFF));
    put16(h, r.bc);
    put16(h, r.hl);
    put16(h, pc);
    put16(h, r.sp);
    h.push_back(r.i);
    h.push_back(static_cast<std::uint8_t>(r.r & 0x7F));
    h.push_back(
        static_cast<std::uint8_t>((r.r >> 7) | ((m.border & 7) << 1) | (compressed ? 0x20 : 0)));
    put16(h, r.de);
    put16(h, r.bc_);
    put16(h, r.de_);
    put16(h, r.hl_);
    h.push_back(static_cast<std::uint8_t>(r.af_ >> 8));
    h.push_back(static_cast<std::uint8_t>(r.af_ & 0xFF));
    put16(h, r.iy);
    put16(h, r.ix);
    h.push_back(r.iff1);
    h.push_back(r.iff2);
    h.push_back(static_cast<std::uint8_t>(r.im & 3));
    return h;
}

} // namespace

std::vector<std::uint8_t> z80Compress(const std::vector<std::uint8_t>& data) {
    std::vector<std::uint8_t> out;
    std::size_t i = 0;
    while (i < data.size()) {
        std::uint8_t b = data[i];
        std::size_t run = 1;
        while (i + run < data.size() && data[i + run] == b && run < 255)
            ++run;
        if (run >= 5 || (b == 0xED && run >= 2)) {
            out.insert(out.end(), {0xED, 0xED, static_cast<std::uint8_t>(run), b});
            i += run;
        } else if (b == 0xED) {
            out.push_back(0xED);
            ++i;
            if (i < data.size())
                out.push_back(data[i++]);
        } else {
            out.push_back(b);
            ++i;
        }
    }
    return out;
}

std::vector<std::uint8_t> makeSna(const MachineImage& m) {
    const Z80Regs& r = m.regs;
    std::vector<std::uint8_t> ram = m.ram;
    std::uint16_t sp = static_cast<std::uint16_t>(r.sp - 2);
    ram.at(sp - 0x4000u) = static_cast<std::uint8_t>(r.pc & 0xFF);
    ram.at(static_cast<std::uint16_t>(sp + 1) - 0x4000u) = static_cast<std::uint8_t>(r.pc >> 8);
    std::vector<std::uint8_t> out;
    out.push_back(r.i);
    put16(out, r.hl_);
    put16(out, r.de_);
    put16(out, r.bc_);
    put16(out, r.af_);
    put16(out, r.hl);
    put16(out, r.de);
    put16(out, r.bc);
    put16(out, r.iy);
    put16(out, r.ix);
    out.push_back(static_cast<std::uint8_t>(r.iff2 ? 4 : 0));
    out.push_back(r.r);
    put16(out, r.af);
    put16(out, sp);
    out.push_back(r.im);
    out.push_back(m.border);
    out.insert(out.end(), ram.begin(), ram.end());
    return out;
}

std::vector<std::uint8_t> makeZ80v1(const MachineImage& m, bool compressed) {
    auto out = z80Header(m, m.regs.pc, compressed);
    if (compressed) {
        auto packed = z80Compress(m.ram);
        out.insert(out.end(), packed.begin(), packed.end());
        out.insert(out.end(), {0x00, 0xED, 0xED, 0x00});
    } else {
        out.insert(out.end(), m.ram.begin(), m.ram.end());
    }
    return out;
}

std::vector<std::uint8_t> makeZ80Paged(const MachineImage& m, int version, bool raw,
                                       std::uint8_t hardware) {
    auto out = z80Header(m, 0, false);
    std::size_t extra = version == 2 ? 23 : 54;
    put16(out, static_cast<unsigned>(extra));
    std::vector<std::uint8_t> ext(extra, 0);
    ext[0] = static_cast<std::uint8_t>(m.regs.pc & 0xFF);
    ext[1] = static_cast<std::uint8_t>(m.regs.pc >> 8);
    ext[2] = hardware;
    out.insert(out.end(), ext.begin(), ext.end());
    // Pages in the order files usually have them: 4 (0x8000), 5 (0xC000), 8 (0x4000).
    const std::pair<int, std::size_t> pages[] = {{4, 0x4000}, {5, 0x8000}, {8, 0x0000}};
    for (auto [page, offset] : pages) {
        std::vector<std::uint8_t> data(m.ram.begin() + static_cast<std::ptrdiff_t>(offset),
                                       m.ram.begin() +
                                           static_cast<std::ptrdiff_t>(offset + 0x4000));
        if (raw) {
            put16(out, 0xFFFF);
        } else {
            data = z80Compress(data);
            put16(out, static_cast<unsigned>(data.size()));
        }
        out.push_back(static_cast<std::uint8_t>(page));
        out.insert(out.end(), data.begin(), data.end());
    }
    return out;
}

} // namespace spectest
