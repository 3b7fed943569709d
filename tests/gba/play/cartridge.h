// Cartridges for the emulator's end-to-end tests, written by the core's image writer, and the
// steps that bring a snapshot to run in mGBA.
#pragma once

#include "harness.h"

#include <array>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "menu_state.h"
#include "play_state.h"
#include "snapshot_files.h"

namespace spectest {

std::filesystem::path tempDir();

// One catalogue entry: a snapshot file and the ten key names of its "Custom" scheme.
struct Entry {
    std::string name;
    std::filesystem::path file;
    std::array<std::string, 10> keys{};
};

// The catalogue image of the entries, as the core writes it, with the built emulator image.
std::vector<std::uint8_t> catalogueImage(const std::vector<Entry>& entries);
// The plug-in image for a settings file text (sections with Control keys).
std::vector<std::uint8_t> pluginImage(const std::string& settingsText);

SpectrumState state(gbatest::Gba& gba);
// Starts catalogue entry `index` from the menu (or finds it started) and runs until the
// emulator has run a few frames. False when it did not start within the bound.
bool startEntry(gbatest::Gba& gba, int index);
// The menu shows its list (its state block says so).
bool menuListShown(gbatest::Gba& gba);
// The overlay (L + R + Start + Select) and its lines, top to bottom.
constexpr std::uint16_t kOverlayCombo =
    gbatest::KeyL | gbatest::KeyR | gbatest::KeyStart | gbatest::KeySelect;
enum OverlayItem {
    OverlayResume,
    OverlayKeyboard,
    OverlaySave,
    OverlayLoad,
    OverlayReset,
    OverlayView,
    OverlayMenu
};
// Opens the overlay (holding the buttons until the play loop has seen them).
void openOverlay(gbatest::Gba& gba);
// Opens the overlay and picks the line (its effect is the caller's to wait for).
void chooseOverlayItem(gbatest::Gba& gba, OverlayItem item);

// Runs until the emulator has run `frames` more Spectrum frames (bounded).
void runSpectrumFrames(gbatest::Gba& gba, std::uint32_t frames);
// Reads Spectrum memory.
std::uint8_t peek(gbatest::Gba& gba, std::uint16_t address);
std::uint16_t peek16(gbatest::Gba& gba, std::uint16_t address);

// A test program (the bytes from 0x8000) as a machine: PC 8000h, SP FF00h, IM 1 with the ROM's
// IY, border white.
MachineImage programImage(const char* binary);
// The program as a file of the given format in the temporary folder: "sna", "z80v1", "z80v2",
// "z80v3" (compressed by Fuse's snapconv), "z80v3raw".
std::filesystem::path writeSnapshot(const MachineImage& m, const std::string& name,
                                    const std::string& format);
// The emulator's colours as mGBA shows them: 26 of 31 for normal colours, 31 for BRIGHT.
std::uint32_t spectrumRgb(int colour, bool bright);

// The text layer's row (BG0, screen block 31) as characters.
std::string textRow(gbatest::Gba& gba, int row);
bool screenShows(gbatest::Gba& gba, const std::string& text);
// The scaled view: LCD pixel of the Spectrum pixel (x, y) of a cell's interior.
int lcdX(double x);
int lcdY(double y);

// With TAPELOOM_GBA_SCREENSHOTS set, saves the frame there as <name>.png (for the docs).
void saveScreenshot(gbatest::Gba& gba, const std::string& name);

std::vector<std::uint8_t> readBytes(const std::filesystem::path& path);
void writeBytes(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes);

} // namespace spectest
