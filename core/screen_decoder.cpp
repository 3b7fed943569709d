#include "screen_decoder.h"

#include "byte_files.h"
#include "catalogue.h"
#include "errors.h"
#include "text.h"

#include <algorithm>
#include <vector>

namespace tapeloom {

namespace {

constexpr std::size_t kSnaHeaderSize = 27;
constexpr std::size_t kZ80V1DataStart = 30;
constexpr std::size_t kZ80ExtraHeaderLengthAt = 30;
constexpr std::size_t kZ80ExtraHeaderStart = 32;
constexpr std::uint8_t kScreenPageNumber = 8; // memory at 0x4000 in both 48K and 128K files
constexpr std::uint16_t kUncompressedBlock = 0xFFFF;
// Decoding stops once this many bytes are written; only the first 6912 are drawn anyway.
constexpr std::size_t kDecodeLimit = kScreenPageSize - 1;
constexpr std::uint8_t kRunMarker = 0xED;

PreviewTables buildTables() {
    PreviewTables tables;
    for (std::uint32_t colour = 0; colour < 8; ++colour) {
        // Colour bits: 1 blue, 2 red, 4 green.
        auto rgb = [colour](std::uint32_t level) {
            return ((colour & 2) ? level << 16 : 0) | ((colour & 4) ? level << 8 : 0) |
                   ((colour & 1) ? level : 0);
        };
        tables.normalPalette[colour] = rgb(0xC0);
        tables.brightPalette[colour] = rgb(0xFF);
    }
    for (int y = 0; y < kScreenHeight; ++y)
        for (int col = 0; col < 32; ++col)
            tables.screenOffsets[static_cast<std::size_t>(y)][static_cast<std::size_t>(col)] =
                (y / 8) * 32 + (y % 8) * 256 + (y / 64) * 1792 + col;
    return tables;
}

// Run-length form of .Z80 memory: ED ED n v is n copies of v, every other byte stands for
// itself. Input ends at the end of the file; output stays inside the work buffer.
void decodeRuns(ByteView data, ScreenPage& page) {
    std::size_t in = 0;
    std::size_t out = 0;
    while (out < kDecodeLimit && in < data.size()) {
        const std::uint8_t x = data[in++];
        if (x != kRunMarker) {
            page[out++] = x;
            continue;
        }
        if (in >= data.size()) {
            page[out++] = x;
            break;
        }
        const std::uint8_t y = data[in++];
        if (y != kRunMarker) {
            page[out++] = x;
            page[out++] = y;
            continue;
        }
        if (in + 2 > data.size())
            break;
        const std::uint8_t count = data[in++];
        const std::uint8_t value = data[in++];
        // out < 16383 here, so a run of at most 255 ends inside the 1000 spare bytes.
        std::fill_n(page.begin() + static_cast<std::ptrdiff_t>(out), count, value);
        out += count;
    }
}

void copyRaw(ByteView data, ScreenPage& page) {
    const std::size_t n = std::min(data.size(), kScreenPageSize);
    std::copy_n(data.begin(), n, page.begin());
}

// Version 2 and 3: walk the memory blocks (length word, page number) to the page-8 block.
// A length of 0xFFFF marks a page stored as 16384 plain bytes.
void readZ80Blocks(ByteView bytes, ScreenPage& page) {
    if (bytes.size() <= kZ80ExtraHeaderLengthAt)
        return;
    std::size_t pos = kZ80ExtraHeaderStart + bytes[kZ80ExtraHeaderLengthAt];
    while (pos + 3 <= bytes.size()) {
        const std::uint16_t length = static_cast<std::uint16_t>(bytes[pos] | bytes[pos + 1] << 8);
        const std::uint8_t pageNumber = bytes[pos + 2];
        pos += 3;
        const bool plain = length == kUncompressedBlock;
        if (pageNumber == kScreenPageNumber) {
            ByteView data = bytes.subspan(pos);
            if (plain)
                copyRaw(data, page);
            else
                decodeRuns(data, page);
            return;
        }
        pos += plain ? kScreenPageSize : length;
    }
}

} // namespace

const PreviewTables& previewTables() {
    static const PreviewTables tables = buildTables();
    return tables;
}

void setUpPreview() {
    (void)previewTables();
}

SnapshotKind snapshotKindOf(std::string_view fileName) {
    const auto dot = fileName.rfind('.');
    if (dot != std::string_view::npos && equalsIgnoringCase(fileName.substr(dot), ".SNA"))
        return SnapshotKind::Sna;
    return SnapshotKind::Z80;
}

ScreenPage readScreenPage(SnapshotKind kind, ByteView bytes) {
    ScreenPage page{};
    if (kind == SnapshotKind::Sna) {
        if (bytes.size() > kSnaHeaderSize)
            copyRaw(bytes.subspan(kSnaHeaderSize), page);
        return page;
    }
    if (bytes.size() < 8)
        return page;
    if (bytes[6] != 0 || bytes[7] != 0) {
        // Version 1: one run-length image of the 48K from 0x4000; the compression flag is not
        // consulted.
        if (bytes.size() > kZ80V1DataStart)
            decodeRuns(bytes.subspan(kZ80V1DataStart), page);
        return page;
    }
    readZ80Blocks(bytes, page);
    return page;
}

SpectrumScreen drawScreen(const ScreenPage& page) {
    const PreviewTables& tables = previewTables();
    SpectrumScreen screen;
    for (std::size_t y = 0; y < kScreenHeight; ++y) {
        for (std::size_t col = 0; col < 32; ++col) {
            const std::uint8_t bitmap =
                page[static_cast<std::size_t>(tables.screenOffsets[y][col])];
            const std::uint8_t attribute = page[6144 + (y / 8) * 32 + col];
            const auto& palette = (attribute & 0x40) ? tables.brightPalette : tables.normalPalette;
            const std::uint32_t ink = palette[attribute & 7];
            const std::uint32_t paper = palette[(attribute >> 3) & 7];
            std::uint32_t* row = &screen.pixels[y * kScreenWidth + col * 8];
            for (int i = 0; i < 8; ++i)
                row[i] = (bitmap & (0x80 >> i)) ? ink : paper;
        }
    }
    return screen;
}

SpectrumScreen decodeScreenBytes(std::string_view fileName, ByteView bytes) {
    return drawScreen(readScreenPage(snapshotKindOf(fileName), bytes));
}

// The screen lies in a snapshot's first bytes; a huge file picked by mistake costs no more.
SpectrumScreen decodeSnapshotScreen(const std::filesystem::path& path) {
    return decodeScreenBytes(path.filename().string(), readFileStart(path, kLargestSnapshot));
}

} // namespace tapeloom
