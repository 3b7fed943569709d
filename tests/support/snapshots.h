#pragma once
// Snapshot files made by the tests themselves, and readers of snapshots and pictures by outside
// libraries (libspectrum, libpng) to check ours against.
#include "files.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string_view>
#include <vector>

namespace tapeloom::test {

// 48 KiB of memory from 0x4000 with a busy screen: random bytes, runs, lone and paired 0xED.
Bytes randomishMemory(unsigned seed);
// A 48K .SNA: 27-byte register header, then the memory.
Bytes makeSna(const Bytes& memory);
// A valid 48K snapshot that differs with seed: a .SNA (49,179 bytes) for a name ending in .sna in
// any case, else a small compressed version-1 .Z80 (a few hundred bytes).
Bytes snapshotFor(std::string_view fileName, unsigned seed);
// A 48K .Z80 file of version 1, 2 or 3, compressed with the format's run-length scheme.
Bytes makeZ80(const Bytes& memory, int version);
// The 30-byte header and the additional header of a version 2 (23) or 3 (54) file.
Bytes z80Header(int version);
// A memory block: length word (0xFFFF for a plain block), page number, data.
void appendBlock(Bytes& file, std::uint8_t page, const Bytes& data, bool plain = false);
Bytes compressRuns(const std::uint8_t* data, std::size_t size);
bool hasPlainBlock(const Bytes& z80);

// The screen memory (16 KiB at 0x4000) as libspectrum reads the file; empty when it refuses it.
std::optional<Bytes> libspectrumScreen(const Bytes& z80);
// A .z80 file as libspectrum reads it: the 48 KiB from 0x4000 and the machine's state.
struct PeerSnapshot {
    Bytes ram;
    std::uint16_t af, bc, de, hl, af_, bc_, de_, hl_, ix, iy, sp, pc;
    std::uint8_t i, r, iff1, iff2, im, border;
    std::uint32_t tstates;
};
std::optional<PeerSnapshot> libspectrumSnapshot(const Bytes& z80);
// RGB pixels of a PNG file as 0xRRGGBB, read with libpng.
std::vector<std::uint32_t> readPngRgb(const std::filesystem::path& path);

} // namespace tapeloom::test
