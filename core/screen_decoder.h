#pragma once
// The screen stored in a .SNA or .Z80 snapshot, decoded into a 256 x 192 picture for the
// configuration dialog's preview.
#include "data_items.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string_view>

namespace tapeloom {

inline constexpr int kScreenWidth = 256;
inline constexpr int kScreenHeight = 192;

// The 16 KiB screen page (memory from 0x4000) plus spare room for a final run-length run that
// starts just below the decode limit.
inline constexpr std::size_t kScreenPageSize = 16384;
inline constexpr std::size_t kWorkBufferSize = kScreenPageSize + 1000;
inline constexpr std::size_t kScreenBytesUsed = 6912; // bitmap 6144 + attributes 768
using ScreenPage = std::array<std::uint8_t, kWorkBufferSize>;

// One 0xRRGGBB value per pixel, row by row from the top left.
struct SpectrumScreen {
    std::array<std::uint32_t, kScreenWidth * kScreenHeight> pixels{};

    std::uint32_t pixel(int x, int y) const {
        return pixels[static_cast<std::size_t>(y) * kScreenWidth + static_cast<std::size_t>(x)];
    }
};

// Tables computed once: the two palettes (intensity 192 and 255) and, per screen line, the
// offset of each character column's bitmap byte in the screen page (entry 32 unused).
struct PreviewTables {
    std::array<std::uint32_t, 8> normalPalette{};
    std::array<std::uint32_t, 8> brightPalette{};
    std::array<std::array<std::int32_t, 33>, kScreenHeight> screenOffsets{};
};
const PreviewTables& previewTables();
// Builds the tables now (start-up), so the first preview does not pay for it.
void setUpPreview();

enum class SnapshotKind { Sna, Z80 };
// ".SNA" in any letter case is a .SNA snapshot; every other extension (or none) is read as .Z80.
SnapshotKind snapshotKindOf(std::string_view fileName);

// The screen page of a snapshot's bytes. Bytes the file does not hold stay zero; a .Z80 file
// without a page-8 block gives an all-zero page.
ScreenPage readScreenPage(SnapshotKind kind, ByteView bytes);
// Draws the first 6912 bytes of a page; FLASH is ignored (ink stays ink).
SpectrumScreen drawScreen(const ScreenPage& page);

SpectrumScreen decodeScreenBytes(std::string_view fileName, ByteView bytes);
// Throws FileError("Cannot open file " + path) when the file cannot be opened or read.
SpectrumScreen decodeSnapshotScreen(const std::filesystem::path& path);

} // namespace tapeloom
