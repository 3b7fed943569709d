#pragma once
// The cartridge menu's text, read back from the video memory of a running GBA.
#include <cstdint>
#include <string>
#include <string_view>

namespace tapeloom::test {

// The text layer's map (screen block 31): 32 cells a row, of which 30 columns and 20 rows show.
inline constexpr std::uint32_t kTextLayerMap = 0x0600F800;
inline constexpr int kTextColumns = 30;
inline constexpr int kTextRows = 20;

// One row as characters: tile n shows the character 32 + n; other tiles read as spaces.
// Gba is anything with read16(address).
template <typename Gba> std::string textRow(Gba& gba, int row) {
    std::string text;
    for (int column = 0; column < kTextColumns; ++column) {
        const auto cell =
            gba.read16(kTextLayerMap + static_cast<std::uint32_t>(row * 32 + column) * 2);
        const int tile = cell & 0x3FF;
        text += tile < 95 ? static_cast<char>(tile + 32) : ' ';
    }
    return text;
}

// Whether any row shows `text`.
template <typename Gba> bool screenShows(Gba& gba, std::string_view text) {
    for (int row = 0; row < kTextRows; ++row)
        if (textRow(gba, row).find(text) != std::string::npos)
            return true;
    return false;
}

} // namespace tapeloom::test
