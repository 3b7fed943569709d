// Save states on the host: the compression round-trips what Spectrum memory holds and refuses
// malformed data; a restored machine goes on exactly as the original; damaged, blank and
// foreign states are refused and leave the machine as it was.
#include "spectrum/compress.h"
#include "spectrum/machine_state.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <utility>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    EXPECT_TRUE(in) << path;
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

Bytes compress(const Bytes& in, std::size_t capacity) {
    auto work = std::make_unique<LzWork>();
    Bytes out(capacity);
    std::size_t n = lz_compress(in.data(), in.size(), out.data(), capacity, work.get());
    out.resize(n);
    return out;
}

bool expands(const Bytes& packed, std::size_t size, Bytes* out = nullptr) {
    Bytes buffer(size);
    bool ok = lz_expand(packed.data(), packed.size(), buffer.data(), size) != 0;
    EXPECT_EQ(ok, lz_expand(packed.data(), packed.size(), nullptr, size) != 0)
        << "checking alone agrees with expanding";
    if (out)
        *out = buffer;
    return ok;
}

TEST(StateCompression, RoundTripsWhatSpectrumMemoryHolds) {
    std::mt19937 random(7);
    std::vector<std::pair<std::string, Bytes>> inputs = {
        {"empty", {}},
        {"one byte", {0x42}},
        {"three bytes", {1, 2, 3}},
        {"four zeros", Bytes(4, 0)},
        {"a page of zeros", Bytes(0x4000, 0)},
        {"the 48K ROM", readFile(TAPELOOM_OPENSE_ROM)},
    };
    Bytes noise(0x4000);
    for (auto& b : noise)
        b = static_cast<std::uint8_t>(random());
    inputs.emplace_back("noise", noise);
    Bytes pattern(0x4000);
    for (std::size_t i = 0; i < pattern.size(); ++i)
        pattern[i] = static_cast<std::uint8_t>(i % 3 == 0 ? 0xAA : i / 700);
    inputs.emplace_back("short period, long runs", pattern);
    // Literal runs and matches on both sides of the lengths where counts need more bytes.
    for (std::size_t run : {14u, 15u, 16u, 18u, 19u, 269u, 270u, 271u, 524u, 525u}) {
        Bytes b;
        for (std::size_t i = 0; i < run; ++i)
            b.push_back(static_cast<std::uint8_t>(random()));
        b.insert(b.end(), run, 0x55);
        b.insert(b.end(), b.begin(), b.begin() + static_cast<std::ptrdiff_t>(run));
        inputs.emplace_back("runs of " + std::to_string(run), b);
    }
    for (const auto& [name, input] : inputs) {
        SCOPED_TRACE(name);
        Bytes packed = compress(input, LZ_BOUND(input.size()));
        ASSERT_FALSE(packed.empty());
        Bytes back;
        ASSERT_TRUE(expands(packed, input.size(), &back));
        EXPECT_EQ(back, input);
        EXPECT_FALSE(expands(packed, input.size() + 1)) << "the size must come out exactly";
        // One byte less room than it takes: refused, and nothing written past the buffer
        // (AddressSanitizer watches the exact-size vector).
        if (packed.size() > 1) {
            EXPECT_TRUE(compress(input, packed.size() - 1).empty());
        }
    }
    EXPECT_LT(compress(Bytes(0x4000, 0), 0x8000).size(), 100u);
    EXPECT_LE(compress(noise, 0x8000).size(), LZ_BOUND(noise.size()));
}

TEST(StateCompression, ExpandRefusesMalformedInput) {
    Bytes input(3000);
    for (std::size_t i = 0; i < input.size(); ++i)
        input[i] = static_cast<std::uint8_t>((i * i) >> 5);
    Bytes packed = compress(input, LZ_BOUND(input.size()));
    ASSERT_TRUE(expands(packed, input.size()));
    for (std::size_t cut = 0; cut < packed.size(); ++cut)
        EXPECT_FALSE(expands(
            Bytes(packed.begin(), packed.begin() + static_cast<std::ptrdiff_t>(cut)), input.size()))
            << "cut at " << cut;
    Bytes longer = packed;
    longer.push_back(0);
    EXPECT_FALSE(expands(longer, input.size()));
    // A match reaching before the start, and offset 0.
    EXPECT_FALSE(expands({0x10, 'a', 0x02, 0x00, 0x00}, 5));
    EXPECT_FALSE(expands({0x10, 'a', 0x00, 0x00, 0x00}, 5));
    EXPECT_TRUE(expands({0x10, 'a', 0x01, 0x00, 0x00}, 5));
    // Extension bytes that run past the end, or lengths beyond the output.
    EXPECT_FALSE(expands({0xF0, 0xFF, 0xFF}, 1000));
    EXPECT_FALSE(expands({0x1F, 'a', 0x01, 0x00, 0xFF, 0xFF, 0xFF, 0x00, 0x00}, 300));
}

struct Machine {
    Bytes rom = readFile(TAPELOOM_OPENSE_ROM);
    Bytes ram = Bytes(SPECTRUM_RAM_SIZE, 0);
    std::array<std::int32_t, BEEPER_MAX_EDGES> edges{};
    Spectrum s{};
    Machine() { spectrum_init(&s, rom.data(), ram.data(), edges.data()); }
    void load(const std::string& file) {
        Bytes sna = readFile(file);
        ASSERT_EQ(
            spectrum_load(&s, sna.data(), static_cast<std::uint32_t>(sna.size()), SNAPSHOT_SNA),
            SNAPSHOT_OK);
    }
    // Frames with a key pattern that changes now and then (the game reacts to it).
    void run(int frames, int seed) {
        const std::uint8_t keys[KEY_BLOCK_SIZE] = {30, 39, 10, 5, 15, 14, 29, 34, 41, 45};
        for (int f = 0; f < frames; ++f) {
            keyboard_from_buttons(keys, static_cast<unsigned>((f + seed) / 7 * 37) & 0x3FF,
                                  &s.input);
            spectrum_run_frame(&s);
        }
    }
    Bytes state() const {
        auto work = std::make_unique<LzWork>();
        Bytes out(MACHINE_STATE_MAX_48K);
        out.resize(machine_state_write(&s, out.data(), out.size(), work.get()));
        return out;
    }
    Z80Regs regs() const {
        Z80Regs r;
        z80_get_regs(&s.cpu, &r);
        return r;
    }
};

void expectSameMachine(const Machine& a, const Machine& b) {
    EXPECT_TRUE(a.ram == b.ram) << "RAM";
    Z80Regs ra = a.regs(), rb = b.regs();
    EXPECT_EQ(0, std::memcmp(&ra, &rb, sizeof ra)) << "registers";
    EXPECT_EQ(z80_tstates(&a.s.cpu), z80_tstates(&b.s.cpu));
    EXPECT_EQ(z80_after_ei(&a.s.cpu), z80_after_ei(&b.s.cpu));
    EXPECT_EQ(a.s.frames, b.s.frames);
    EXPECT_EQ(a.s.interrupts, b.s.interrupts);
    EXPECT_EQ(a.s.border, b.s.border);
    EXPECT_EQ(a.s.ula, b.s.ula);
    EXPECT_EQ(z80_latch_value(&a.s.cpu), z80_latch_value(&b.s.cpu));
    EXPECT_EQ(a.s.ear_input, b.s.ear_input);
    if (a.s.ear_input != SPECTRUM_EAR_UNPLUGGED) { // unplugged, EAR reads the latch's bit 4
        EXPECT_EQ(a.s.ear_low, b.s.ear_low);
    }
}

TEST(MachineState, ARestoredMachineGoesOnAsTheOriginal) {
    for (const char* game : {"blackstar", "znake", "untitled"}) {
        SCOPED_TRACE(game);
        Machine original;
        original.load(std::string(TAPELOOM_SHARED_DIR) + "/games/" + game + ".sna");
        original.run(150, 0);
        Bytes state = original.state();
        ASSERT_FALSE(state.empty());
        EXPECT_EQ(machine_state_length(state.data(), state.size()), state.size());
        EXPECT_LT(state.size(), 30000u) << "these games pack well";

        Machine restored; // another machine, other buffers, never loaded
        ASSERT_EQ(machine_state_load(&restored.s, state.data(), state.size()), MACHINE_STATE_OK);
        expectSameMachine(original, restored);
        EXPECT_EQ(spectrum_take_changed_rows(&restored.s), 0xFFFFFFu) << "the screen is redrawn";
        EXPECT_EQ(restored.state(), state) << "the same state again";

        original.run(300, 150);
        restored.run(300, 150);
        expectSameMachine(original, restored);
    }
}

TEST(MachineState, TheCpuBetweenInstructionsSurvives) {
    Machine m;
    m.load(std::string(TAPELOOM_SHARED_DIR) + "/games/znake.sna");
    m.run(3, 0);
    Z80Regs r = m.regs();
    r.halted = 1, r.iff1 = 1, r.iff2 = 0, r.im = 2, r.r = 0xC5, r.wz = 0x1234;
    z80_set_regs(&m.s.cpu, &r);
    z80_set_tstates(&m.s.cpu, 17);
    z80_set_after_ei(&m.s.cpu, 1);
    spectrum_set_ear(&m.s, SPECTRUM_EAR_HIGH);
    Bytes state = m.state();
    Machine restored;
    ASSERT_EQ(machine_state_load(&restored.s, state.data(), state.size()), MACHINE_STATE_OK);
    expectSameMachine(m, restored);
    EXPECT_EQ(restored.s.ear_input, SPECTRUM_EAR_HIGH);
    EXPECT_EQ(z80_interrupt(&restored.s.cpu, 0xFF), 0) << "no interrupt right after EI";
}

// What a frame gave the sound and the border.
struct FrameOut {
    std::vector<std::int32_t> edges;
    int level;
    int border;
    bool operator==(const FrameOut&) const = default;
};

FrameOut frameOut(const Machine& m) {
    return {{m.s.edges, m.s.edges + m.s.edge_count}, m.s.frame_level, m.s.border};
}

// A program that toggles the beeper and the border every 30 T-states: the frame's end falls
// on each part of the loop in turn, so some frames end on an OUT whose edge is the next frame's.
void startBeeperLoop(Machine& m, std::uint8_t a) {
    const std::uint8_t code[] = {0xF3, 0x3E, a, 0xD3, 0xFE, 0xEE, 0x13, 0x18, 0xFA};
    std::memcpy(m.ram.data() + 0x4000, code, sizeof code); // at 0x8000
    Z80Regs r = m.regs();
    r.pc = 0x8000;
    r.sp = 0xFF00;
    z80_set_regs(&m.s.cpu, &r);
}

TEST(MachineState, BeeperEdgesAndBorderGoOnAcrossALoad) {
    Machine original;
    startBeeperLoop(original, 0x00);
    std::vector<Bytes> states;
    std::vector<FrameOut> frames;
    int late = 0;
    for (int f = 0; f < 60; ++f) {
        states.push_back(original.state());
        late += original.s.late_edges != 0;
        original.run(1, 0);
        frames.push_back(frameOut(original));
    }
    ASSERT_GT(late, 0) << "no frame ended on a late edge";

    // One machine loads state after state: whatever edges it carried must not leak into the
    // frames run from the loaded one, whose first edge may be the state's late one.
    Machine other;
    startBeeperLoop(other, 0x10);
    int loadedOverLate = 0;
    for (std::size_t from = 0; from + 5 < states.size(); ++from) {
        SCOPED_TRACE(from);
        other.run(static_cast<int>(from % 3) + 1, 0);
        loadedOverLate += other.s.late_edges != 0;
        ASSERT_EQ(machine_state_load(&other.s, states[from].data(), states[from].size()),
                  MACHINE_STATE_OK);
        EXPECT_EQ(z80_latch_value(&other.s.cpu), other.s.ula) << "the CPU's latch follows";
        for (std::size_t f = from; f < from + 5; ++f) {
            other.run(1, static_cast<int>(f));
            ASSERT_EQ(frameOut(other), frames[f]) << "frame " << f;
        }
        Machine fresh; // and the state gives the same frames to a machine never run
        ASSERT_EQ(machine_state_load(&fresh.s, states[from].data(), states[from].size()),
                  MACHINE_STATE_OK);
        fresh.run(5, static_cast<int>(from));
        expectSameMachine(fresh, other);
    }
    EXPECT_GT(loadedOverLate, 0) << "no load replaced a late edge of the loading machine";
}

// Sets the length and checksum of an edited state.
void seal(Bytes& state) {
    std::uint32_t n = static_cast<std::uint32_t>(state.size());
    for (int i = 0; i < 4; ++i)
        state[8 + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(n >> (8 * i));
    std::uint32_t crc = zx_crc32(0, state.data(), n - 4);
    for (int i = 0; i < 4; ++i)
        state[n - 4 + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(crc >> (8 * i));
}

TEST(MachineState, DamagedBlankAndForeignStatesLeaveTheMachineAlone) {
    Machine source;
    source.load(std::string(TAPELOOM_SHARED_DIR) + "/games/znake.sna");
    source.run(50, 0);
    Bytes state = source.state();
    Machine target;
    target.load(std::string(TAPELOOM_SHARED_DIR) + "/games/blackstar.sna");
    target.run(20, 0);
    Bytes ramBefore = target.ram;
    Z80Regs regsBefore = target.regs();
    auto refused = [&](const Bytes& bytes) {
        MachineStateResult r = machine_state_load(&target.s, bytes.data(), bytes.size());
        EXPECT_EQ(r, machine_state_check(bytes.data(), bytes.size()));
        return r;
    };
    // Every single damaged byte is caught by the checksum.
    for (std::size_t i = 0; i < state.size(); ++i) {
        Bytes bad = state;
        bad[i] ^= static_cast<std::uint8_t>(1u << (i % 8));
        MachineStateResult r = refused(bad);
        ASSERT_TRUE(r == MACHINE_STATE_DAMAGED || (i < 4 && r == MACHINE_STATE_NOT_A_STATE))
            << "byte " << i;
    }
    EXPECT_EQ(refused(Bytes(state.begin(), state.end() - 1)), MACHINE_STATE_DAMAGED);
    EXPECT_EQ(refused(Bytes(0x10000, 0xFF)), MACHINE_STATE_NOT_A_STATE) << "blank flash";
    EXPECT_EQ(refused(Bytes(0x10000, 0x00)), MACHINE_STATE_NOT_A_STATE);
    EXPECT_EQ(refused({}), MACHINE_STATE_NOT_A_STATE);

    Bytes newer = state;
    newer[4] = 2;
    seal(newer);
    EXPECT_EQ(refused(newer), MACHINE_STATE_NEWER_FORMAT);
    Bytes other = state;
    other[6] = 2;
    seal(other);
    EXPECT_EQ(refused(other), MACHINE_STATE_OTHER_MACHINE);
    // Sealed but inconsistent inside: a page twice, a page missing, a page that does not expand.
    struct Section {
        std::size_t at, size;
        std::string tag;
    };
    std::vector<Section> sections;
    for (std::size_t o = MACHINE_STATE_HEADER; o < state.size() - 4;) {
        std::size_t n = state[o + 4] | state[o + 5] << 8 | state[o + 6] << 16;
        sections.push_back({o, 8 + n,
                            std::string(state.begin() + static_cast<std::ptrdiff_t>(o),
                                        state.begin() + static_cast<std::ptrdiff_t>(o + 4))});
        o += 8 + n;
    }
    ASSERT_EQ(sections.size(), 5u);
    EXPECT_EQ(sections[0].tag, "Z80R");
    EXPECT_EQ(sections[1].tag, "ULA ");
    const Section& page = sections[4];
    ASSERT_EQ(page.tag, "RAM ");
    auto at = [&](const Bytes& b, std::size_t o) {
        return b.begin() + static_cast<std::ptrdiff_t>(o);
    };
    Bytes twice = state;
    twice.insert(at(twice, page.at), at(state, page.at), at(state, page.at + page.size));
    seal(twice);
    EXPECT_EQ(refused(twice), MACHINE_STATE_DAMAGED);
    Bytes missing = state;
    missing.erase(at(missing, page.at), at(missing, page.at + page.size));
    seal(missing);
    EXPECT_EQ(refused(missing), MACHINE_STATE_DAMAGED);
    Bytes wrongPage = state;
    wrongPage[page.at + 8 + 1] = 0x00; // page address 0x0000
    seal(wrongPage);
    EXPECT_EQ(refused(wrongPage), MACHINE_STATE_DAMAGED);
    Bytes unpacked = state;
    unpacked[page.at + 8 + MACHINE_STATE_RAM_HEADER] =
        0x0F; // first token: a match before the start
    seal(unpacked);
    EXPECT_EQ(refused(unpacked), MACHINE_STATE_DAMAGED);
    Bytes im3 = state;
    im3[MACHINE_STATE_HEADER + 8 + 30] = 3;
    seal(im3);
    EXPECT_EQ(refused(im3), MACHINE_STATE_DAMAGED);
    // A T-state count outside the frame: the machine would stand still for minutes.
    for (std::uint32_t t :
         {0xFFFFFFFFu, 0x80000000u, 0x7FFFFFFFu, std::uint32_t{2 * SPECTRUM_FRAME_TSTATES}}) {
        Bytes stuck = state;
        for (int i = 0; i < 4; ++i)
            stuck[MACHINE_STATE_HEADER + 8 + 34 + static_cast<std::size_t>(i)] =
                static_cast<std::uint8_t>(t >> (8 * i));
        seal(stuck);
        EXPECT_EQ(refused(stuck), MACHINE_STATE_DAMAGED) << t;
    }
    Bytes shortSection = state;
    shortSection[MACHINE_STATE_HEADER + 4] = MACHINE_STATE_Z80_SECTION - 1;
    seal(shortSection);
    EXPECT_EQ(refused(shortSection), MACHINE_STATE_DAMAGED);
    // Edges carried into the next frame: one at most, and only between frames.
    constexpr std::size_t ula = MACHINE_STATE_HEADER + 8 + MACHINE_STATE_Z80_SECTION + 8;
    for (auto [late, inFrame] : {std::pair{2, 0}, std::pair{1, 1}}) {
        Bytes carried = state;
        carried[ula + 6] = static_cast<std::uint8_t>(late);
        carried[ula + 5] = static_cast<std::uint8_t>(inFrame);
        seal(carried);
        EXPECT_EQ(refused(carried), MACHINE_STATE_DAMAGED) << late << " " << inFrame;
        carried[ula + 5] = 0;
        carried[ula + 6] = 1;
        seal(carried);
        EXPECT_EQ(machine_state_check(carried.data(), carried.size()), MACHINE_STATE_OK);
    }

    EXPECT_TRUE(target.ram == ramBefore);
    Z80Regs regsAfter = target.regs();
    EXPECT_EQ(0, std::memcmp(&regsBefore, &regsAfter, sizeof regsAfter));

    // A section this version does not know is passed over.
    Bytes extended(state.begin(), state.end() - 4);
    const std::uint8_t section[] = {'A', 'Y', '3', ' ', 3, 0, 0, 0, 1, 2, 3};
    extended.insert(extended.begin() + MACHINE_STATE_HEADER, std::begin(section),
                    std::end(section));
    extended.resize(extended.size() + 4);
    seal(extended);
    EXPECT_EQ(machine_state_load(&target.s, extended.data(), extended.size()), MACHINE_STATE_OK);
    expectSameMachine(source, target);
}

// A machine that runs the 128K too keeps the 48K's states in its first 48 KiB; running as a 128K
// it writes none (no state holds its banks, paging and sound chip) and takes none.
TEST(MachineState, A128KWritesNoneAndTakesNone) {
    Machine source;
    source.load(std::string(TAPELOOM_SHARED_DIR) + "/games/znake.sna");
    source.run(50, 0);
    Bytes state = source.state();
    ASSERT_FALSE(state.empty());

    Bytes rom0 = readFile(ZX_ROM0_IMAGE);
    Bytes ram(SPECTRUM_128_RAM_SIZE, 0x5A);
    std::array<std::int32_t, BEEPER_MAX_EDGES> edges{};
    AyChip ay{};
    Spectrum s{};
    spectrum_init_128(&s, rom0.data(), source.rom.data(), ram.data(), &ay, edges.data());
    ASSERT_EQ(machine_state_load(&s, state.data(), state.size()), MACHINE_STATE_OK);
    EXPECT_TRUE(std::equal(source.ram.begin(), source.ram.end(), ram.begin()));
    EXPECT_TRUE(std::all_of(ram.begin() + SPECTRUM_RAM_SIZE, ram.end(),
                            [](std::uint8_t b) { return b == 0x5A; }));

    ASSERT_TRUE(spectrum_power_on(&s, SPECTRUM_128K));
    spectrum_run_frame(&s);
    Bytes before = ram;
    Z80Regs regs;
    z80_get_regs(&s.cpu, &regs);
    auto work = std::make_unique<LzWork>();
    Bytes out(MACHINE_STATE_MAX_48K, 0xEE);
    EXPECT_EQ(machine_state_write(&s, out.data(), out.size(), work.get()), 0u);
    EXPECT_EQ(machine_state_load(&s, state.data(), state.size()), MACHINE_STATE_OTHER_MACHINE);
    EXPECT_STREQ(machine_state_result_text(MACHINE_STATE_OTHER_MACHINE),
                 "The state is of another\nSpectrum model.");
    EXPECT_TRUE(ram == before) << "the 128K's banks as they were";
    Z80Regs after;
    z80_get_regs(&s.cpu, &after);
    EXPECT_EQ(0, std::memcmp(&regs, &after, sizeof regs));
    EXPECT_EQ(s.model, SPECTRUM_128K);
    EXPECT_EQ(machine_state_check(state.data(), state.size()), MACHINE_STATE_OK)
        << "the state itself is sound";
}

TEST(MachineState, TooLittleRoomWritesNothingPastIt) {
    Machine m;
    m.load(std::string(TAPELOOM_SHARED_DIR) + "/games/untitled.sna");
    Bytes state = m.state();
    auto work = std::make_unique<LzWork>();
    for (std::size_t room :
         {std::size_t{0}, std::size_t{15}, std::size_t{100}, state.size() / 2, state.size() - 1}) {
        Bytes out(room); // exact size: AddressSanitizer catches a write past it
        EXPECT_EQ(machine_state_write(&m.s, out.data(), out.size(), work.get()), 0u) << room;
    }
    EXPECT_EQ(zx_crc32(0, reinterpret_cast<const std::uint8_t*>("123456789"), 9), 0xCBF43926u);
}

} // namespace
