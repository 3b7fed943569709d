/* Runs the instruction vectors (converted by tools/z80_vectors.py, linked in as z80_vectors)
 * on the GBA build of the core and leaves the outcome in the mailbox. */
#include "hw/gba.h"
#include "spectrum/machine.h"
#include "z80/z80.h"
#include "z80_checks.h"
#include "z80_mailbox.h"

#include <string.h>

extern const uint8_t z80_vectors[];

static uint8_t memory[0x10000] __attribute__((aligned(4))) EWRAM_BSS;
static Z80Mailbox mailbox EWRAM_BSS;
static Z80 cpu;

static const uint8_t fill_pattern[4] = {0xDE, 0xAD, 0xBE, 0xEF};
#define FILL_WORD 0xEFBEADDEu /* the pattern as a little-endian word */

static unsigned get16(const uint8_t* p) {
    return p[0] | (p[1] << 8);
}
static uint32_t get32(const uint8_t* p) {
    return get16(p) | ((uint32_t)get16(p + 2) << 16);
}

static uint8_t port_high_byte(void* user, uint16_t port) {
    (void)user;
    return (uint8_t)(port >> 8);
}

/* Blocks: u16 address, u16 length, bytes, padding to 4. Copies them into `into` unless NULL;
 * returns the end of the list. */
static const uint8_t* apply_blocks(const uint8_t* p, unsigned count, uint8_t* into) {
    while (count--) {
        unsigned address = get16(p), length = get16(p + 2);
        if (into)
            for (unsigned k = 0; k < length; k++)
                into[(address + k) & 0xFFFF] = p[4 + k];
        p += (4 + length + 3) & ~3u;
    }
    return p;
}

/* The byte a cell should hold: expected blocks, else input blocks, else the fill pattern. */
static unsigned wanted_byte(unsigned address, const uint8_t* in_blocks, unsigned in_count,
                            const uint8_t* ex_blocks, unsigned ex_count) {
    const uint8_t* lists[2] = {ex_blocks, in_blocks};
    unsigned counts[2] = {ex_count, in_count};
    for (int list = 0; list < 2; list++) {
        const uint8_t* p = lists[list];
        int found = -1;
        for (unsigned n = 0; n < counts[list]; n++) {
            unsigned start = get16(p), length = get16(p + 2);
            if (((address - start) & 0xFFFF) < length)
                found = p[4 + ((address - start) & 0xFFFF)];
            p += (4 + length + 3) & ~3u;
        }
        if (found >= 0)
            return (unsigned)found;
    }
    return fill_pattern[address & 3];
}

static void set_state(const uint8_t* s, Z80Regs* r) {
    uint16_t* pairs[13] = {&r->af,  &r->bc, &r->de, &r->hl, &r->af_, &r->bc_, &r->de_,
                           &r->hl_, &r->ix, &r->iy, &r->sp, &r->pc,  &r->wz};
    for (int k = 0; k < 13; k++)
        *pairs[k] = (uint16_t)get16(s + 2 * k);
    r->i = s[26], r->r = s[27], r->iff1 = s[28], r->iff2 = s[29], r->im = s[30], r->halted = s[31];
}

static uint32_t compare_state(const uint8_t* want, const Z80Regs* got) {
    const uint16_t pairs[13] = {got->af,  got->bc, got->de, got->hl, got->af_, got->bc_, got->de_,
                                got->hl_, got->ix, got->iy, got->sp, got->pc,  got->wz};
    uint32_t diff = 0;
    for (int k = 0; k < 13; k++)
        if (pairs[k] != get16(want + 2 * k))
            diff |= Z80_DIFF_PAIRS << k;
    if (got->i != want[26])
        diff |= Z80_DIFF_I;
    if (got->r != want[27])
        diff |= Z80_DIFF_R;
    if (got->iff1 != want[28] || got->iff2 != want[29])
        diff |= Z80_DIFF_IFF;
    if (got->im != want[30])
        diff |= Z80_DIFF_IM;
    if (got->halted != want[31])
        diff |= Z80_DIFF_HALTED;
    return diff;
}

/* The first word from `w` on that no longer holds the fill pattern (0x4000 if none): the scan
 * runs 1,356 times over 64 KiB, so it runs from IWRAM. */
IWRAM_CODE static unsigned next_changed_word(unsigned w) {
    const uint32_t* words = (const uint32_t*)memory;
    while (w < 0x4000 && words[w] == FILL_WORD)
        w++;
    return w;
}

static void fill(void) {
    uint32_t* words = (uint32_t*)memory;
    for (unsigned k = 0; k < 0x4000; k++)
        words[k] = FILL_WORD;
}

static unsigned pattern(unsigned a) {
    return (a * 7u + (a >> 8)) & 0xFFu;
}

/* LDIR/LDDR copying n bytes between ranges apart from each other, run in one go (the core's
 * bulk path): every source/destination alignment and lengths around the copy's unrolling.
 * Returns 0 when memory, registers and T-states are right. */
static uint32_t check_block_copy(unsigned op, unsigned src, unsigned dst, unsigned n) {
    for (unsigned a = 0x8F00; a < 0xB100; a++)
        memory[a] = (uint8_t)pattern(a);
    memory[0x8000] = 0xED, memory[0x8001] = (uint8_t)op, memory[0x8002] = 0x76; /* HALT */
    Z80Regs regs;
    z80_init(&cpu);
    for (int page = 0; page < 4; page++)
        z80_map_page(&cpu, page, memory + page * 0x4000, memory + page * 0x4000);
    z80_get_regs(&cpu, &regs);
    regs.pc = 0x8000, regs.hl = (uint16_t)src, regs.de = (uint16_t)dst, regs.bc = (uint16_t)n;
    z80_set_regs(&cpu, &regs);
    z80_set_tstates(&cpu, 0);
    int32_t t = z80_run(&cpu, (int32_t)(21 * n - 5));
    z80_get_regs(&cpu, &regs);
    int step = op == 0xB0 ? 1 : -1;
    uint32_t diff = 0;
    if (t != (int32_t)(21 * n - 5))
        diff |= Z80_DIFF_TSTATES;
    if (regs.pc != 0x8002 || regs.bc != 0 || regs.hl != (uint16_t)(src + step * (int)n) ||
        regs.de != (uint16_t)(dst + step * (int)n))
        diff |= Z80_DIFF_PAIRS;
    unsigned lo = op == 0xB0 ? dst : dst - (n - 1);
    for (unsigned a = 0x8F00; a < 0xB100; a++) {
        unsigned want = a >= lo && a < lo + n ? pattern(a - dst + src) : pattern(a);
        if (memory[a] != want)
            diff |= Z80_DIFF_MEMORY;
    }
    return diff;
}

/* A program that runs across the boundary of pages 1 and 2 (an instruction straddles it, DJNZ
 * jumps back over it, CALL and RET go to page 3 and back) and writes the screen through the
 * stack and HL, then halts. Run once with pages 1 and 2 adjacent in one buffer and once with
 * page 2 elsewhere: the two runs must agree. */
static const uint8_t crossing_program[] = {
    0x31, 0x00, 0x41,       /* 7FF0 LD SP,4100h */
    0x21, 0xE0, 0x5A,       /* 7FF3 LD HL,5AE0h */
    0x06, 0x05,             /* 7FF6 LD B,5 */
    0x3E, 0x00,             /* 7FF8 LD A,0 */
    0xC6, 0x07,             /* 7FFA ADD A,7 */
    0x77,                   /* 7FFC LD (HL),A */
    0x23,                   /* 7FFD INC HL */
    0x11, 0x34, 0x12,       /* 7FFE LD DE,1234h: straddles the boundary */
    0xCD, 0x00, 0xC0,       /* 8001 CALL C000h */
    0x10, 0xF4,             /* 8004 DJNZ 7FFAh */
    0xDD, 0x21, 0xFE, 0x7F, /* 8006 LD IX,7FFEh */
    0xDD, 0x7E, 0x01,       /* 800A LD A,(IX+1) */
    0x18, 0x02,             /* 800D JR 8011h */
    0x00, 0x00, 0x76,       /* 800F NOP NOP HALT */
};
/* C000: PUSH BC, INC DE, ADD IY,DE (IY sums what every pass loaded), POP BC, RET */
static const uint8_t crossing_call[] = {0xC5, 0x13, 0xFD, 0x19, 0xC1, 0xC9};
static uint8_t page2[0x4000] EWRAM_BSS;

/* Runs the program with page 2 at `page2_buffer`; returns the end state and the rows marked. */
static void run_crossing(uint8_t* page2_buffer, Z80Regs* regs, int32_t* t, uint32_t* dirty) {
    z80_init(&cpu);
    for (int page = 0; page < 4; page++) {
        uint8_t* buffer = page == 2 ? page2_buffer : memory + page * 0x4000;
        z80_map_page(&cpu, page, buffer, buffer);
    }
    z80_get_regs(&cpu, regs);
    regs->pc = 0x7FF0;
    z80_set_regs(&cpu, regs);
    z80_set_tstates(&cpu, 0);
    z80_watch_writes(&cpu, SPECTRUM_SCREEN_ADDRESS, SPECTRUM_SCREEN_SIZE,
                     spectrum_screen_row_masks);
    *t = z80_run(&cpu, 2000);
    z80_get_regs(&cpu, regs);
    *dirty = z80_take_watched(&cpu);
}

static uint32_t check_page_crossing(void) {
    memcpy(memory + 0x7FF0, crossing_program, sizeof crossing_program);
    memcpy(memory + 0xC000, crossing_call, sizeof crossing_call);
    memcpy(page2, memory + 0x8000, sizeof page2);
    Z80Regs flat, split;
    int32_t flat_t, split_t;
    uint32_t flat_dirty, split_dirty, diff = 0;
    run_crossing(memory + 0x8000, &flat, &flat_t, &flat_dirty);
    /* What lies after page 1 in the flat buffer must not be read as page 2 now. */
    memset(memory + 0x8000, 0x76, sizeof page2);
    run_crossing(page2, &split, &split_t, &split_dirty);
    if (memcmp(&flat, &split, sizeof flat) != 0 || flat.pc != 0x8011 || !flat.halted ||
        flat.hl != 0x5AE5 || flat.iy != 5 * 0x1235)
        diff |= Z80_DIFF_PAIRS;
    if (flat_t != split_t || flat_t < 2000)
        diff |= Z80_DIFF_TSTATES;
    /* attributes of row 23 and the stack in bitmap row 7 */
    if (flat_dirty != ((1u << 23) | (1u << 7)) || split_dirty != flat_dirty ||
        memcmp(page2, crossing_program + 0x10, sizeof crossing_program - 0x10) != 0)
        diff |= Z80_DIFF_MEMORY;
    return diff;
}

/* Port handlers that remap memory while the fast path runs: OUT puts another buffer at page 3,
 * IN puts page 3 back and moves page 2 (the code's) to a copy whose next instruction differs.
 * The fast path must see both at once. */
static const uint8_t remap_program[] = {
    0x3A, 0x00, 0xC0, /* 8000 LD A,(C000h): 11h */
    0x47,             /* 8003 LD B,A */
    0xD3, 0xFE,       /* 8004 OUT (FEh),A: page 3 -> bank */
    0x3A, 0x00, 0xC0, /* 8006 LD A,(C000h): 22h from the bank */
    0x4F,             /* 8009 LD C,A */
    0xDB, 0xFE,       /* 800A IN A,(FEh): 33h; page 3 back, page 2 -> copy */
    0x57,             /* 800C LD D,A (the copy has LD H,A) */
    0x3A, 0x00, 0xC0, /* 800D LD A,(C000h): 11h again */
    0x5F,             /* 8010 LD E,A */
    0x32, 0x01, 0xC0, /* 8011 LD (C001h),A: into page 3 itself, not the bank */
    0x76,             /* 8014 HALT */
};
static uint8_t bank3[0x4000] EWRAM_BSS;

static void remap_out(void* user, uint16_t port, uint8_t value) {
    (void)user, (void)port, (void)value;
    z80_map_page(&cpu, 3, bank3, bank3);
}

static uint8_t remap_in(void* user, uint16_t port) {
    (void)user, (void)port;
    z80_map_page(&cpu, 3, memory + 0xC000, memory + 0xC000);
    z80_map_page(&cpu, 2, page2, page2);
    return 0x33;
}

static uint32_t check_remap(void) {
    memcpy(memory + 0x8000, remap_program, sizeof remap_program);
    memcpy(page2, memory + 0x8000, sizeof page2);
    page2[0x0C] = 0x67; /* LD H,A */
    memory[0xC000] = 0x11;
    memset(bank3, 0x22, sizeof bank3);
    z80_init(&cpu);
    for (int page = 0; page < 4; page++)
        z80_map_page(&cpu, page, memory + page * 0x4000, memory + page * 0x4000);
    z80_set_io(&cpu, remap_in, remap_out, NULL);
    Z80Regs regs;
    z80_get_regs(&cpu, &regs);
    regs.pc = 0x8000, regs.bc = regs.de = regs.hl = 0;
    z80_set_regs(&cpu, &regs);
    z80_set_tstates(&cpu, 0);
    int32_t t = z80_run(&cpu, 200);
    z80_get_regs(&cpu, &regs);
    uint32_t diff = 0;
    if (regs.bc != 0x1122 || regs.de != 0x0011 || regs.hl != 0x3300 || regs.pc != 0x8014 ||
        !regs.halted)
        diff |= Z80_DIFF_PAIRS;
    if (t < 200)
        diff |= Z80_DIFF_TSTATES;
    if (memory[0xC001] != 0x11 || bank3[1] != 0x22)
        diff |= Z80_DIFF_MEMORY;
    return diff;
}

/* Two CPUs watching different ranges, run in turn, so that the fast path must set itself up
 * again for each: single writes, a short LDIR (stepped) and a long one (bulk), a PUSH. */
static const uint8_t watch_program[] = {
    0x21, 0x10, 0xC0, /* 8000 LD HL,C010h */
    0x77,             /* 8003 LD (HL),A      C000 range: block 0 */
    0x21, 0x00, 0x90, /* 8004 LD HL,9000h */
    0x11, 0xE0, 0xC0, /* 8007 LD DE,C0E0h */
    0x01, 0x20, 0x00, /* 800A LD BC,0020h */
    0xED, 0xB0,       /* 800D LDIR           32 bytes in bulk: block 7 */
    0x11, 0x40, 0xC0, /* 800F LD DE,C040h */
    0x01, 0x04, 0x00, /* 8012 LD BC,0004h */
    0xED, 0xB0,       /* 8015 LDIR           stepped: block 2 */
    0x31, 0x02, 0x41, /* 8017 LD SP,4102h */
    0xC5,             /* 801A PUSH BC        4100h-4101h: screen row 0 */
    0x76,             /* 801B HALT */
};
static const uint32_t watch_masks[] = {1u << 1, 1u << 2, 1u << 3, 1u << 4,
                                       1u << 5, 1u << 6, 1u << 7, 1u << 8};
static Z80 other_cpu;

static uint32_t run_watched(Z80* z) {
    Z80Regs regs;
    z80_get_regs(z, &regs);
    regs.pc = 0x8000;
    z80_set_regs(z, &regs);
    z80_set_tstates(z, 0);
    z80_take_watched(z);
    z80_run(z, 2000);
    return z80_take_watched(z);
}

static uint32_t check_watch(void) {
    memcpy(memory + 0x8000, watch_program, sizeof watch_program);
    Z80* cpus[2] = {&cpu, &other_cpu};
    for (int k = 0; k < 2; k++) {
        z80_init(cpus[k]);
        for (int page = 0; page < 4; page++)
            z80_map_page(cpus[k], page, memory + page * 0x4000, memory + page * 0x4000);
    }
    z80_watch_writes(&cpu, SPECTRUM_SCREEN_ADDRESS, SPECTRUM_SCREEN_SIZE,
                     spectrum_screen_row_masks);
    z80_watch_writes(&other_cpu, 0xC000, 0x100, watch_masks);
    uint32_t diff = 0;
    if (run_watched(&cpu) != 1u)
        diff |= 1u << 0;
    if (run_watched(&other_cpu) != ((1u << 1) | (1u << 3) | (1u << 8)))
        diff |= 1u << 1;
    if (run_watched(&cpu) != 1u)
        diff |= 1u << 2;
    z80_watch_writes(&cpu, 0, 0, NULL);
    if (run_watched(&cpu) != 0u)
        diff |= 1u << 3;
    return diff;
}

int main(void) {
    memset(&mailbox, 0, sizeof mailbox);
    memcpy(mailbox.magic, Z80_MAILBOX_MAGIC, 8);
    unsigned count = get32(z80_vectors + 4);
    mailbox.cases = count;
    const uint8_t* p = z80_vectors + 8;
    fill();
    for (unsigned n = 0; n < count; n++) {
        const uint8_t* in_state = p;
        const uint8_t* ex_state = p + 32;
        int32_t in_t = (int32_t)get32(p + 64), ex_t = (int32_t)get32(p + 68);
        unsigned in_count = get16(p + 72), ex_count = get16(p + 74);
        const uint8_t* in_blocks = p + 76;
        const uint8_t* ex_blocks = apply_blocks(in_blocks, in_count, memory);
        p = apply_blocks(ex_blocks, ex_count, NULL);

        Z80Regs regs;
        z80_init(&cpu);
        for (int page = 0; page < 4; page++)
            z80_map_page(&cpu, page, memory + page * 0x4000, memory + page * 0x4000);
        z80_set_io(&cpu, port_high_byte, NULL, NULL);
        set_state(in_state, &regs);
        z80_set_regs(&cpu, &regs);
        z80_set_tstates(&cpu, 0);
        int32_t t = z80_run(&cpu, in_t);
        z80_get_regs(&cpu, &regs);
        uint32_t diff = compare_state(ex_state, &regs);
        if (t != ex_t)
            diff |= Z80_DIFF_TSTATES;

        /* Every listed byte, then every word that no longer holds the fill pattern. */
        const uint8_t* lists[2] = {in_blocks, ex_blocks};
        unsigned counts[2] = {in_count, ex_count};
        for (int list = 0; list < 2; list++) {
            const uint8_t* b = lists[list];
            for (unsigned k = 0; k < counts[list]; k++) {
                unsigned start = get16(b), length = get16(b + 2);
                for (unsigned a = start; a < start + length; a++)
                    if (memory[a & 0xFFFF] !=
                        wanted_byte(a & 0xFFFF, in_blocks, in_count, ex_blocks, ex_count))
                        diff |= Z80_DIFF_MEMORY;
                b += (4 + length + 3) & ~3u;
            }
        }
        for (unsigned w = next_changed_word(0); w < 0x4000; w = next_changed_word(w + 1)) {
            for (unsigned a = w * 4; a < w * 4 + 4; a++)
                if (memory[a] != wanted_byte(a, in_blocks, in_count, ex_blocks, ex_count))
                    diff |= Z80_DIFF_MEMORY;
            ((uint32_t*)memory)[w] = FILL_WORD; /* ready for the next case */
        }

        if (diff) {
            if (mailbox.failed < Z80_MAILBOX_FAILURES) {
                mailbox.failure_case[mailbox.failed] = n;
                mailbox.failure_diff[mailbox.failed] = diff;
            }
            mailbox.failed++;
        } else {
            mailbox.passed++;
        }
    }
    fill();
    static const unsigned lengths[] = {1, 2, 3, 7, 8, 9, 10, 17, 64};
    for (unsigned op = 0xB0; op <= 0xB8; op += 8)
        for (unsigned sa = 0; sa < 4; sa++)
            for (unsigned da = 0; da < 4; da++)
                for (unsigned k = 0; k < sizeof lengths / sizeof lengths[0]; k++) {
                    unsigned base = op == 0xB0 ? 0 : 0x80;
                    mailbox.copies++;
                    if (check_block_copy(op, 0x9000 + base + sa, 0xA000 + base + da, lengths[k]))
                        mailbox.copies_failed++;
                }
    fill();
    mailbox.crossing_diff = check_page_crossing();
    fill();
    mailbox.remap_diff = check_remap();
    fill();
    mailbox.watch_diff = check_watch();
    mailbox.io_timing = z80_check_io_timing(&cpu, memory);
    mailbox.latch = z80_check_latch(&cpu, memory);
    mailbox.store_marks = z80_check_store_marks(&cpu, memory);
    mailbox.limits = z80_check_limits(&cpu, memory);
    mailbox.page_end_after_io = z80_check_page_end_after_io(&cpu, memory, page2);
    unsigned asked = 0;
    mailbox.in_cache = z80_check_in_cache(&cpu, memory, &asked);
    mailbox.in_asked = asked;
    mailbox.done = 1;
    gba_irq_init_vblank();
    for (;;)
        bios_vblank_intr_wait();
}
