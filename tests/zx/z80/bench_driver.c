#include "bench_driver.h"

#include <string.h>

#include "spectrum/machine.h"

void z80_bench_setup(Z80* z, uint8_t* memory, const uint8_t* program, unsigned size) {
    memset(memory, 0, 0x10000);
    memcpy(memory + Z80_BENCH_ORIGIN, program, size);
    /* IM 1 lands at 0038h: jump to the program's handler right after its first JP. */
    memory[0x38] = 0xC3;
    memory[0x39] = (uint8_t)((Z80_BENCH_ORIGIN + 3) & 0xFF);
    memory[0x3A] = (uint8_t)((Z80_BENCH_ORIGIN + 3) >> 8);
    z80_init(z);
    for (int page = 0; page < 4; page++)
        z80_map_page(z, page, memory + page * 0x4000, memory + page * 0x4000);
    Z80Regs regs;
    z80_get_regs(z, &regs);
    regs.pc = Z80_BENCH_ORIGIN;
    z80_set_regs(z, &regs);
    z80_set_tstates(z, 0);
    z80_watch_writes(z, SPECTRUM_SCREEN_ADDRESS, SPECTRUM_SCREEN_SIZE, spectrum_screen_row_masks);
}

void z80_bench_frame(Z80* z) {
    int32_t t = z80_run(z, Z80_BENCH_FRAME_TSTATES);
    z80_set_tstates(z, t - Z80_BENCH_FRAME_TSTATES);
    z80_interrupt(z, 0xFF);
}

uint32_t z80_bench_checksum(Z80* z, const uint8_t* memory) {
    Z80Regs regs;
    z80_get_regs(z, &regs);
    uint32_t sum = 2166136261u;
    const uint16_t words[] = {regs.af, regs.bc, regs.de, regs.hl, regs.ix,
                              regs.iy, regs.sp, regs.pc, regs.wz, regs.r};
    for (unsigned k = 0; k < sizeof words / sizeof words[0]; k++)
        sum = (sum ^ words[k]) * 16777619u;
    for (unsigned a = 0; a < 0x10000; a++)
        sum = (sum ^ memory[a]) * 16777619u;
    return (sum ^ z80_take_watched(z)) * 16777619u;
}
