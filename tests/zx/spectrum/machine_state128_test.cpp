// Save states of the 128K on the host, written and read in pieces as the cartridge does: a
// restored machine has the same banks, registers, paging, AY and place in the frame, and goes on
// to the same frames and samples; a state of the other machine, a damaged one and a failing
// writer are refused without changing anything.
#include "snapshot_files.h"
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
#include <vector>

using namespace spectest;

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes readFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    EXPECT_TRUE(file) << path;
    return {std::istreambuf_iterator<char>(file), {}};
}

constexpr int kSamplesPerFrame = 655;

struct Machine128 {
    Bytes rom0 = readFile(ZX_ROM0_IMAGE);
    Bytes rom1 = readFile(TAPELOOM_OPENSE_ROM);
    Bytes ram = Bytes(SPECTRUM_128_RAM_SIZE, 0);
    std::array<std::int32_t, BEEPER_MAX_EDGES> edges{};
    std::unique_ptr<AyChip> ay = std::make_unique<AyChip>();
    Spectrum s{};
    Machine128() {
        spectrum_init_128(&s, rom0.data(), rom1.data(), ram.data(), ay.get(), edges.data());
    }
    // The tune program: shadow screen in bank 7, an IM 2 tune with the envelope on channel B.
    void startTune(std::uint8_t paging) {
        Bytes code = readFile(SPECTRUM128_TUNE_BIN);
        Machine128Image m;
        std::copy(code.begin(), code.end(), m.banks[2].begin());
        for (unsigned bank : {0u, 1u, 3u, 4u, 6u})
            for (std::size_t i = 0; i < m.banks[bank].size(); ++i)
                m.banks[bank][i] = static_cast<std::uint8_t>(i / 64 * bank + (i & 3));
        m.regs.pc = 0x8000, m.regs.sp = 0xBF00, m.regs.iy = 0x5C3A, m.regs.im = 1, m.regs.i = 0x3F;
        m.port7ffd = paging;
        Bytes sna = makeSna128(m);
        ASSERT_EQ(spectrum_load(&s, sna.data(), std::uint32_t(sna.size()), SNAPSHOT_SNA),
                  SNAPSHOT_OK);
    }
    std::vector<std::int8_t> frame() {
        spectrum_run_frame(&s);
        std::vector<std::int8_t> out(kSamplesPerFrame, 0);
        ay_render(ay.get(), s.frame_tstates, out.data(), int(out.size()));
        return out;
    }
    Bytes state() const {
        auto scratch = std::make_unique<MachineStateScratch>();
        std::uint32_t length = std::uint32_t(machine_state_stream(&s, 0, nullptr, scratch.get()));
        Bytes out;
        MachineStateSink sink = {[](void* c, const std::uint8_t* d, std::uint32_t n) {
                                     auto* v = static_cast<Bytes*>(c);
                                     v->insert(v->end(), d, d + n);
                                     return 1;
                                 },
                                 &out};
        EXPECT_EQ(machine_state_stream(&s, length, &sink, scratch.get()), length);
        EXPECT_EQ(out.size(), length);
        return out;
    }
    Z80Regs regs() const {
        Z80Regs r;
        z80_get_regs(&s.cpu, &r);
        return r;
    }
};

// Loads through a source that reads piece by piece (as from the save memory), counting reads.
MachineStateResult loadInPieces(Spectrum* s, const Bytes& state, int* reads = nullptr) {
    struct From {
        const Bytes* bytes;
        int reads;
    } from{&state, 0};
    MachineStateSource source = {nullptr,
                                 [](void* c, std::uint32_t at, std::uint8_t* out, std::uint32_t n) {
                                     auto* f = static_cast<From*>(c);
                                     ASSERT_LE(std::size_t(at) + n, f->bytes->size());
                                     std::memcpy(out, f->bytes->data() + at, n);
                                     f->reads++;
                                 },
                                 &from, std::uint32_t(state.size())};
    Bytes buffer(MACHINE_STATE_BANK_BUFFER);
    MachineStateResult r = machine_state_load_from(s, &source, buffer.data());
    if (reads)
        *reads = from.reads;
    return r;
}

void expectSameMachine(const Machine128& a, const Machine128& b) {
    EXPECT_TRUE(a.ram == b.ram) << "all eight banks";
    Z80Regs ra = a.regs(), rb = b.regs();
    EXPECT_EQ(0, std::memcmp(&ra, &rb, sizeof ra)) << "registers";
    EXPECT_EQ(z80_tstates(&a.s.cpu), z80_tstates(&b.s.cpu));
    EXPECT_EQ(a.s.in_frame, b.s.in_frame);
    EXPECT_EQ(a.s.paging, b.s.paging);
    EXPECT_EQ(a.s.screen_bank, b.s.screen_bank);
    EXPECT_EQ(a.s.frames, b.s.frames);
    EXPECT_EQ(a.s.border, b.s.border);
    EXPECT_EQ(0, std::memcmp(a.ay->regs, b.ay->regs, AY_REGISTERS));
    EXPECT_EQ(a.ay->selected, b.ay->selected);
    EXPECT_EQ(a.s.model, b.s.model);
}

// The variants a game's state meets: paging free or locked, the normal or the shadow screen,
// between frames or inside one with an AY write queued, the envelope running.
TEST(MachineState128, ARestoredMachineGoesOnAsTheOriginal) {
    struct Case {
        const char* name;
        std::uint8_t paging;
        bool midFrame;
    };
    for (Case c :
         {Case{"shadow screen, bank 7", 0x1F, false}, Case{"locked", 0x3F, false},
          Case{"locked, normal screen, bank 3", 0x33, false}, Case{"mid-frame", 0x1F, true}}) {
        SCOPED_TRACE(c.name);
        Machine128 original;
        original.startTune(c.paging);
        for (int f = 0; f < 40; ++f)
            original.frame();
        if (c.midFrame) {
            spectrum_run(&original.s, 31000);
            ay_write(original.ay.get(), spectrum_frame_tstate(&original.s), AY_VOLUME_C, 9);
            ASSERT_TRUE(original.s.in_frame);
            ASSERT_GT(original.ay->queued, 0u);
        }
        EXPECT_EQ(original.ay->regs[AY_VOLUME_B] & 0x10, 0x10) << "the envelope plays";
        Bytes state = original.state();
        ASSERT_FALSE(state.empty());
        EXPECT_LE(state.size(), std::size_t(MACHINE_STATE_MAX_128K));
        EXPECT_LT(state.size(), 20000u) << "a program's banks pack well";

        for (bool pieces : {false, true}) {
            SCOPED_TRACE(pieces ? "read in pieces" : "in memory");
            Machine128 restored; // never loaded, its banks other
            std::fill(restored.ram.begin(), restored.ram.end(), 0xA5);
            ASSERT_TRUE(spectrum_power_on(&restored.s, SPECTRUM_128K));
            ASSERT_EQ(pieces ? loadInPieces(&restored.s, state)
                             : machine_state_load(&restored.s, state.data(), state.size()),
                      MACHINE_STATE_OK);
            expectSameMachine(original, restored);
            EXPECT_EQ(spectrum_take_changed_rows(&restored.s), 0xFFFFFFu);
            EXPECT_EQ(restored.state(), state) << "the same state again";

            Machine128 a; // the original's future, from a copy of it
            ASSERT_TRUE(spectrum_power_on(&a.s, SPECTRUM_128K));
            ASSERT_EQ(machine_state_load(&a.s, state.data(), state.size()), MACHINE_STATE_OK);
            for (int f = 0; f < 60; ++f)
                ASSERT_EQ(a.frame(), restored.frame()) << "samples of frame " << f;
            expectSameMachine(a, restored);
        }
        // The original itself goes on the same way.
        Machine128 restored;
        ASSERT_TRUE(spectrum_power_on(&restored.s, SPECTRUM_128K));
        ASSERT_EQ(machine_state_load(&restored.s, state.data(), state.size()), MACHINE_STATE_OK);
        for (int f = 0; f < 30; ++f)
            ASSERT_EQ(original.frame(), restored.frame()) << "samples of frame " << f;
        expectSameMachine(original, restored);
        // The lock holds after the load as before.
        spectrum_128_port_out(&restored.s, 0x7FFD, 0x10);
        EXPECT_EQ(restored.s.paging, (c.paging & 0x20) ? c.paging : 0x10);
    }
}

// A 48K's state never lands on a 128K nor the reverse; the machine is left as it was.
TEST(MachineState128, AStateOfTheOtherMachineIsRefused) {
    Machine128 m128;
    m128.startTune(0x1F);
    m128.frame();
    Bytes state128 = m128.state();

    Machine128 as48; // the same machine running a 48K snapshot
    Bytes rom = readFile(TAPELOOM_OPENSE_ROM);
    Bytes sna = readFile(std::string(TAPELOOM_SHARED_DIR) + "/games/znake.sna");
    ASSERT_EQ(spectrum_load(&as48.s, sna.data(), std::uint32_t(sna.size()), SNAPSHOT_SNA),
              SNAPSHOT_OK);
    spectrum_run_frame(&as48.s);
    auto work = std::make_unique<LzWork>();
    Bytes state48(MACHINE_STATE_MAX_48K);
    state48.resize(machine_state_write(&as48.s, state48.data(), state48.size(), work.get()));
    ASSERT_FALSE(state48.empty());
    auto scratch = std::make_unique<MachineStateScratch>();
    EXPECT_EQ(machine_state_stream(&as48.s, 0, nullptr, scratch.get()), 0u) << "a 48K streams none";
    Bytes out(MACHINE_STATE_MAX_48K);
    EXPECT_EQ(machine_state_write(&m128.s, out.data(), out.size(), work.get()), 0u);

    Bytes ram48 = as48.ram, ram128 = m128.ram;
    Z80Regs r48 = as48.regs(), r128 = m128.regs();
    EXPECT_EQ(machine_state_load(&as48.s, state128.data(), state128.size()),
              MACHINE_STATE_OTHER_MACHINE);
    EXPECT_EQ(loadInPieces(&as48.s, state128), MACHINE_STATE_OTHER_MACHINE);
    EXPECT_EQ(machine_state_load(&m128.s, state48.data(), state48.size()),
              MACHINE_STATE_OTHER_MACHINE);
    EXPECT_EQ(loadInPieces(&m128.s, state48), MACHINE_STATE_OTHER_MACHINE);
    EXPECT_TRUE(as48.ram == ram48 && m128.ram == ram128);
    Z80Regs a48 = as48.regs(), a128 = m128.regs();
    EXPECT_EQ(0, std::memcmp(&r48, &a48, sizeof r48));
    EXPECT_EQ(0, std::memcmp(&r128, &a128, sizeof r128));
    EXPECT_EQ(as48.s.model, SPECTRUM_48K);
    EXPECT_EQ(m128.s.model, SPECTRUM_128K);

    // A machine that cannot be a 128K (no ROM 0, no AY) takes none either.
    std::array<std::int32_t, BEEPER_MAX_EDGES> edges{};
    Bytes ram(SPECTRUM_RAM_SIZE);
    Spectrum plain{};
    spectrum_init(&plain, rom.data(), ram.data(), edges.data());
    EXPECT_EQ(machine_state_load(&plain, state128.data(), state128.size()),
              MACHINE_STATE_OTHER_MACHINE);
}

// Rebuilds a state from its sections with a right checksum, so that the parser is reached.
struct Section {
    std::string tag;
    Bytes payload;
};

std::vector<Section> sections(const Bytes& state) {
    std::vector<Section> out;
    for (std::size_t o = 12; o + 4 < state.size();) {
        std::uint32_t n;
        std::memcpy(&n, state.data() + o + 4, 4);
        out.push_back({std::string(state.begin() + long(o), state.begin() + long(o) + 4),
                       Bytes(state.begin() + long(o) + 8, state.begin() + long(o + 8 + n))});
        o += 8 + n;
    }
    return out;
}

Bytes assemble(const std::vector<Section>& parts) {
    Bytes out = {'Z', 'X', 'S', 'T', 1, 0, 2, 0, 0, 0, 0, 0};
    for (const auto& p : parts) {
        out.insert(out.end(), p.tag.begin(), p.tag.end());
        std::uint32_t n = std::uint32_t(p.payload.size());
        out.insert(out.end(), reinterpret_cast<std::uint8_t*>(&n),
                   reinterpret_cast<std::uint8_t*>(&n) + 4);
        out.insert(out.end(), p.payload.begin(), p.payload.end());
    }
    std::uint32_t n = std::uint32_t(out.size() + 4);
    std::memcpy(out.data() + 8, &n, 4);
    std::uint32_t crc = zx_crc32(0, out.data(), out.size());
    out.insert(out.end(), reinterpret_cast<std::uint8_t*>(&crc),
               reinterpret_cast<std::uint8_t*>(&crc) + 4);
    return out;
}

TEST(MachineState128, DamagedStatesAreRefusedAndChangeNothing) {
    Machine128 source;
    source.startTune(0x1F);
    for (int f = 0; f < 20; ++f)
        source.frame();
    Bytes good = source.state();
    auto parts = sections(good);
    ASSERT_EQ(parts.size(), 12u);
    ASSERT_EQ(assemble(parts), good) << "the sections rebuild the state";

    std::vector<std::pair<std::string, Bytes>> bad;
    for (std::size_t cut :
         {std::size_t{0}, std::size_t{11}, std::size_t{12}, good.size() / 2, good.size() - 1})
        bad.emplace_back("cut at " + std::to_string(cut),
                         Bytes(good.begin(), good.begin() + long(cut)));
    for (std::size_t at : {std::size_t{14}, std::size_t{200}, good.size() / 2, good.size() - 2}) {
        Bytes b = good;
        b[at] ^= 0x40;
        bad.emplace_back("byte " + std::to_string(at) + " flipped", b);
    }
    auto without = [&](std::size_t i) {
        auto p = parts;
        p.erase(p.begin() + long(i));
        return assemble(p);
    };
    for (std::size_t i = 0; i < parts.size(); ++i)
        bad.emplace_back("without " + parts[i].tag + " " + std::to_string(i), without(i));
    auto changed = [&](std::size_t i, auto edit) {
        auto p = parts;
        edit(p[i].payload);
        return assemble(p);
    };
    bad.emplace_back("bank 8", changed(4, [](Bytes& b) { b[0] = 8; }));
    bad.emplace_back("bank twice", changed(5, [](Bytes& b) { b[0] = 0; }));
    bad.emplace_back("bank's size", changed(4, [](Bytes& b) { b[5] = 0x20; }));
    bad.emplace_back("bank's method", changed(4, [](Bytes& b) { b[8] = 2; }));
    bad.emplace_back("bank cut short", changed(11, [](Bytes& b) { b.pop_back(); }));
    bad.emplace_back("T-state past the frame", changed(0, [](Bytes& b) { b[37] = 0x7F; }));
    bad.emplace_back("paging's size", changed(2, [](Bytes& b) { b.push_back(0); }));
    bad.emplace_back("AY tone counter far ahead", changed(3, [](Bytes& b) { b[43] = 0x10; }));
    bad.emplace_back("AY tone counter behind", changed(3, [](Bytes& b) { b[43] = 0x80; }));
    bad.emplace_back("AY noise place", changed(3, [](Bytes& b) { b[62] = 0x7F; }));
    bad.emplace_back("AY register bits", changed(3, [](Bytes& b) { b[1] = 0xF0; }));
    bad.emplace_back("AY envelope step", changed(3, [](Bytes& b) { b[37] = 16; }));
    bad.emplace_back("AY queue count", changed(3, [](Bytes& b) { b[88] = 1; }));
    bad.emplace_back("AY queue out of order", changed(3, [](Bytes& b) {
                         b[88] = 2;
                         const std::uint8_t w[8] = {0x09, 0x0A, 0x10, 0x00, 0x09, 0x0A, 0x00, 0x00};
                         b.insert(b.end(), w, w + 8);
                         b[64] = 0x00; // last_t 0x100
                         b[65] = 0x01;
                     }));
    bad.emplace_back("later format", [&] {
        Bytes b = good;
        b[4] = 2;
        std::uint32_t crc = zx_crc32(0, b.data(), b.size() - 4);
        std::memcpy(b.data() + b.size() - 4, &crc, 4);
        return b;
    }());

    Machine128 target;
    target.startTune(0x13);
    target.frame();
    std::uint8_t paging = target.s.paging;
    Bytes ram = target.ram;
    Z80Regs regs = target.regs();
    Bytes ayBefore(reinterpret_cast<const std::uint8_t*>(target.ay.get()),
                   reinterpret_cast<const std::uint8_t*>(target.ay.get()) + sizeof(AyChip));
    for (const auto& [name, bytes] : bad) {
        SCOPED_TRACE(name);
        MachineStateResult r = machine_state_load(&target.s, bytes.data(), bytes.size());
        EXPECT_NE(r, MACHINE_STATE_OK);
        EXPECT_EQ(r, loadInPieces(&target.s, bytes));
        EXPECT_TRUE(target.ram == ram);
        Z80Regs after = target.regs();
        EXPECT_EQ(0, std::memcmp(&regs, &after, sizeof regs));
        EXPECT_EQ(target.s.paging, paging);
        EXPECT_EQ(0, std::memcmp(ayBefore.data(), target.ay.get(), sizeof(AyChip)));
    }
    // Sections it does not know are passed over.
    auto extended = parts;
    extended.insert(extended.begin() + 3, Section{"NEW!", Bytes(5, 1)});
    Bytes more = assemble(extended);
    EXPECT_EQ(loadInPieces(&target.s, more), MACHINE_STATE_OK);
    expectSameMachine(source, target);
}

// The writer stops at the first refusal of its sink, and refuses a length other than its own.
TEST(MachineState128, AFailingSinkOrAWrongLengthWritesNoState) {
    Machine128 m;
    m.startTune(0x1F);
    m.frame();
    auto scratch = std::make_unique<MachineStateScratch>();
    std::uint32_t length = std::uint32_t(machine_state_stream(&m.s, 0, nullptr, scratch.get()));
    struct Budget {
        std::uint32_t left, calls_after;
    } budget{1000, 0};
    MachineStateSink sink = {[](void* c, const std::uint8_t*, std::uint32_t n) {
                                 auto* b = static_cast<Budget*>(c);
                                 if (b->left < n) {
                                     b->calls_after++;
                                     return 0;
                                 }
                                 b->left -= n;
                                 return 1;
                             },
                             &budget};
    EXPECT_EQ(machine_state_stream(&m.s, length, &sink, scratch.get()), 0u);
    EXPECT_EQ(budget.calls_after, 1u) << "nothing more after the refusal";
    budget = {~0u, 0};
    EXPECT_EQ(machine_state_stream(&m.s, length + 1, &sink, scratch.get()), 0u);
    EXPECT_EQ(machine_state_stream(&m.s, length, &sink, scratch.get()), length);
}

// What a 128K's state takes: a program's, and the most (every bank noise), which the save
// memory's pool (124 KiB) cannot hold.
TEST(MachineState128, SizesOfATypicalAndAnIncompressibleState) {
    Machine128 m;
    m.startTune(0x1F);
    for (int f = 0; f < 50; ++f)
        m.frame();
    std::size_t typical = m.state().size();
    std::mt19937 random(3);
    for (auto& b : m.ram)
        b = static_cast<std::uint8_t>(random());
    std::size_t noise = m.state().size();
    std::printf("[ figures  ] 128K state: the tune program %zu bytes, every bank noise %zu bytes "
                "(at most %u)\n",
                typical, noise, unsigned(MACHINE_STATE_MAX_128K));
    EXPECT_LE(noise, std::size_t(MACHINE_STATE_MAX_128K));
    EXPECT_GT(noise, 31u * 4096 - 80) << "more than the whole pool";
}

} // namespace
