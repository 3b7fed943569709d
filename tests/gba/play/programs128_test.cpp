// Our 128K programs (tests/zx/spectrum/programs) on cartridges in mGBA: what they find out about
// the machine from inside must be what the host's machine gives them, from every snapshot
// format; the screens shown in turn, the AY's envelopes in the sound mGBA plays, and a 128K
// snapshot packed by the command line running with its picture, its tune and its joystick.
#include "audio_capture.h"
#include "cartridge.h"
#include "snapshot_files.h"

#include "spectrum/beeper.h"
#include "spectrum/machine.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <map>

using namespace spectest;
using gbatest::Gba;

namespace {

// A program at 8000h in bank 2 with its stack, ROM 1 and bank 0 paged, IM 1.
Machine128Image program128(const char* binary) {
    Machine128Image m;
    auto code = readBytes(binary);
    std::copy(code.begin(), code.end(), m.banks[2].begin());
    m.regs.pc = 0x8000;
    m.regs.sp = 0xBF00;
    m.regs.iy = 0x5C3A;
    m.regs.im = 1;
    m.regs.i = 0x3F;
    m.border = 7;
    m.port7ffd = 0x10;
    return m;
}

// The same program run by the host's machine until its byte at doneAddress reads 77h; its
// results (9000h-901Fh) then.
std::vector<std::uint8_t> hostResults(const Machine128Image& image, unsigned doneAddress) {
    std::vector<std::uint8_t> rom0 = readBytes(ZX_ROM0_IMAGE),
                              rom1 = readBytes(TAPELOOM_OPENSE_ROM);
    std::vector<std::uint8_t> ram(SPECTRUM_128_RAM_SIZE);
    std::vector<std::int32_t> edges(BEEPER_MAX_EDGES);
    AyChip ay;
    Spectrum s;
    spectrum_init_128(&s, rom0.data(), rom1.data(), ram.data(), &ay, edges.data());
    auto file = makeSna128(image);
    EXPECT_EQ(spectrum_load(&s, file.data(), std::uint32_t(file.size()), SNAPSHOT_SNA),
              SNAPSHOT_OK);
    const std::uint8_t* bank2 = spectrum_bank(&s, 2);
    for (int f = 0; f < 600 && bank2[doneAddress - 0x8000] != 0x77; ++f) {
        spectrum_run_frame(&s);
        ay_render(&ay, s.frame_tstates, nullptr, 0);
    }
    EXPECT_EQ(bank2[doneAddress - 0x8000], 0x77) << "the host run did not finish";
    return {bank2 + 0x1000, bank2 + 0x1020};
}

std::vector<std::uint8_t> cartridgeResults(Gba& gba) {
    std::vector<std::uint8_t> out;
    for (unsigned a = 0x9000; a < 0x9020; ++a)
        out.push_back(peek(gba, std::uint16_t(a)));
    return out;
}

// The program as a file of the given format in the temporary folder.
std::filesystem::path writeSnapshot128(const Machine128Image& m, const std::string& name,
                                       const std::string& format) {
    auto dir = tempDir();
    auto sna = dir / (name + ".sna");
    writeBytes(sna, makeSna128(m));
    if (format == "sna")
        return sna;
    auto z80 = dir / (name + "-" + format + ".z80");
    if (format == "z80v2")
        writeBytes(z80, makeZ80Paged128(m, 2, false));
    else if (format == "z80v3")
        writeBytes(z80, makeZ80Paged128(m, 3, true));
    else { // Fuse's converter, from the .SNA (which it reads as a Pentagon 128's)
        std::string command = "snapconv " + sna.string() + " " + z80.string() + " 2>/dev/null";
        if (std::system(command.c_str()) != 0)
            throw std::runtime_error("snapconv failed");
    }
    return z80;
}

// The paper colour of the cell at (column, row) on the LCD (its bitmap is clear).
std::uint32_t paperSeen(Gba& gba, int column, int row) {
    return gba.pixel(lcdX(column * 8 + 4), lcdY(row * 8 + 4));
}

class Paging128 : public ::testing::TestWithParam<const char*> {};

TEST_P(Paging128, FindsWhatTheHostFindsAndShowsEachScreen) {
    Machine128Image image = program128(SPECTRUM128_PAGING_BIN);
    auto file = writeSnapshot128(image, "paging", GetParam());
    Gba gba(catalogueImage({{"Paging", file, {}}}));
    ASSERT_TRUE(startEntry(gba, 0));
    EXPECT_EQ(state(gba).model, 1u);
    // Each phase's paper colour across the screen, a few frames into the phase.
    const int paper[5] = {0, 1, 2, 4, 3}; // -, blue, red, green, magenta
    for (int phase = 1; phase <= 4; ++phase) {
        SCOPED_TRACE("phase " + std::to_string(phase));
        ASSERT_GE(gba.runUntil([phase](Gba& g) { return peek(g, 0x9018) == phase; }, 600), 0);
        runSpectrumFrames(gba, 6);
        for (int row : {0, 11, 23})
            for (int column : {0, 15, 31})
                EXPECT_EQ(paperSeen(gba, column, row), spectrumRgb(paper[phase], false))
                    << column << "," << row;
        if (phase == 3 && std::string(GetParam()) == "sna")
            saveScreenshot(gba, "cartridge-128k-shadow");
    }
    ASSERT_GE(gba.runUntil([](Gba& g) { return peek(g, 0x901B) == 0x77; }, 300), 0);
    runSpectrumFrames(gba, 2); // the state block follows at the frame's end
    EXPECT_EQ(cartridgeResults(gba), hostResults(image, 0x901B));
    EXPECT_EQ(state(gba).paging, 0x23u) << "locked";
    EXPECT_EQ(gba.gameErrors(), 0);
}

INSTANTIATE_TEST_SUITE_P(Formats, Paging128,
                         ::testing::Values("sna", "z80v2", "z80v3", "snapconv"));

TEST(Ay128, RegistersReadBackAsOnTheHostAndEnvelopesAreHeard) {
    Machine128Image image = program128(SPECTRUM128_AY_BIN);
    auto file = writeSnapshot128(image, "ay", "sna");
    Gba gba(catalogueImage({{"AY", file, {}}}));
    ASSERT_TRUE(startEntry(gba, 0));
    speed::AudioCapture capture(gba);
    // The sound of each GBA frame, by the envelope shape playing at its end.
    std::map<int, std::vector<std::int16_t>> heard;
    std::size_t taken = 0;
    for (int f = 0; f < 900 && peek(gba, 0x9031) != 0x77; ++f) {
        gba.runFrames(1);
        int shape = peek(gba, 0x9030);
        const auto& all = capture.samples();
        heard[shape].insert(heard[shape].end(), all.begin() + std::ptrdiff_t(taken), all.end());
        taken = all.size();
    }
    ASSERT_EQ(peek(gba, 0x9031), 0x77);
    EXPECT_EQ(cartridgeResults(gba), hostResults(image, 0x9031));
    // The registers as the program left them: channel A on the envelope, shape 15.
    std::uint32_t ay = state(gba).ay;
    EXPECT_EQ(gba.read8(ay + 8), 0x10);
    EXPECT_EQ(gba.read8(ay + 13), 0x0F);

    // Up then held high (13) and down then held at 0 (9): after their first 16 steps (two
    // frames) each holds still, a channel's full level apart.
    auto tail = [&](int shape) {
        const auto& s = heard[shape];
        return std::vector<std::int16_t>(s.end() - std::ptrdiff_t(s.size() / 3), s.end());
    };
    auto high = tail(13), low = tail(9);
    ASSERT_FALSE(high.empty());
    ASSERT_FALSE(low.empty());
    auto [highMin, highMax] = std::minmax_element(high.begin(), high.end());
    auto [lowMin, lowMax] = std::minmax_element(low.begin(), low.end());
    EXPECT_LE(*highMax - *highMin, 2) << "held high";
    EXPECT_LE(*lowMax - *lowMin, 2) << "held at 0";
    EXPECT_GT(*highMin - *lowMax, 100) << "level 15 is heard above level 0";
    // The rising saw (12) climbs in steps, falls back at once, again and again.
    const auto& saw = heard[12];
    int falls = 0, rises = 0;
    for (std::size_t i = 1; i < saw.size(); ++i) {
        int step = saw[i] - saw[i - 1];
        falls += step < -(*highMin - *lowMax) / 2;
        rises += step > 0;
    }
    EXPECT_GE(falls, 3);
    EXPECT_GT(rises, 10 * falls);
    EXPECT_EQ(gba.gameErrors(), 0);
}

// The tune program packed by tapeloom-cli as a user would: its snapshot in a folder with a
// TPL.INI whose Kempston preset gives the buttons to the joystick.
TEST(Cartridge128, ASnapshotPackedByTheCommandLinePlaysWithPictureTuneAndJoystick) {
    auto folder = tempDir() / "cli128";
    std::filesystem::create_directories(folder);
    writeBytes(folder / "tune.sna", makeSna128(program128(SPECTRUM128_TUNE_BIN)));
    std::ofstream(folder / "TPL.INI") << "[Control_Kempston]\r\nButton A=JOY FIRE\r\n"
                                         "DPad Right=JOY RIGHT\r\nDPad Up=JOY UP\r\n";
    std::string command = "cd '" + folder.string() + "' && '" + TAPELOOM_CLI_PATH +
                          "' create --yes tune.sna > /dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0);
    Gba gba(readBytes(folder / "tpl.gba"));
    ASSERT_TRUE(startEntry(gba, 0));
    EXPECT_EQ(state(gba).model, 1u);
    EXPECT_EQ(state(gba).paging, 0x1Fu);
    runSpectrumFrames(gba, 10);
    // The picture from bank 7: four columns a paper colour, white ink at the cells' edges.
    for (int column = 0; column < 32; column += 5) {
        std::uint32_t paper = spectrumRgb((column / 4) & 7, false);
        std::uint32_t ink = spectrumRgb(7, false);
        int inkPixels = 0, paperPixels = 0;
        for (int x = 0; x < 16; ++x) {
            std::uint32_t p = gba.pixel(lcdX(column * 8 + x), lcdY(5 * 8 + 3));
            inkPixels += p == ink;
            paperPixels += p == paper;
        }
        EXPECT_GT(paperPixels, 2) << "column " << column;
        if (paper != ink) {
            EXPECT_GT(inkPixels, 0) << "column " << column;
        }
    }
    saveScreenshot(gba, "cartridge-128k-tune");

    // The tune: channel A's period moves from note to note.
    std::uint32_t ay = state(gba).ay;
    std::vector<int> periods;
    for (int i = 0; i < 8; ++i) {
        runSpectrumFrames(gba, 6);
        periods.push_back(gba.read8(ay + 0) | gba.read8(ay + 1) << 8);
    }
    std::sort(periods.begin(), periods.end());
    EXPECT_GE(std::unique(periods.begin(), periods.end()) - periods.begin(), 5);
    EXPECT_EQ(gba.read8(ay + 7), 0x3C) << "tone A and B, no noise";

    // The joystick: fire (button A) turns the fifth cell red while held, right the first.
    const std::uint32_t red = spectrumRgb(2, false), blue = spectrumRgb(1, false);
    EXPECT_EQ(paperSeen(gba, 4, 23), blue);
    gba.setKeys(gbatest::KeyA | gbatest::KeyRight);
    runSpectrumFrames(gba, 4);
    EXPECT_EQ(peek(gba, 0x9000), 0x11);
    EXPECT_EQ(paperSeen(gba, 4, 23), red);
    EXPECT_EQ(paperSeen(gba, 0, 23), red);
    EXPECT_EQ(paperSeen(gba, 2, 23), blue);
    gba.setKeys(0);
    runSpectrumFrames(gba, 4);
    EXPECT_EQ(paperSeen(gba, 4, 23), blue);
    EXPECT_EQ(gba.gameErrors(), 0);
}

} // namespace
