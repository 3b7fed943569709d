// The menu on a cartridge in mGBA: the selected entry's screen, read from its snapshot on the
// GBA, is the desktop preview's picture of the same file, scaled; its name and kind beside it;
// the hint line says what A does.
#include "cartridge.h"

#include "screen_decoder.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace spectest;
using gbatest::Gba;

namespace {

constexpr int kPreviewX = 120, kPreviewY = 16, kPreviewWidth = 120, kPreviewHeight = 90;

// The Spectrum colour (0-7, +8 for BRIGHT except black) of a pixel, whichever palette drew it:
// the desktop's (0xC0 and 0xFF) or the emulator's (26 and 31 of 31).
int colourClass(std::uint32_t rgb) {
    int r = static_cast<int>(rgb >> 16 & 0xFF), g = static_cast<int>(rgb >> 8 & 0xFF),
        b = static_cast<int>(rgb & 0xFF);
    int level = std::max({r, g, b});
    int colour = (b ? 1 : 0) | (r ? 2 : 0) | (g ? 4 : 0);
    return colour && level == 0xFF ? colour + 8 : colour;
}

std::vector<std::uint8_t> fileBytes(const std::filesystem::path& path) {
    return readBytes(path);
}

// Checks the menu's picture of `file` against the desktop preview: the screen bytes read, and
// every pixel of the scaled picture on the LCD.
void expectPreviewOf(Gba& gba, const std::filesystem::path& file) {
    auto bytes = fileBytes(file);
    auto kind = tapeloom::snapshotKindOf(file.filename().string());
    auto page = tapeloom::readScreenPage(kind, tapeloom::ByteView(bytes.data(), bytes.size()));
    auto menu = gba.readStruct<MenuState>(MENU_STATE_ADDRESS);
    ASSERT_EQ(menu.preview_result, 0u);
    std::vector<std::uint8_t> read(6912);
    gba.read(menu.preview_screen, read.data(), read.size());
    EXPECT_TRUE(std::equal(read.begin(), read.end(), page.begin())) << "the screen's bytes";

    auto desktop = tapeloom::drawScreen(page);
    int wrong = 0;
    for (int y = 0; y < kPreviewHeight; ++y)
        for (int x = 0; x < kPreviewWidth; ++x) {
            int sx = (2 * x + 1) * 256 / (2 * kPreviewWidth);
            int sy = (2 * y + 1) * 192 / (2 * kPreviewHeight);
            int want = colourClass(desktop.pixel(sx, sy));
            int seen = colourClass(gba.pixel(kPreviewX + x, kPreviewY + y));
            if (want != seen && ++wrong <= 5)
                ADD_FAILURE() << "pixel " << x << "," << y << ": " << seen << " instead of "
                              << want;
        }
    EXPECT_EQ(wrong, 0);
}

TEST(MenuPreview, ShowsTheSelectedEntrysScreenAsTheDesktopPreviewDoes) {
    std::string games = std::string(TAPELOOM_SHARED_DIR) + "/games/";
    std::vector<Entry> entries = {{"Blackstar", games + "blackstar.z80", {}},
                                  {"Znake", games + "znake.sna", {}},
                                  {"Game of Life", games + "gameoflife.z80", {}}};
    Gba gba(catalogueImage(entries));
    ASSERT_GE(gba.runUntil([](Gba& g) { return menuListShown(g); }, 120), 0);
    for (int index = 0; index < 3; ++index) {
        SCOPED_TRACE(entries[static_cast<std::size_t>(index)].name);
        ASSERT_GE(gba.runUntil(
                      [&](Gba& g) {
                          return g.readStruct<MenuState>(MENU_STATE_ADDRESS).preview_entry ==
                                 static_cast<std::uint32_t>(index);
                      },
                      30),
                  0);
        gba.runFrames(2); // the picture's tiles were written while the LCD was drawing
        expectPreviewOf(gba, entries[static_cast<std::size_t>(index)].file);
        std::string name = entries[static_cast<std::size_t>(index)].name;
        EXPECT_EQ(textRow(gba, 14).substr(15), name + std::string(15 - name.size(), ' '));
        EXPECT_EQ(textRow(gba, 15).substr(15, 3), index == 1 ? "SNA" : "Z80");
        if (index == 0)
            saveScreenshot(gba, "gba-menu");
        gba.press(gbatest::KeyDown, 2, 2);
    }
    EXPECT_EQ(textRow(gba, 19).substr(1, 16), "A:play  L/R:page");
    EXPECT_EQ(gba.gameErrors(), 0);
}

} // namespace
