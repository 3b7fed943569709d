#include "workloads.h"

#include "cartridge.h"
#include "harness.h"
#include "snapshot_files.h"

#include <algorithm>

namespace speed {
namespace {

using namespace gbatest;

std::filesystem::path program(const char* name) {
    return std::filesystem::path(SPEED_PROGRAMS_DIR) / (std::string(name) + ".bin");
}

std::filesystem::path game(const char* name) {
    return std::filesystem::path(TAPELOOM_SHARED_DIR) / "games" / name;
}

// Presses: the button held for `hold` frames from `frame`, then nothing.
void press(std::vector<KeyStep>& script, std::uint32_t frame, std::uint16_t buttons,
           std::uint32_t hold = 4) {
    script.push_back({frame, buttons});
    script.push_back({frame + hold, 0});
}

} // namespace

std::uint16_t buttonsAt(const std::vector<KeyStep>& script, std::uint32_t frame) {
    const KeyStep* current = nullptr;
    for (const KeyStep& step : script)
        if (step.frame <= frame && (!current || step.frame >= current->frame))
            current = &step;
    return current ? current->buttons : 0;
}

std::filesystem::path programSnapshot(const std::filesystem::path& binary) {
    spectest::MachineImage m;
    auto code = spectest::readBytes(binary);
    if (code.size() > 0x8000)
        code.resize(0x8000);
    std::copy(code.begin(), code.end(), m.ram.begin() + 0x4000);
    m.regs.pc = 0x8000;
    m.regs.sp = 0xFF00;
    m.regs.iy = 0x5C3A; // the ROM's interrupt routine addresses the system variables by IY
    m.regs.im = 1;
    m.regs.i = 0x3F;
    m.border = 7;
    auto file = spectest::tempDir() / (binary.stem().string() + ".sna");
    spectest::writeBytes(file, spectest::makeSna(m));
    return file;
}

std::vector<Workload> workloads() {
    std::vector<Workload> all;
    auto add = [&all](Workload w) { all.push_back(std::move(w)); };
    auto make = [](const char* name, const char* what, std::filesystem::path file) {
        Workload w;
        w.name = name;
        w.what = what;
        w.file = std::move(file);
        return w;
    };

    add(make("c-game", "compiled C, 20 objects moved and drawn, IX frames, HALT",
             programSnapshot(program("game"))));
    {
        Workload w = make("key-poll", "compiled C waiting for a key: IN r,(C), interrupts off",
                          programSnapshot(program("keypoll")));
        w.keys[0] = "SPACE";
        press(w.script, 330, KeyA); // one round of play, then polling again
        add(w);
    }
    add(make("redraw", "22 character rows, pixels and attributes, every frame",
             programSnapshot(program("redraw"))));
    add(make("music", "three-voice beeper engine, OUT (n),A and OUT (C),r, interrupts off",
             programSnapshot(program("music"))));
    {
        Workload w = make("c-text", "compiled C printf into two scrolling windows, line input",
                          programSnapshot(program("text")));
        w.keys = {"R", "U", "N", "ENTER", "", "", "", "", "", ""};
        for (std::uint32_t at : {120u, 330u}) { // types "run" and ENTER at the prompt
            press(w.script, at, KeyA);
            press(w.script, at + 10, KeyB);
            press(w.script, at + 20, KeySelect);
            press(w.script, at + 30, KeyStart);
        }
        add(w);
    }
    add(make("multicolour", "compiled C on an IM 2 multicolour engine (timing loops)",
             programSnapshot(program("multicolour"))));
    add(make("ldir-scroll", "LDIR scroll of 72 pixel lines, LDDR of 11 attribute rows",
             programSnapshot(program("scroll"))));
    auto shared = [&make](const char* name, const char* what) {
        Workload w = make(name, what, game((std::string(name) + ".z80").c_str()));
        w.frames = 600;
        return w;
    };
    {
        // Title, K: the difficulty menu, ENTER: a level, steered until it ends at a wall.
        Workload w = shared("znake", "Znake: title, menu, a level (IM 2)");
        w.keys = {"K", "", "", "ENTER", "P", "O", "Q", "A", "", ""};
        press(w.script, 100, KeyA);
        press(w.script, 160, KeyStart, 20);
        press(w.script, 185, KeyDown); // the snake sets off to the left: round the box
        press(w.script, 225, KeyRight);
        press(w.script, 300, KeyUp);
        press(w.script, 370, KeyLeft);
        press(w.script, 450, KeyDown);
        press(w.script, 520, KeyRight);
        press(w.script, 590, KeyUp);
        add(w);
    }
    {
        Workload w = shared("snake-asm", "snake in assembly: play, game over, again");
        w.keys = {"SPACE", "", "", "", "P", "O", "Q", "A", "", ""};
        press(w.script, 60, KeyUp);
        press(w.script, 100, KeyLeft);
        press(w.script, 140, KeyDown);
        press(w.script, 400, KeyA);
        press(w.script, 460, KeyUp);
        add(w);
    }
    {
        Workload w = shared("blackstar", "compiled C with a sprite library: title, play");
        w.keys = {"SPACE", "1", "", "", "P", "O", "", "", "", ""};
        w.frames = 1250; // the game starts after a long introduction
        press(w.script, 100, KeyA);
        press(w.script, 160, KeyB);
        w.script.push_back({1150, KeyRight});
        w.script.push_back({1180, KeyLeft | KeyA});
        w.script.push_back({1220, KeyRight | KeyA});
        w.script.push_back({1260, KeyLeft});
        w.script.push_back({1290, 0});
        add(w);
    }
    {
        Workload w = shared("zxscroll", "tile map scrolled in four directions");
        w.keys = {"", "", "", "", "P", "O", "Q", "A", "", ""};
        w.script = {{60, KeyRight}, {200, KeyDown}, {320, KeyLeft}, {440, KeyUp}, {560, 0}};
        add(w);
    }
    {
        Workload w = shared("untitled", "title with beeper music, then play (IM 2)");
        w.keys = {"SPACE", "", "", "", "4", "2", "1", "3", "", ""};
        press(w.script, 300, KeyA);
        w.script.push_back({360, KeyUp | KeyLeft});
        w.script.push_back({440, KeyDown | KeyRight});
        w.script.push_back({520, 0});
        add(w);
    }
    {
        // The rules (P/L move, ENTER toggles): born with 3 neighbours, survives with 2; E: the
        // grid, where a blinker is drawn (K right, L down, ENTER toggles); 1: run.
        Workload w = shared("gameoflife", "every attribute cell redrawn each generation");
        w.keys = {"ENTER", "1", "E", "", "K", "", "P", "L", "", ""};
        std::uint32_t at = 60;
        auto key = [&](std::uint16_t buttons, int times = 1) {
            for (int i = 0; i < times; ++i, at += 16) // it reads the keys every few frames
                press(w.script, at, buttons, 2);
        };
        key(KeyDown, 3);
        key(KeyA);
        key(KeyDown, 8);
        key(KeyA);
        key(KeySelect);
        at += 20;
        key(KeyRight);
        key(KeyA);
        key(KeyDown);
        key(KeyA);
        key(KeyDown);
        key(KeyA);
        key(KeyB);
        w.warmup = at + 20;
        add(w);
    }
    {
        // Any key, 1: a new game, its introduction, any key twice, 2: back to the main menu.
        Workload w = shared("tmsim", "a BASIC program: the ROM's interpreter");
        w.keys = {"ENTER", "1", "2", "", "", "", "", "", "", ""};
        w.frames = 750;
        press(w.script, 150, KeyA);
        press(w.script, 260, KeyB, 6);
        press(w.script, 400, KeyA, 6);
        press(w.script, 550, KeyA, 6);
        press(w.script, 650, KeySelect, 6);
        add(w);
    }
    return all;
}

const Workload* findWorkload(const std::vector<Workload>& all, const std::string& name) {
    auto it =
        std::find_if(all.begin(), all.end(), [&](const Workload& w) { return w.name == name; });
    return it == all.end() ? nullptr : &*it;
}

} // namespace speed
