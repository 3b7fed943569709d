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

} // namespace spectest
