// Fuzz target: save states as they come from save memory, and the same bytes as the sections of
// a state whose header and checksum are right (so that the sections' parser is reached), loaded
// into a 48K and, as a 128K's state, into a 128K (from memory and read in pieces, which must
// agree); and the compression's decoder on its own.
#include "spectrum/machine_state.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static std::vector<std::uint8_t> rom(0x4000, 0xC9);
    static std::vector<std::uint8_t> ram(SPECTRUM_RAM_SIZE);
    static std::array<std::int32_t, BEEPER_MAX_EDGES> edges{};
    static Spectrum machine;
    spectrum_init(&machine, rom.data(), ram.data(), edges.data());

    MachineStateResult raw = machine_state_check(data, size);
    if (raw == MACHINE_STATE_OK && machine_state_length(data, size) > size)
        __builtin_trap();

    static const std::uint8_t header[12] = {'Z', 'X', 'S', 'T', 1, 0, 1, 0, 0, 0, 0, 0};
    std::vector<std::uint8_t> state(sizeof header + size + 4);
    std::memcpy(state.data(), header, sizeof header);
    if (size)
        std::memcpy(state.data() + sizeof header, data, size);
    std::uint32_t n = static_cast<std::uint32_t>(state.size());
    std::memcpy(state.data() + 8, &n, 4);
    std::uint32_t crc = zx_crc32(0, state.data(), n - 4);
    std::memcpy(state.data() + n - 4, &crc, 4);
    MachineStateResult checked = machine_state_check(state.data(), state.size());
    MachineStateResult loaded = machine_state_load(&machine, state.data(), state.size());
    if (checked != loaded)
        __builtin_trap();
    if (loaded == MACHINE_STATE_OK) {
        Z80Regs r;
        z80_get_regs(&machine.cpu, &r);
        std::int32_t t = z80_tstates(&machine.cpu);
        if (r.im > 2 || machine.border > 7 || t < 0 || t >= 2 * SPECTRUM_FRAME_TSTATES)
            __builtin_trap();
    }
    (void)machine_state_result_text(loaded);

    // The same sections as a 128K's state.
    static std::vector<std::uint8_t> rom0(0x4000, 0xC9);
    static std::vector<std::uint8_t> ram128(SPECTRUM_128_RAM_SIZE);
    static AyChip ay;
    static Spectrum m128;
    static std::vector<std::uint8_t> buffer(MACHINE_STATE_BANK_BUFFER);
    spectrum_init_128(&m128, rom0.data(), rom.data(), ram128.data(), &ay, edges.data());
    spectrum_power_on(&m128, SPECTRUM_128K);
    state[6] = MACHINE_KIND_128K;
    crc = zx_crc32(0, state.data(), n - 4);
    std::memcpy(state.data() + n - 4, &crc, 4);
    MachineStateSource pieces = {
        nullptr,
        [](void* c, std::uint32_t at, std::uint8_t* out, std::uint32_t count) {
            const auto* v = static_cast<const std::vector<std::uint8_t>*>(c);
            if (std::size_t(at) + count > v->size())
                __builtin_trap();
            std::memcpy(out, v->data() + at, count);
        },
        &state, n};
    MachineStateResult read = machine_state_load_from(&m128, &pieces, buffer.data());
    MachineStateResult direct = machine_state_load(&m128, state.data(), state.size());
    if (read != direct)
        __builtin_trap();
    if (direct == MACHINE_STATE_OK) {
        std::int32_t t = z80_tstates(&m128.cpu);
        if (m128.model != SPECTRUM_128K || t < 0 || t >= 2 * SPECTRUM_128_FRAME_TSTATES ||
            ay.queued > AY_QUEUE_SIZE)
            __builtin_trap();
        std::vector<std::int8_t> samples(655);
        ay_render(&ay, m128.frame_tstates, samples.data(), int(samples.size()));
    }

    if (size >= 2) {
        std::size_t out_size = (data[0] | data[1] << 8) % 0x4001;
        std::vector<std::uint8_t> out(out_size);
        int ok = lz_expand(data + 2, size - 2, out.data(), out_size);
        if (ok != lz_expand(data + 2, size - 2, nullptr, out_size))
            __builtin_trap();
    }
    return 0;
}
