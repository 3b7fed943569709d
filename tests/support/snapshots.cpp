#include "snapshots.h"

#include <libspectrum.h>
#include <png.h>

#include <cctype>
#include <random>
#include <string>

namespace tapeloom::test {

Bytes randomishMemory(unsigned seed) {
    std::mt19937 rng(seed);
    Bytes memory(48 * 1024, 0);
    for (std::size_t i = 0; i < 6912;) {
        const auto kind = rng() % 6;
        const std::size_t length = 1 + rng() % 40;
        for (std::size_t k = 0; k < length && i < 6912; ++k, ++i) {
            switch (kind) {
            case 0:
                memory[i] = 0x00;
                break;
            case 1:
                memory[i] = 0xED;
                break;
            case 2:
                memory[i] = (k % 2) ? 0xED : static_cast<std::uint8_t>(rng());
                break;
            case 3:
                memory[i] = 0x55;
                break;
            default:
                memory[i] = static_cast<std::uint8_t>(rng());
                break;
            }
        }
    }
    for (std::size_t i = 16384; i < memory.size(); ++i)
        memory[i] = static_cast<std::uint8_t>(rng() % 3 == 0 ? rng() : 0);
    return memory;
}

Bytes makeSna(const Bytes& memory) {
    Bytes file(27, 0);
    file[0] = 0x3F;  // I
    file[19] = 0x04; // IFF2
    file[23] = 0x00; // SP = 0xFF00, the program counter stands there
    file[24] = 0xFF;
    file[25] = 1; // IM 1
    file[26] = 7; // border
    Bytes mem = memory;
    mem[0xFF00 - 0x4000] = 0x00;
    mem[0xFF01 - 0x4000] = 0x80;
    file.insert(file.end(), mem.begin(), mem.end());
    return file;
}

Bytes snapshotFor(std::string_view fileName, unsigned seed) {
    Bytes memory(48 * 1024, 0);
    for (std::size_t i = 0; i < 64; ++i)
        memory[i * 211] = static_cast<std::uint8_t>(seed * 31 + i * 7);
    std::string extension(fileName.substr(fileName.size() < 4 ? 0 : fileName.size() - 4));
    for (char& c : extension)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return extension == ".sna" ? makeSna(memory) : makeZ80(memory, 1);
}

Bytes compressRuns(const std::uint8_t* data, std::size_t size) {
    Bytes out;
    std::size_t i = 0;
    while (i < size) {
        const std::uint8_t b = data[i];
        std::size_t run = 1;
        while (i + run < size && data[i + run] == b && run < 255)
            ++run;
        if (run >= 5 || (b == 0xED && run >= 2)) {
            out.insert(out.end(), {0xED, 0xED, static_cast<std::uint8_t>(run), b});
            i += run;
        } else if (b == 0xED) {
            // A lone ED: the byte after it is stored as it is, never as a run.
            out.push_back(b);
            if (i + 1 < size)
                out.push_back(data[i + 1]);
            i += 2;
        } else {
            out.push_back(b);
            ++i;
        }
    }
    return out;
}

Bytes z80Header(int version) {
    Bytes file(30, 0);
    file[12] = 0x20 | (7 << 1); // compressed, border 7
    file[29] = 1;               // IM 1
    if (version == 1) {
        file[6] = 0x00;
        file[7] = 0x80;
        return file;
    }
    const std::uint8_t extra = version == 2 ? 23 : 54;
    file.push_back(extra);
    file.push_back(0);
    Bytes more(extra, 0);
    more[0] = 0x00; // program counter 0x8000
    more[1] = 0x80;
    file.insert(file.end(), more.begin(), more.end());
    return file;
}

void appendBlock(Bytes& file, std::uint8_t page, const Bytes& data, bool plain) {
    const std::size_t length = plain ? 0xFFFF : data.size();
    file.push_back(static_cast<std::uint8_t>(length));
    file.push_back(static_cast<std::uint8_t>(length >> 8));
    file.push_back(page);
    file.insert(file.end(), data.begin(), data.end());
}

Bytes makeZ80(const Bytes& memory, int version) {
    Bytes file = z80Header(version);
    if (version == 1) {
        const Bytes data = compressRuns(memory.data(), memory.size());
        file.insert(file.end(), data.begin(), data.end());
        file.insert(file.end(), {0x00, 0xED, 0xED, 0x00});
        return file;
    }
    // 0x4000 is page 8, 0x8000 page 4, 0xC000 page 5; written in page order.
    const struct {
        std::uint8_t page;
        std::size_t from;
    } blocks[] = {{4, 0x4000}, {5, 0x8000}, {8, 0x0000}};
    for (const auto& block : blocks)
        appendBlock(file, block.page, compressRuns(memory.data() + block.from, 16384));
    return file;
}

bool hasPlainBlock(const Bytes& z80) {
    std::size_t pos = 32 + z80[30];
    while (pos + 3 <= z80.size()) {
        const std::size_t length = z80[pos] | z80[pos + 1] << 8;
        if (length == 0xFFFF)
            return true;
        pos += 3 + length;
    }
    return false;
}

std::optional<Bytes> libspectrumScreen(const Bytes& z80) {
    static const bool ready = libspectrum_init() == LIBSPECTRUM_ERROR_NONE;
    if (!ready)
        return std::nullopt;
    libspectrum_snap* snap = libspectrum_snap_alloc();
    std::optional<Bytes> screen;
    if (libspectrum_snap_read(snap, z80.data(), z80.size(), LIBSPECTRUM_ID_SNAPSHOT_Z80,
                              "test.z80") == LIBSPECTRUM_ERROR_NONE) {
        const libspectrum_byte* page = libspectrum_snap_pages(snap, 5);
        if (page != nullptr)
            screen = Bytes(page, page + 16384);
    }
    libspectrum_snap_free(snap);
    return screen;
}

std::optional<PeerSnapshot> libspectrumSnapshot(const Bytes& z80) {
    static const bool ready = libspectrum_init() == LIBSPECTRUM_ERROR_NONE;
    if (!ready)
        return std::nullopt;
    libspectrum_snap* snap = libspectrum_snap_alloc();
    std::optional<PeerSnapshot> peer;
    if (libspectrum_snap_read(snap, z80.data(), z80.size(), LIBSPECTRUM_ID_SNAPSHOT_Z80,
                              "test.z80") == LIBSPECTRUM_ERROR_NONE) {
        PeerSnapshot got{};
        for (int page : {5, 2, 0}) {
            const libspectrum_byte* bytes = libspectrum_snap_pages(snap, page);
            if (bytes == nullptr) {
                libspectrum_snap_free(snap);
                return std::nullopt;
            }
            got.ram.insert(got.ram.end(), bytes, bytes + 16384);
        }
        auto pair = [](unsigned high, unsigned low) {
            return static_cast<std::uint16_t>(high << 8 | low);
        };
        got.af = pair(libspectrum_snap_a(snap), libspectrum_snap_f(snap));
        got.af_ = pair(libspectrum_snap_a_(snap), libspectrum_snap_f_(snap));
        got.bc = libspectrum_snap_bc(snap);
        got.de = libspectrum_snap_de(snap);
        got.hl = libspectrum_snap_hl(snap);
        got.bc_ = libspectrum_snap_bc_(snap);
        got.de_ = libspectrum_snap_de_(snap);
        got.hl_ = libspectrum_snap_hl_(snap);
        got.ix = libspectrum_snap_ix(snap);
        got.iy = libspectrum_snap_iy(snap);
        got.sp = libspectrum_snap_sp(snap);
        got.pc = libspectrum_snap_pc(snap);
        got.i = libspectrum_snap_i(snap);
        got.r = libspectrum_snap_r(snap);
        got.iff1 = libspectrum_snap_iff1(snap);
        got.iff2 = libspectrum_snap_iff2(snap);
        got.im = libspectrum_snap_im(snap);
        got.border = libspectrum_snap_out_ula(snap) & 7;
        got.tstates = libspectrum_snap_tstates(snap);
        peer = got;
    }
    libspectrum_snap_free(snap);
    return peer;
}

std::vector<std::uint32_t> readPngRgb(const std::filesystem::path& path) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str()))
        return {};
    image.format = PNG_FORMAT_RGB;
    Bytes buffer(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, buffer.data(), 0, nullptr))
        return {};
    std::vector<std::uint32_t> pixels;
    for (std::size_t i = 0; i + 2 < buffer.size(); i += 3)
        pixels.push_back(static_cast<std::uint32_t>(buffer[i]) << 16 |
                         static_cast<std::uint32_t>(buffer[i + 1]) << 8 | buffer[i + 2]);
    return pixels;
}

} // namespace tapeloom::test
