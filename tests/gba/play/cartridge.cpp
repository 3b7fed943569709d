#include "cartridge.h"

#include "image_writer.h"
#include "settings_file.h"

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <unistd.h>

namespace spectest {
namespace {

class NoProgress : public tapeloom::WriteProgress {
  public:
    void setMaximum(int) override {}
    void step() override {}
};

const char* const kSlotKeys[10] = {"Button A",  "Button B", "Select",    "Start",      "DPad Right",
                                   "DPad Left", "DPad Up",  "DPad Down", "Back Right", "Back Left"};

} // namespace

// One folder per test process, removed when the process ends.
struct TempFolder {
    std::filesystem::path path = std::filesystem::temp_directory_path() /
                                 ("tapeloom-spectrum-" + std::to_string(::getpid()));
    TempFolder() { std::filesystem::create_directories(path); }
    ~TempFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
};

std::filesystem::path tempDir() {
    static TempFolder folder;
    return folder.path;
}

std::vector<std::uint8_t> readBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read " + path.string());
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeBytes(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

std::vector<std::uint8_t> catalogueImage(const std::vector<Entry>& entries) {
    auto emulator = readBytes(TAPELOOM_TPL_IMAGE);
    auto settings = tapeloom::SettingsFile::fromText("");
    std::vector<tapeloom::CatalogueEntry> rows;
    for (const auto& e : entries) {
        tapeloom::CatalogueEntry row;
        row.displayName = e.name;
        row.scheme = "Custom";
        row.fileName = e.file.filename().string();
        row.folder = e.file.parent_path().string() + "/";
        std::string section = row.sectionKey();
        settings.write(section, "Control", "Custom");
        for (int i = 0; i < 10; ++i)
            settings.write(section, kSlotKeys[i], e.keys[static_cast<std::size_t>(i)]);
        rows.push_back(row);
    }
    auto out = tempDir() / "catalogue.gba";
    NoProgress progress;
    tapeloom::writeCatalogueImage(out, rows, settings, emulator, progress);
    return readBytes(out);
}

std::vector<std::uint8_t> pluginImage(const std::string& settingsText) {
    auto emulator = readBytes(TAPELOOM_TPL_IMAGE);
    auto settings = tapeloom::SettingsFile::fromText(settingsText);
    auto out = tempDir() / "plugin.gba";
    NoProgress progress;
    tapeloom::writePluginImage(out, settings, emulator, progress);
    return readBytes(out);
}

SpectrumState state(gbatest::Gba& gba) {
    return gba.readStruct<SpectrumState>(SPECTRUM_STATE_ADDRESS);
}

static bool running(gbatest::Gba& gba) {
    auto s = state(gba);
    return s.magic == SPECTRUM_STATE_MAGIC && s.running && s.frames >= 2;
}

bool menuListShown(gbatest::Gba& gba) {
    auto menu = gba.readStruct<MenuState>(MENU_STATE_ADDRESS);
    return menu.magic == MENU_STATE_MAGIC && menu.screen == MENU_SCREEN_LIST;
}

bool startEntry(gbatest::Gba& gba, int index) {
    // The menu's state block says when the list is up; a single entry may start by itself.
    for (int f = 0; f < 120 && !running(gba); ++f) {
        if (menuListShown(gba))
            break;
        gba.runFrames(1);
    }
    if (running(gba))
        return true;
    for (int i = 0; i < index; ++i)
        gba.press(gbatest::KeyDown, 2, 4);
    gba.press(gbatest::KeyA, 2, 2);
    return gba.runUntil([](gbatest::Gba& g) { return running(g); }, 300) >= 0;
}

void runSpectrumFrames(gbatest::Gba& gba, std::uint32_t frames) {
    std::uint32_t target = state(gba).frames + frames;
    gba.runUntil([target](gbatest::Gba& g) { return state(g).frames >= target; },
                 static_cast<int>(frames) * 2 + 60);
}

int lcdX(double x) {
    return static_cast<int>(x * 240.0 / 256.0);
}

int lcdY(double y) {
    return static_cast<int>(y * 160.0 / 192.0);
}

void openOverlay(gbatest::Gba& gba) {
    // The play loop reads the buttons once per Spectrum frame, which can take several GBA
    // frames: the buttons stay held until it has seen them.
    gba.setKeys(kOverlayCombo);
    gba.runUntil([](gbatest::Gba& g) { return state(g).overlay != 0; }, 120);
    gba.setKeys(0);
    gba.runFrames(3);
}

void chooseOverlayItem(gbatest::Gba& gba, OverlayItem item) {
    openOverlay(gba);
    for (int i = 0; i < item; ++i)
        gba.press(gbatest::KeyDown, 2, 2);
    gba.press(gbatest::KeyA, 2, 2);
}

void saveScreenshot(gbatest::Gba& gba, const std::string& name) {
    if (const char* folder = std::getenv("TAPELOOM_GBA_SCREENSHOTS"))
        gba.writePng(std::filesystem::path(folder) / (name + ".png"));
}

std::uint8_t peek(gbatest::Gba& gba, std::uint16_t address) {
    return gba.read8(state(gba).ram + address - 0x4000u);
}

std::uint16_t peek16(gbatest::Gba& gba, std::uint16_t address) {
    return static_cast<std::uint16_t>(peek(gba, address) |
                                      (peek(gba, static_cast<std::uint16_t>(address + 1)) << 8));
}

MachineImage programImage(const char* binary) {
    MachineImage m;
    auto code = readBytes(binary);
    std::copy(code.begin(), code.end(), m.ram.begin() + 0x4000);
    m.regs.pc = 0x8000;
    m.regs.sp = 0xFF00;
    m.regs.iy = 0x5C3A; // the ROM's interrupt handler addresses the system variables by IY
    m.regs.im = 1;
    m.regs.i = 0x3F;
    m.border = 7;
    return m;
}

std::filesystem::path writeSnapshot(const MachineImage& m, const std::string& name,
                                    const std::string& format) {
    auto dir = tempDir();
    auto sna = dir / (name + ".sna");
    writeBytes(sna, makeSna(m));
    if (format == "sna")
        return sna;
    auto z80 = dir / (name + "-" + format + ".z80");
    if (format == "z80v1")
        writeBytes(z80, makeZ80v1(m, true));
    else if (format == "z80v2")
        writeBytes(z80, makeZ80Paged(m, 2, false));
    else { // version 3 by Fuse's converter: compressed, or raw pages with -n
        std::string command = std::string("snapconv ") + (format == "z80v3raw" ? "-n " : "") +
                              sna.string() + " " + z80.string() + " 2>/dev/null";
        if (std::system(command.c_str()) != 0)
            throw std::runtime_error("snapconv failed");
    }
    return z80;
}

std::uint32_t spectrumRgb(int colour, bool bright) {
    std::uint32_t level = bright ? 255u : (26u << 3) | (26u >> 2);
    std::uint32_t r = (colour & 2) ? level : 0, g = (colour & 4) ? level : 0,
                  b = (colour & 1) ? level : 0;
    return r << 16 | g << 8 | b;
}

std::string textRow(gbatest::Gba& gba, int row) {
    std::string s;
    for (int col = 0; col < 30; ++col) {
        std::uint16_t entry = gba.read16(0x0600F800u + static_cast<unsigned>(row * 32 + col) * 2);
        int tile = entry & 0x3FF;
        s += tile < 95 ? static_cast<char>(tile + 32) : ' ';
    }
    return s;
}

bool screenShows(gbatest::Gba& gba, const std::string& text) {
    for (int row = 0; row < 20; ++row)
        if (textRow(gba, row).find(text) != std::string::npos)
            return true;
    return false;
}

} // namespace spectest
