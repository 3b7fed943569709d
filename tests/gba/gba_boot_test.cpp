// The boot menu of the emulator image, run headless in mGBA on cartridges built by the core's
// writers (and on hand-made tables for what the writers never produce: garbage, no end record).
#include "harness.h"

#include "gba/menu_state.h"
#include "image_writer.h"
#include "settings_file.h"

#include <gtest/gtest.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using gbatest::Gba;
using Bytes = std::vector<std::uint8_t>;

namespace {

constexpr std::uint32_t kScreenMap = 0x0600F800; // BG0 map: screen block 31
constexpr int kBootFrames = 120;
constexpr std::uint32_t kIwram = 0x03000000;
constexpr std::uint32_t kEwram = 0x02000000;

// Screen 0..4 of the list: TEXT_CURSOR is palette bank 1.
constexpr int kCursorBank = 1;

// Keys of the settings below, in slot order A, B, Select, Start, Right, Left, Up, Down, R, L.
constexpr std::array<std::uint8_t, 10> kKempston = {45, 0, 0, 0, 41, 42, 44, 43, 0, 0};
constexpr std::array<std::uint8_t, 10> kCustom = {5, 10, 4, 20, 0, 0, 0, 0, 30, 35};

const char* const kSettings = "[Control_Kempston]\r\n"
                              "Button A=JOY FIRE\r\nDPad Right=JOY RIGHT\r\nDPad Left=JOY LEFT\r\n"
                              "DPad Up=JOY UP\r\nDPad Down=JOY DOWN\r\n"
                              "[manic]\r\nFilename=Manic Miner\r\nControl=Kempston\r\n"
                              "[Willy]\r\nFilename=Jet Set Willy\r\nControl=Custom\r\n"
                              "Button A=SPACE\r\nButton B=ENTER\r\nSelect=SYM SHIFT\r\nStart=0\r\n"
                              "Back Right=Q\r\nBack Left=A\r\n"
                              "[zeta]\r\nFilename=Zeta\r\nControl=Kempston\r\n";

class NoProgress : public tapeloom::WriteProgress {
  public:
    void setMaximum(int) override {}
    void step() override {}
};

Bytes menuImage() {
    return gbatest::readFile(fs::path(TAPELOOM_GBA_IMAGE_DIR) / "tpl_menu.gba");
}

struct TempDir {
    fs::path path;
    TempDir() {
        std::string pattern = (fs::temp_directory_path() / "gba-boot-XXXXXX").string();
        path = mkdtemp(pattern.data());
    }
    ~TempDir() {
        std::error_code ignored;
        fs::remove_all(path, ignored);
    }
};

void writeBytes(const fs::path& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

Bytes snapshotBytes(std::size_t size, std::uint8_t seed) {
    Bytes bytes(size);
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<std::uint8_t>(seed + i * 7);
    return bytes;
}

// Text of one 30-column row of the menu's text layer.
std::string screenRow(Gba& gba, int row) {
    std::string text;
    for (int col = 0; col < 30; ++col) {
        std::uint16_t cell =
            gba.read16(kScreenMap + static_cast<std::uint32_t>(row * 32 + col) * 2);
        text += static_cast<char>((cell & 0x3FF) + 32);
    }
    return text;
}

int rowBank(Gba& gba, int row, int col) {
    return gba.read16(kScreenMap + static_cast<std::uint32_t>(row * 32 + col) * 2) >> 12;
}

std::string screenText(Gba& gba) {
    std::string text;
    for (int row = 0; row < 20; ++row)
        text += "|" + screenRow(gba, row) + "|\n";
    return text;
}

::testing::AssertionResult screenContains(Gba& gba, const std::string& text) {
    for (int row = 0; row < 20; ++row)
        if (screenRow(gba, row).find(text) != std::string::npos)
            return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "\"" << text << "\" not on screen:\n"
                                         << screenText(gba);
}

// A list line: the display name in the left half (15 columns).
std::string listLine(const std::string& name) {
    return name + std::string(15 - name.size(), ' ');
}

// With TAPELOOM_GBA_SCREENSHOTS set to a folder, tests leave pictures of the screens there.
void saveScreenshot(Gba& gba, const char* name) {
    if (const char* folder = std::getenv("TAPELOOM_GBA_SCREENSHOTS")) {
        EXPECT_TRUE(gba.writePng(fs::path(folder) / name));
    }
}

MenuState state(Gba& gba) {
    return gba.readStruct<MenuState>(MENU_STATE_ADDRESS);
}

// Runs until the menu shows `screen`; fails the test when it does not within the bound.
void waitForScreen(Gba& gba, MenuScreen screen, int maxFrames = kBootFrames) {
    int frames = gba.runUntil(
        [&](Gba& g) {
            MenuState s = state(g);
            return s.magic == MENU_STATE_MAGIC && s.screen == static_cast<std::uint32_t>(screen);
        },
        maxFrames);
    ASSERT_GE(frames, 0) << "screen " << screen << " not reached in " << maxFrames << " frames";
}

void writeLe32(Bytes& out, std::size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i)
        out[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

// One entry record as the packer writes it.
Bytes entryRecord(const std::string& name, std::uint32_t offset, std::uint8_t kind,
                  const std::array<std::uint8_t, 10>& keys) {
    Bytes r(32, 0);
    for (std::size_t i = 0; i < 15; ++i)
        r[i] = i < name.size() ? static_cast<std::uint8_t>(name[i]) : ' ';
    writeLe32(r, 16, offset);
    r[20] = kind;
    for (std::size_t i = 0; i < 10; ++i)
        r[22 + i] = keys[i];
    return r;
}

void append(Bytes& to, const Bytes& bytes) {
    to.insert(to.end(), bytes.begin(), bytes.end());
}

std::string twoDigits(int n) {
    return (n < 10 ? "0" : "") + std::to_string(n);
}

// A catalogue of three snapshots built by the core's writer, as `tapeloom-cli create` does.
class CatalogueBoot : public ::testing::Test {
  protected:
    void SetUp() override {
        // Sizes 49,179 (a 48K SNA), 0 and 1,000: offsets 128, 49,307, 49,307.
        writeBytes(dir.path / "manic.sna", snapshotBytes(49179, 1));
        writeBytes(dir.path / "willy.z80", snapshotBytes(0, 2));
        writeBytes(dir.path / "zeta.SNA", snapshotBytes(1000, 3));
        std::string folder = dir.path.string() + "/";
        rows = {{"Manic Miner", "Kempston", "manic.sna", folder},
                {"Jet Set Willy", "Custom", "willy.z80", folder},
                {"Zeta", "Kempston", "zeta.SNA", folder}};
        auto settings = tapeloom::SettingsFile::fromText(kSettings);
        NoProgress progress;
        image = menuImage();
        tapeloom::writeCatalogueImage(dir.path / "tpl.gba", rows, settings, image, progress);
        cartridge = gbatest::readFile(dir.path / "tpl.gba");
    }

    TempDir dir;
    std::vector<tapeloom::CatalogueEntry> rows;
    Bytes image;
    Bytes cartridge;
};

TEST_F(CatalogueBoot, ListsTheDisplayNamesInOrder) {
    Gba gba(cartridge);
    waitForScreen(gba, MENU_SCREEN_LIST);
    gba.runFrames(2);
    MenuState s = state(gba);
    EXPECT_EQ(s.form, 1u);
    EXPECT_EQ(s.table_status, 0u);
    EXPECT_EQ(s.entry_count, 3u);
    EXPECT_EQ(s.cursor, 0u);
    EXPECT_EQ(s.table_address, 0x08000000u + image.size());
    EXPECT_EQ(screenRow(gba, 2).substr(0, 15), listLine("Manic Miner"));
    EXPECT_EQ(screenRow(gba, 3).substr(0, 15), listLine("Jet Set Willy"));
    EXPECT_EQ(screenRow(gba, 4).substr(0, 15), listLine("Zeta"));
    EXPECT_EQ(screenRow(gba, 5), std::string(30, ' '));
    EXPECT_EQ(rowBank(gba, 2, 5), kCursorBank);
    EXPECT_NE(rowBank(gba, 3, 5), kCursorBank);
    EXPECT_TRUE(screenRow(gba, 0).find("1/3") != std::string::npos) << screenRow(gba, 0);
    // The selected entry beside the list: its name, kind and size; the hint says what A does.
    EXPECT_EQ(screenRow(gba, 14).substr(15), listLine("Manic Miner"));
    EXPECT_EQ(screenRow(gba, 15).substr(15, 11), "SNA  49 KiB");
    EXPECT_EQ(screenRow(gba, 19).substr(1, 19), "A:details  L/R:page");
    EXPECT_EQ(gba.gameErrors(), 0) << gba.gameErrorMessages().front();
    saveScreenshot(gba, "gba-menu-list.png");
}

TEST_F(CatalogueBoot, TheShippedImageListsThemToo) {
    // tpl.gba carries the emulator, which takes over what A does; the list is the same.
    auto shipped = gbatest::readFile(fs::path(TAPELOOM_GBA_IMAGE_DIR) / "tpl.gba");
    auto settings = tapeloom::SettingsFile::fromText(kSettings);
    NoProgress progress;
    tapeloom::writeCatalogueImage(dir.path / "shipped.gba", rows, settings, shipped, progress);
    Gba gba(gbatest::readFile(dir.path / "shipped.gba"));
    waitForScreen(gba, MENU_SCREEN_LIST);
    EXPECT_EQ(state(gba).entry_count, 3u);
    EXPECT_EQ(state(gba).table_address, 0x08000000u + shipped.size());
    EXPECT_EQ(screenRow(gba, 2).substr(0, 15), listLine("Manic Miner"));
    EXPECT_EQ(screenRow(gba, 3).substr(0, 15), listLine("Jet Set Willy"));
    EXPECT_EQ(screenRow(gba, 4).substr(0, 15), listLine("Zeta"));
    EXPECT_EQ(screenRow(gba, 19).substr(1, 16), "A:play  L/R:page");
    EXPECT_EQ(gba.gameErrors(), 0);
}

TEST_F(CatalogueBoot, PickingShowsOffsetsSizesAndKeyCodesUntilB) {
    Gba gba(cartridge);
    waitForScreen(gba, MENU_SCREEN_LIST);

    gba.press(gbatest::KeyDown);
    EXPECT_EQ(state(gba).cursor, 1u);
    EXPECT_EQ(rowBank(gba, 3, 5), kCursorBank);
    gba.press(gbatest::KeyA);
    waitForScreen(gba, MENU_SCREEN_DETAILS, 10);
    MenuState s = state(gba);
    EXPECT_EQ(s.picked, 1);
    EXPECT_EQ(s.picked_offset, 128u + 49179u);
    EXPECT_EQ(s.picked_size, 0u);
    EXPECT_EQ(s.picked_kind, 1u);
    EXPECT_EQ(std::vector<std::uint8_t>(s.picked_keys, s.picked_keys + 10),
              std::vector<std::uint8_t>(kCustom.begin(), kCustom.end()));
    EXPECT_TRUE(screenContains(gba, "Jet Set Willy"));
    EXPECT_TRUE(screenContains(gba, "Offset  49307 0x0000C09B"));
    EXPECT_TRUE(screenContains(gba, "Size    0"));
    EXPECT_TRUE(screenContains(gba, "SELECT   4   SYM SHIFT"));
    EXPECT_TRUE(screenContains(gba, "L       35   A"));
    saveScreenshot(gba, "gba-details.png");

    // Other keys do nothing; B goes back to the list with the cursor where it was.
    gba.press(gbatest::KeyDown | gbatest::KeyA);
    EXPECT_EQ(state(gba).screen, static_cast<std::uint32_t>(MENU_SCREEN_DETAILS));
    gba.press(gbatest::KeyB);
    waitForScreen(gba, MENU_SCREEN_LIST, 10);
    EXPECT_EQ(state(gba).cursor, 1u);
    EXPECT_EQ(state(gba).picked, -1);
    EXPECT_EQ(screenRow(gba, 2).substr(0, 11), "Manic Miner");

    gba.press(gbatest::KeyUp);
    gba.press(gbatest::KeyA);
    waitForScreen(gba, MENU_SCREEN_DETAILS, 10);
    s = state(gba);
    EXPECT_EQ(s.picked, 0);
    EXPECT_EQ(s.picked_offset, 128u);
    EXPECT_EQ(s.picked_size, 49179u);
    EXPECT_EQ(s.picked_kind, 0u);
    EXPECT_EQ(std::vector<std::uint8_t>(s.picked_keys, s.picked_keys + 10),
              std::vector<std::uint8_t>(kKempston.begin(), kKempston.end()));
    EXPECT_TRUE(screenContains(gba, "A       45   JOY FIRE"));
    // The snapshot's first byte is where the details say.
    std::uint32_t address = 0x08000000u + static_cast<std::uint32_t>(image.size()) + 128u;
    EXPECT_EQ(gba.read8(address), cartridge[image.size() + 128]);
    EXPECT_EQ(gba.read8(address), 1);

    // The last entry: nothing says where its data ends.
    gba.press(gbatest::KeyB);
    waitForScreen(gba, MENU_SCREEN_LIST, 10);
    gba.press(gbatest::KeyDown);
    gba.press(gbatest::KeyDown);
    gba.press(gbatest::KeyDown); // stops at the last entry
    EXPECT_EQ(state(gba).cursor, 2u);
    gba.press(gbatest::KeyA);
    waitForScreen(gba, MENU_SCREEN_DETAILS, 10);
    EXPECT_EQ(state(gba).picked_offset, 128u + 49179u);
    EXPECT_EQ(state(gba).picked_size, 0xFFFFFFFFu);
    EXPECT_TRUE(screenContains(gba, "Size    unknown"));
    EXPECT_EQ(gba.gameErrors(), 0);
}

// A 128K .SNA in last place: the end record gives its size, which a 48K one's would not need.
TEST(CatalogueEnd, ALast128KSnaHasItsSizeFromTheEndRecord) {
    TempDir dir;
    writeBytes(dir.path / "small.sna", snapshotBytes(49179, 1));
    writeBytes(dir.path / "big.sna", snapshotBytes(131103, 2));
    std::string folder = dir.path.string() + "/";
    std::vector<tapeloom::CatalogueEntry> rows = {{"Small", "", "small.sna", folder},
                                                  {"Big", "", "big.sna", folder}};
    NoProgress progress;
    tapeloom::writeCatalogueImage(dir.path / "tpl.gba", rows, tapeloom::SettingsFile(), menuImage(),
                                  progress);
    Gba gba(gbatest::readFile(dir.path / "tpl.gba"));
    waitForScreen(gba, MENU_SCREEN_LIST);
    EXPECT_EQ(state(gba).table_status, 0u);
    EXPECT_EQ(state(gba).entry_count, 2u);
    gba.press(gbatest::KeyDown);
    gba.press(gbatest::KeyA);
    waitForScreen(gba, MENU_SCREEN_DETAILS, 10);
    EXPECT_EQ(state(gba).picked_size, 131103u);
    EXPECT_TRUE(screenContains(gba, "Size    131103"));
    EXPECT_EQ(gba.gameErrors(), 0);
}

TEST_F(CatalogueBoot, StartsTheSameOnJunkFilledRam) {
    // Uninitialised RAM on hardware holds anything: the start-up code must clear what the
    // program assumes is zero and must not depend on mGBA's cleared memory.
    Gba clean(cartridge);
    waitForScreen(clean, MENU_SCREEN_LIST);
    clean.runFrames(5);

    Gba junk(cartridge);
    junk.fillJunk(kIwram, 0x7F00);
    junk.fillJunk(kEwram, 0x3FA00, 12345);
    junk.fillJunk(MENU_STATE_ADDRESS, sizeof(MenuState), 777);
    waitForScreen(junk, MENU_SCREEN_LIST);
    junk.runFrames(5);
    for (int row = 0; row < 20; ++row)
        EXPECT_EQ(screenRow(junk, row), screenRow(clean, row)) << "row " << row;
    MenuState s = state(junk);
    EXPECT_EQ(s.cursor, 0u);
    EXPECT_EQ(s.picked, -1);
    EXPECT_EQ(s.pogoshell, 0u);
    junk.press(gbatest::KeyDown);
    EXPECT_EQ(state(junk).cursor, 1u);
    // The VBlank interrupt (handler at 0x03007FFC) paces the menu: one frame, one count.
    std::uint32_t before = state(junk).frames;
    junk.runFrames(60);
    EXPECT_EQ(state(junk).frames - before, 60u);
}

Bytes catalogueOf(const Bytes& image, int count, const std::string& prefix) {
    Bytes out = image;
    std::uint32_t offset = static_cast<std::uint32_t>(32 * (count + 1));
    for (int i = 0; i < count; ++i) {
        append(out, entryRecord(prefix + twoDigits(i + 1), offset, static_cast<std::uint8_t>(i & 1),
                                kKempston));
        offset += 100;
    }
    out.resize(out.size() + 32, 0);
    out.resize(out.size() + static_cast<std::size_t>(count) * 100, 0xAA);
    return out;
}

TEST(BootMenu, ScrollsLongListsAndRepeatsHeldKeys) {
    Gba gba(catalogueOf(menuImage(), 40, "Game "));
    waitForScreen(gba, MENU_SCREEN_LIST);
    EXPECT_EQ(state(gba).entry_count, 40u);
    EXPECT_EQ(screenRow(gba, 16).substr(0, 15), listLine("Game 15"));
    EXPECT_EQ(screenRow(gba, 17)[7], 'v');
    EXPECT_EQ(screenRow(gba, 1)[7], ' ');

    for (int i = 0; i < 20; ++i)
        gba.press(gbatest::KeyDown, 1, 1);
    MenuState s = state(gba);
    EXPECT_EQ(s.cursor, 20u);
    EXPECT_EQ(s.top, 6u);
    EXPECT_EQ(screenRow(gba, 2).substr(0, 15), listLine("Game 07"));
    EXPECT_EQ(screenRow(gba, 1)[7], '^');
    EXPECT_EQ(rowBank(gba, 16, 5), kCursorBank);

    gba.press(gbatest::KeyR); // a page down
    EXPECT_EQ(state(gba).cursor, 35u);
    gba.press(gbatest::KeyR); // clamps at the last entry
    EXPECT_EQ(state(gba).cursor, 39u);
    EXPECT_EQ(screenRow(gba, 16).substr(0, 15), listLine("Game 40"));
    EXPECT_EQ(screenRow(gba, 15).substr(15, 3), "Z80");
    EXPECT_EQ(screenRow(gba, 17)[7], ' ');

    // Holding Up repeats after a delay.
    gba.setKeys(gbatest::KeyUp);
    gba.runFrames(60);
    gba.setKeys(0);
    gba.runFrames(2);
    s = state(gba);
    EXPECT_LT(s.cursor, 35u);
    EXPECT_GT(s.cursor, 20u);

    gba.press(gbatest::KeyL);
    gba.press(gbatest::KeyL);
    gba.press(gbatest::KeyL);
    EXPECT_EQ(state(gba).cursor, 0u);
    EXPECT_EQ(state(gba).top, 0u);
}

TEST(BootMenu, GarbageAfterTheRecordsEndsTheListWithAWarning) {
    // Past the data real hardware reads open-bus garbage: two good records and no end record.
    Bytes image = menuImage();
    Bytes cart = image;
    append(cart, entryRecord("First", 96, 0, kKempston));
    append(cart, entryRecord("Second", 196, 1, kCustom));
    std::uint32_t x = 0x12345678;
    for (int i = 0; i < 65536; ++i) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        cart.push_back(static_cast<std::uint8_t>(x));
    }
    Gba gba(cart);
    waitForScreen(gba, MENU_SCREEN_LIST);
    EXPECT_EQ(state(gba).entry_count, 2u);
    EXPECT_EQ(state(gba).table_status, 1u);
    EXPECT_TRUE(screenContains(gba, "Table has no end record"));
    EXPECT_EQ(screenRow(gba, 3).substr(0, 6), "Second");
    EXPECT_EQ(screenRow(gba, 4), std::string(30, ' '));
}

TEST(BootMenu, OpenBusAfterTheRecordsEndsTheList) {
    // An empty cartridge bus answers each halfword read with its own address / 2.
    Bytes cart = menuImage();
    append(cart, entryRecord("Only", 64, 0, kKempston));
    while (cart.size() < menuImage().size() + 0x10000) {
        std::uint32_t half = (0x08000000u + static_cast<std::uint32_t>(cart.size())) >> 1;
        cart.push_back(static_cast<std::uint8_t>(half));
        cart.push_back(static_cast<std::uint8_t>(half >> 8));
    }
    Gba gba(cart);
    waitForScreen(gba, MENU_SCREEN_LIST);
    EXPECT_EQ(state(gba).entry_count, 1u);
    EXPECT_EQ(state(gba).table_status, 1u);
}

TEST(BootMenu, AnEndlessRunOfPlausibleRecordsIsBounded) {
    Bytes cart = menuImage();
    for (int i = 0; i < 17000; ++i)
        append(cart, entryRecord("Again", 0x100000, 0, kKempston));
    Gba gba(cart);
    waitForScreen(gba, MENU_SCREEN_LIST);
    EXPECT_EQ(state(gba).entry_count, 16384u);
    EXPECT_TRUE(screenRow(gba, 0).find("1/16384") != std::string::npos) << screenText(gba);
    EXPECT_EQ(state(gba).table_status, 1u);
    gba.press(gbatest::KeyL); // still responsive
    EXPECT_EQ(state(gba).cursor, 0u);
}

TEST(BootMenu, OffsetsThatDoNotFitTheTableAreReported) {
    Bytes cart = menuImage();
    append(cart, entryRecord("Early", 96 + 32, 0, kKempston)); // should be 96 for one record
    cart.resize(cart.size() + 32 + 200, 0);
    Gba gba(cart);
    waitForScreen(gba, MENU_SCREEN_LIST);
    EXPECT_EQ(state(gba).entry_count, 1u);
    EXPECT_EQ(state(gba).table_status, 2u);
    EXPECT_TRUE(screenContains(gba, "Table offsets do not fit"));
}

TEST(BootMenu, NamesShowAsciiAndMarkOtherBytes) {
    // Names are single-byte text as the user's system held it; the font covers ASCII only.
    Bytes cart = menuImage();
    append(cart, entryRecord("Caf\xE9 Ol\x7F!", 64, 0, kKempston));
    cart.resize(cart.size() + 32 + 10, 0);
    Gba gba(cart);
    waitForScreen(gba, MENU_SCREEN_LIST);
    EXPECT_EQ(state(gba).entry_count, 1u);
    EXPECT_EQ(screenRow(gba, 2).substr(0, 15), "Caf? Ol?!      ");
}

TEST(BootMenu, NothingAfterTheImageShowsAnEmptyMenu) {
    {
        Gba gba(menuImage()); // mGBA reads zeros past the image: an end record at once
        waitForScreen(gba, MENU_SCREEN_EMPTY);
        EXPECT_EQ(state(gba).form, 1u);
        EXPECT_EQ(state(gba).entry_count, 0u);
        EXPECT_TRUE(screenContains(gba, "No snapshots"));
    }
    {
        Bytes cart = menuImage();
        cart.resize(cart.size() + 64, 0xFF); // garbage where the first record should be
        Gba gba(cart);
        waitForScreen(gba, MENU_SCREEN_EMPTY);
        EXPECT_EQ(state(gba).form, 0u);
        EXPECT_EQ(state(gba).entry_count, 0u);
        gba.press(gbatest::KeyA);
        EXPECT_EQ(state(gba).screen, static_cast<std::uint32_t>(MENU_SCREEN_EMPTY));
    }
}

// The plug-in form, and Pogoshell's argument block as Pogoshell leaves it in EWRAM.
class PluginBoot : public ::testing::Test {
  protected:
    void SetUp() override {
        auto settings = tapeloom::SettingsFile::fromText(kSettings);
        NoProgress progress;
        image = menuImage();
        tapeloom::writePluginImage(dir.path / "tpl.gba", settings, image, progress);
        cartridge = gbatest::readFile(dir.path / "tpl.gba");
    }

    static void plantArguments(Gba& gba, const std::string& file, std::uint32_t address,
                               std::uint32_t size) {
        gbatest::plantPogoshellBlock(gba, file, address, size);
    }

    TempDir dir;
    Bytes image;
    Bytes cartridge;
};

TEST_F(PluginBoot, ReportsItsKeyRecordsWithoutPogoshell) {
    ASSERT_EQ(cartridge.size(), image.size() + 42 * 4 + 1);
    Gba gba(cartridge);
    waitForScreen(gba, MENU_SCREEN_PLUGIN);
    MenuState s = state(gba);
    EXPECT_EQ(s.form, 2u);
    EXPECT_EQ(s.table_status, 0u);
    EXPECT_EQ(s.key_records, 3u);
    EXPECT_EQ(s.pogoshell, 0u);
    EXPECT_TRUE(screenContains(gba, "Key records  3"));
    EXPECT_TRUE(screenContains(gba, "Arguments    absent"));
    EXPECT_EQ(gba.gameErrors(), 0);
}

TEST_F(PluginBoot, FindsTheOpenedFilesKeysThroughTheArgumentBlock) {
    Gba gba(cartridge);
    // Pogoshell puts the file after the plug-in; here the address points into the image.
    plantArguments(gba, "/games/Willy.Z80", 0x08000100, 49179);
    waitForScreen(gba, MENU_SCREEN_PLUGIN);
    MenuState s = state(gba);
    EXPECT_EQ(s.key_records, 3u);
    EXPECT_EQ(s.pogoshell, 1u);
    EXPECT_EQ(s.pogoshell_record, 1); // "willy", the second section
    EXPECT_EQ(s.pogoshell_size, 49179u);
    EXPECT_TRUE(screenContains(gba, "Arguments    present"));
    EXPECT_TRUE(screenContains(gba, "File    /games/Willy.Z80"));
    EXPECT_TRUE(screenContains(gba, "Kind    Z80"));
    EXPECT_TRUE(screenContains(gba, "Keys    willy"));
    saveScreenshot(gba, "gba-plugin.png");
    EXPECT_TRUE(screenContains(gba, "SELECT   4   SYM SHIFT"));
}

TEST_F(PluginBoot, UnknownFilesGetTheHeadRecordsKeys) {
    Gba gba(cartridge);
    plantArguments(gba, "/games/other.sna", 0x08000100, 49179);
    waitForScreen(gba, MENU_SCREEN_PLUGIN);
    EXPECT_EQ(state(gba).pogoshell, 1u);
    EXPECT_EQ(state(gba).pogoshell_record, -1);
    EXPECT_TRUE(screenContains(gba, "Kind    SNA"));
    EXPECT_TRUE(screenContains(gba, "Keys    <POGOSHELL>"));
    EXPECT_TRUE(screenContains(gba, "A       45   JOY FIRE"));
}

TEST_F(PluginBoot, AKeyTableWithoutItsEndByteIsBounded) {
    Bytes cart(cartridge.begin(), cartridge.end() - 1); // drop the end byte
    for (int i = 0; i < 20000; ++i) {                   // and follow it with plausible records
        Bytes record(42, 0);
        std::fill(record.begin(), record.begin() + 31, 'x');
        append(cart, record);
    }
    Gba gba(cart);
    waitForScreen(gba, MENU_SCREEN_PLUGIN);
    EXPECT_EQ(state(gba).key_records, 16384u);
    EXPECT_EQ(state(gba).table_status, 1u);
    EXPECT_TRUE(screenContains(gba, "Key table has no end byte"));
}

} // namespace
