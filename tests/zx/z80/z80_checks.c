#include "z80_checks.h"

#include <string.h>

/* ---- set-up ---- */

typedef struct Setup {
    uint16_t af, bc, de, hl, ix, iy, sp;
} Setup;

/* A CPU at power-on with `memory` as its 64 KiB, `code` at 0x8000 and the registers of `s`. */
static void start(Z80* z, uint8_t* memory, const uint8_t* code, unsigned size, const Setup* s) {
    z80_init(z);
    for (int page = 0; page < 4; page++)
        z80_map_page(z, page, memory + page * 0x4000, memory + page * 0x4000);
    memcpy(memory + 0x8000, code, size);
    Z80Regs r;
    z80_get_regs(z, &r);
    r.pc = 0x8000, r.af = s->af, r.bc = s->bc, r.de = s->de, r.hl = s->hl, r.ix = s->ix,
    r.iy = s->iy, r.sp = s->sp ? s->sp : 0xF000, r.r = 0;
    z80_set_regs(z, &r);
    z80_set_tstates(z, 0);
}

/* Port handlers that note when and where they were called. */
typedef struct IoLog {
    Z80* z;
    unsigned count;
    int32_t t[16];
    uint16_t port[16];
    uint8_t value[16];
    int32_t latch[16];
    uint16_t sets_latch; /* a port whose writes the handler puts into the latch (0: none) */
} IoLog;

static IoLog io_log;

static void note(uint16_t port, uint8_t value) {
    if (io_log.count < 16) {
        io_log.t[io_log.count] = z80_tstates(io_log.z);
        io_log.port[io_log.count] = port;
        io_log.value[io_log.count] = value;
        io_log.latch[io_log.count++] = z80_latch_value(io_log.z);
    }
}

static uint8_t log_in(void* user, uint16_t port) {
    (void)user;
    note(port, 0x5A);
    return 0x5A;
}

static void log_out(void* user, uint16_t port, uint8_t value) {
    (void)user;
    note(port, value);
    if (io_log.sets_latch && port == io_log.sets_latch)
        z80_set_latch_value(io_log.z, value);
}

static void start_log(Z80* z) {
    memset(&io_log, 0, sizeof io_log);
    io_log.z = z;
    z80_set_io(z, log_in, log_out, &io_log);
}

static uint16_t reg_pc(const Z80* z) {
    Z80Regs r;
    z80_get_regs(z, &r);
    return r.pc;
}

/* ---- port handlers see the start of their I/O cycle ---- */

uint32_t z80_check_io_timing(Z80* z, uint8_t* memory) {
    static const uint8_t code[] = {
        0x00,       /* NOP              0-4   */
        0xD3, 0xFE, /* OUT (FEh),A      4-15  I/O 11 */
        0xED, 0x79, /* OUT (C),A       15-27  I/O 23 */
        0xDB, 0xFE, /* IN A,(FEh)      27-38  I/O 34 */
        0xED, 0x50, /* IN D,(C)        38-50  I/O 46 */
        0xED, 0xA3, /* OUTI            50-66  I/O 62, B 2 -> 1 first */
        0xED, 0xA2, /* INI             66-82  I/O 75, B 1 -> 0 after */
        0x06, 0x02, /* LD B,2          82-89 */
        0xED, 0xB3, /* OTIR            89-110 I/O 101, 110-126 I/O 122 */
        0x06, 0x02, /* LD B,2         126-133 */
        0xED, 0xB2, /* INIR           133-154 I/O 142, 154-170 I/O 163 */
        0x76,       /* HALT */
    };
    static const int32_t times[10] = {11, 23, 34, 46, 62, 75, 101, 122, 142, 163};
    static const uint16_t ports[10] = {0x12FE, 0x02FE, 0x12FE, 0x02FE, 0x01FE,
                                       0x01FE, 0x01FE, 0x00FE, 0x02FE, 0x01FE};
    const Setup s = {.af = 0x1200, .bc = 0x02FE, .hl = 0x9000};
    start(z, memory, code, sizeof code, &s);
    start_log(z);
    uint32_t failed = 0;
    if (z80_run(z, 170) != 170 || reg_pc(z) != 0x8015)
        failed |= 1u << 0;
    if (io_log.count != 10)
        failed |= 1u << 1;
    for (unsigned k = 0; k < 10; k++)
        if (io_log.t[k] != times[k] || io_log.port[k] != ports[k])
            failed |= 1u << (2 + k);
    return failed;
}

/* ---- the output latch: repeated values dropped, changes of the logged bits logged, other
 * changes kept, the handler for other ports and when the log is full ---- */

uint32_t z80_check_latch(Z80* z, uint8_t* memory) {
    static const uint8_t code[] = {
        0x3E, 0x10,       /* LD A,10h        0-7 */
        0xD3, 0xFE,       /* OUT (FEh),A     7-18   I/O 14: bit 4 changes, logged */
        0xD3, 0xFE,       /* OUT (FEh),A    18-29   the value it holds: dropped */
        0x3E, 0x13,       /* LD A,13h       29-36 */
        0xD3, 0xFE,       /* OUT (FEh),A    36-47   bit 4 as it was: kept, not logged */
        0xAF,             /* XOR A          47-51 */
        0xD3, 0xFE,       /* OUT (FEh),A    51-62   I/O 58: logged */
        0x01, 0xFC, 0x00, /* LD BC,00FCh    62-72 */
        0x3E, 0x10,       /* LD A,10h       72-79 */
        0xED, 0x79,       /* OUT (C),A      79-91   I/O 87: not the latch; the handler sets it */
        0xD3, 0xFE,       /* OUT (FEh),A    91-102  the value the handler set: dropped */
        0x3E, 0x07,       /* LD A,07h      102-109 */
        0xD3, 0xFE,       /* OUT (FEh),A   109-120  I/O 116: logged, the log is full */
        0x3E, 0x17,       /* LD A,17h      120-127 */
        0xD3, 0xFE,       /* OUT (FEh),A   127-138  I/O 134: the handler */
        0x0E, 0xFE,       /* LD C,FEh      138-145 */
        0xED, 0xA3,       /* OUTI          145-161  (9000h) = 17h to FFFEh: dropped */
        0xED, 0xAB,       /* OUTD          161-177  I/O 173: (9001h) = 03h to FEFEh: handler */
        0x76,             /* HALT */
    };
    static const uint32_t logged[3] = {14, 58, 116};
    static const int32_t times[3] = {87, 134, 173};
    static const uint16_t ports[3] = {0x00FC, 0x17FE, 0xFEFE};
    static const uint8_t values[3] = {0x10, 0x17, 0x03};
    uint32_t log[4] = {0, 0, 0, 0xDEADBEEF};
    const Setup s = {.hl = 0x9000};
    start(z, memory, code, sizeof code, &s);
    memory[0x9000] = 0x17, memory[0x9001] = 0x03;
    start_log(z);
    io_log.sets_latch = 0x00FC;
    /* the ports with A0 low and A1 high, as on a Spectrum 128 (0xFC reaches another chip) */
    z80_set_latch(z, 0x0003, 0x0002, 0x00, 0x10);
    z80_set_latch_log(z, log, 3);
    uint32_t failed = 0;
    if (z80_run(z, 177) != 177 || reg_pc(z) != 0x8000 + sizeof code - 1)
        failed |= 1u << 0;
    if (z80_latch_log_end(z) != log + 3 || log[3] != 0xDEADBEEF)
        failed |= 1u << 1;
    for (unsigned k = 0; k < 3; k++)
        if (log[k] != logged[k])
            failed |= 1u << (2 + k);
    if (io_log.count != 3)
        failed |= 1u << 5;
    for (unsigned k = 0; k < 3; k++)
        if (io_log.t[k] != times[k] || io_log.port[k] != ports[k] || io_log.value[k] != values[k])
            failed |= 1u << (6 + k);
    /* the handler sees the latch's value: the last write's (13h's border bits gone with XOR A),
     * the new one for the latch's own ports */
    if (io_log.latch[0] != 0x00 || io_log.latch[1] != 0x17 || io_log.latch[2] != 0x03 ||
        z80_latch_value(z) != 0x03)
        failed |= 1u << 9;
    return failed;
}

/* ---- every kind of store marks the watched blocks it wrote ---- */

typedef struct StoreCase {
    uint8_t code[5];
    int32_t tstates; /* to run the whole instruction */
    Setup setup;
    uint16_t first; /* bytes written: [first, first + count) */
    uint8_t count;
} StoreCase;

/* Block k of the watch (0x4000 up) sets bit k % 32. */
static uint32_t block_masks[0x1B00 / 32];

static uint32_t marks_of(unsigned first, unsigned count) {
    uint32_t bits = 0;
    for (unsigned a = first; a < first + count; a++)
        if (a - 0x4000u < 0x1B00u)
            bits |= 1u << (((a - 0x4000u) / 32) % 32);
    return bits;
}

uint32_t z80_check_store_marks(Z80* z, uint8_t* memory) {
    static const StoreCase cases[] = {
        {{0x70}, 7, {.hl = 0x4100}, 0x4100, 1},                               /* LD (HL),B */
        {{0x36, 0x55}, 10, {.hl = 0x4200}, 0x4200, 1},                        /* LD (HL),n */
        {{0x02}, 7, {.bc = 0x4300}, 0x4300, 1},                               /* LD (BC),A */
        {{0x12}, 7, {.de = 0x4400}, 0x4400, 1},                               /* LD (DE),A */
        {{0x32, 0x00, 0x45}, 13, {0}, 0x4500, 1},                             /* LD (nn),A */
        {{0x22, 0x3F, 0x46}, 16, {0}, 0x463F, 2},                             /* LD (nn),HL */
        {{0xED, 0x53, 0x5F, 0x47}, 20, {0}, 0x475F, 2},                       /* LD (nn),DE */
        {{0xED, 0x73, 0x80, 0x4E}, 20, {.sp = 0x1234}, 0x4E80, 2},            /* LD (nn),SP */
        {{0xFD, 0x22, 0x7F, 0x48}, 20, {0}, 0x487F, 2},                       /* LD (nn),IY */
        {{0xDD, 0x77, 0x05}, 19, {.ix = 0x4900}, 0x4905, 1},                  /* LD (IX+d),A */
        {{0xFD, 0x36, 0xFE, 0x11}, 19, {.iy = 0x4A02}, 0x4A00, 1},            /* LD (IY+d),n */
        {{0x34}, 11, {.hl = 0x4B00}, 0x4B00, 1},                              /* INC (HL) */
        {{0xDD, 0x35, 0x01}, 23, {.ix = 0x4C00}, 0x4C01, 1},                  /* DEC (IX+d) */
        {{0xCB, 0x06}, 15, {.hl = 0x4D00}, 0x4D00, 1},                        /* RLC (HL) */
        {{0xCB, 0xFE}, 15, {.hl = 0x4E00}, 0x4E00, 1},                        /* SET 7,(HL) */
        {{0xDD, 0xCB, 0x02, 0x86}, 23, {.ix = 0x4F00}, 0x4F02, 1},            /* RES 0,(IX+d) */
        {{0xDD, 0xCB, 0x03, 0x00}, 23, {.ix = 0x5000}, 0x5003, 1},            /* RLC (IX+d),B */
        {{0xED, 0x6F}, 18, {.hl = 0x5100}, 0x5100, 1},                        /* RLD */
        {{0xED, 0x67}, 18, {.hl = 0x5200}, 0x5200, 1},                        /* RRD */
        {{0xC5}, 11, {.sp = 0x5321}, 0x531F, 2},                              /* PUSH BC */
        {{0xDD, 0xE5}, 15, {.sp = 0x5402}, 0x5400, 2},                        /* PUSH IX */
        {{0xCD, 0x00, 0x90}, 17, {.sp = 0x5502}, 0x5500, 2},                  /* CALL nn */
        {{0xC4, 0x00, 0x90}, 17, {.sp = 0x5602}, 0x5600, 2},                  /* CALL NZ,nn */
        {{0xFF}, 11, {.sp = 0x5702}, 0x5700, 2},                              /* RST 38h */
        {{0xE3}, 19, {.sp = 0x5800}, 0x5800, 2},                              /* EX (SP),HL */
        {{0xDD, 0xE3}, 23, {.sp = 0x581F}, 0x581F, 2},                        /* EX (SP),IX */
        {{0xED, 0xA0}, 16, {.bc = 1, .de = 0x5900, .hl = 0x9000}, 0x5900, 1}, /* LDI */
        {{0xED, 0xA8}, 16, {.bc = 1, .de = 0x5A00, .hl = 0x9000}, 0x5A00, 1}, /* LDD */
        {{0xED, 0xB0}, 79, {.bc = 4, .de = 0x401E, .hl = 0x9000}, 0x401E, 4}, /* LDIR */
        {{0xED, 0xB0}, 21 * 99 + 16, {.bc = 100, .de = 0x4800, .hl = 0x9000}, 0x4800, 100},
        {{0xED, 0xB8}, 79, {.bc = 4, .de = 0x4021, .hl = 0x9100}, 0x401E, 4}, /* LDDR */
        {{0xED, 0xB8}, 21 * 199 + 16, {.bc = 200, .de = 0x50FF, .hl = 0x91FF}, 0x5038, 200},
        {{0xED, 0xA2}, 16, {.bc = 0x01FE, .hl = 0x5A10}, 0x5A10, 1}, /* INI */
        {{0xED, 0xBA}, 37, {.bc = 0x02FE, .hl = 0x5A41}, 0x5A40, 2}, /* INDR */
    };
    for (unsigned k = 0; k < sizeof block_masks / sizeof block_masks[0]; k++)
        block_masks[k] = 1u << (k % 32);
    uint32_t failed = 0;
    for (unsigned k = 0; k < sizeof cases / sizeof cases[0]; k++) {
        const StoreCase* c = &cases[k];
        start(z, memory, c->code, sizeof c->code, &c->setup);
        start_log(z);
        z80_watch_writes(z, 0x4000, 0x1B00, block_masks);
        z80_take_watched(z);
        z80_run(z, c->tstates);
        if (z80_take_watched(z) != marks_of(c->first, c->count) || z80_tstates(z) != c->tstates)
            failed |= 1u << k;
    }
    z80_watch_writes(z, 0, 0, NULL);
    return failed;
}

/* ---- HALT, EI and the run limit inside repeated instructions ---- */

uint32_t z80_check_limits(Z80* z, uint8_t* memory) {
    uint32_t failed = 0;
    Z80Regs r;
    /* EI; HALT to 101: the HALT repeats every 4 T-states past the limit, R steps each time */
    static const uint8_t halt[] = {0xFB, 0x76};
    const Setup none = {0};
    start(z, memory, halt, sizeof halt, &none);
    z80_run(z, 101);
    z80_get_regs(z, &r);
    if (z80_tstates(z) != 104 || r.r != 26 || !r.halted || r.pc != 0x8001)
        failed |= 1u << 0;
    if (z80_interrupt(z, 0xFF) != 13 || reg_pc(z) != 0x0038)
        failed |= 1u << 1;

    /* DI; EI; NOP: no interrupt right after EI, one after the NOP */
    static const uint8_t ei[] = {0xF3, 0xFB, 0x00, 0x00};
    start(z, memory, ei, sizeof ei, &none);
    z80_run(z, 1);
    if (z80_interrupt(z, 0xFF) != 0)
        failed |= 1u << 2;
    z80_run(z, 5);
    if (z80_tstates(z) != 8 || z80_interrupt(z, 0xFF) != 0)
        failed |= 1u << 3;
    z80_run(z, 9);
    if (z80_interrupt(z, 0xFF) != 13)
        failed |= 1u << 4;

    /* LDIR of 50 bytes stopped by the limit after 21 steps: pc on the instruction; then on */
    static const uint8_t ldir[] = {0xED, 0xB0, 0x76};
    const Setup copy = {.bc = 50, .de = 0xA000, .hl = 0x9000};
    start(z, memory, ldir, sizeof ldir, &copy);
    for (unsigned a = 0; a < 50; a++)
        memory[0x9000 + a] = (uint8_t)(a * 3 + 1), memory[0xA000 + a] = 0;
    z80_run(z, 21 * 20 + 1);
    z80_get_regs(z, &r);
    if (z80_tstates(z) != 21 * 21 || r.pc != 0x8000 || r.bc != 29 || r.hl != 0x9015 ||
        r.de != 0xA015 || r.r != 42 || memory[0xA014] != 61 || memory[0xA015] != 0)
        failed |= 1u << 5;
    z80_run(z, 21 * 49 + 16);
    z80_get_regs(z, &r);
    if (z80_tstates(z) != 21 * 49 + 16 || r.pc != 0x8002 || r.bc != 0 || memory[0xA031] != 148 ||
        r.r != 100)
        failed |= 1u << 6;

    /* CPIR that finds nothing, stopped after 11 steps */
    static const uint8_t cpir[] = {0xED, 0xB1, 0x76};
    const Setup search = {.af = 0xFF00, .bc = 30, .hl = 0x9000};
    start(z, memory, cpir, sizeof cpir, &search);
    for (unsigned a = 0; a < 30; a++)
        memory[0x9000 + a] = (uint8_t)a;
    z80_run(z, 21 * 10 + 1);
    z80_get_regs(z, &r);
    if (z80_tstates(z) != 21 * 11 || r.pc != 0x8000 || r.bc != 19 || r.hl != 0x900B)
        failed |= 1u << 7;

    /* INIR: every step an instruction of its own for the limit */
    static const uint8_t inir[] = {0xED, 0xB2, 0x76};
    const Setup in = {.bc = 0x03FE, .hl = 0x9000};
    start(z, memory, inir, sizeof inir, &in);
    start_log(z);
    z80_run(z, 22);
    z80_get_regs(z, &r);
    if (z80_tstates(z) != 42 || r.pc != 0x8000 || r.bc != 0x01FE || io_log.count != 2)
        failed |= 1u << 8;
    return failed;
}

/* ---- code that runs off its page after a port handler ---- */

uint32_t z80_check_page_end_after_io(Z80* z, uint8_t* memory, uint8_t* page) {
    /* 7FF6 IN A,(FEh); OUT (FEh),A; NOPs to the page's end; then LD A,42h; HALT in the next page,
     * which lies in a buffer of its own (the bytes after page 1 in `memory` say LD A,99h). */
    static const uint8_t code[] = {0xDB, 0xFE, 0xD3, 0xFE, 0, 0, 0, 0, 0, 0};
    static const uint8_t next[] = {0x3E, 0x42, 0x76};
    static const uint8_t wrong[] = {0x3E, 0x99, 0x76};
    uint32_t failed = 0;
    const Setup none = {0};
    start(z, memory, wrong, sizeof wrong, &none);
    memcpy(memory + 0x7FF6, code, sizeof code);
    memcpy(page, next, sizeof next);
    z80_map_page(z, 2, page, page);
    Z80Regs r;
    z80_get_regs(z, &r);
    r.pc = 0x7FF6;
    z80_set_regs(z, &r);
    start_log(z);
    z80_run(z, 11 + 11 + 6 * 4 + 7 + 4);
    z80_get_regs(z, &r);
    if ((r.af >> 8) != 0x42 || r.pc != 0x8002 || !r.halted)
        failed |= 1u << 0;
    if (io_log.count != 2)
        failed |= 1u << 1;
    return failed;
}

/* ---- the input cache never answers with a byte that is no longer true ---- */

/* The byte the cached ports read: the high byte plus a base that a write to port 01h and the
 * test between runs move, and 40h while the latch (port FEh) holds bit 4. */
static unsigned in_base, in_asked;

static uint8_t cache_in(void* user, uint16_t port) {
    Z80* z = (Z80*)user;
    in_asked++;
    return (uint8_t)(in_base + (port >> 8) + ((z80_latch_value(z) & 0x10) ? 0x40 : 0));
}

static void cache_out(void* user, uint16_t port, uint8_t value) {
    (void)user, (void)value;
    if ((port & 0xFF) == 0x01)
        in_base += 0x10;
}

uint32_t z80_check_in_cache(Z80* z, uint8_t* memory, unsigned* asked) {
    static const uint8_t code[] = {
        0xDB, 0xFE, /* IN A,(FEh)      high byte 00h */
        0x47,       /* LD B,A */
        0xAF,       /* XOR A */
        0xDB, 0xFE, /* IN A,(FEh)      the same again */
        0x4F,       /* LD C,A */
        0x3E, 0x01, /* LD A,01h */
        0xD3, 0x01, /* OUT (01h),A     the base moves */
        0x3E, 0x00, /* LD A,00h */
        0xDB, 0xFE, /* IN A,(FEh) */
        0x57,       /* LD D,A */
        0x3E, 0x10, /* LD A,10h */
        0xD3, 0xFE, /* OUT (FEh),A     the latch takes bit 4 */
        0x3E, 0x7F, /* LD A,7Fh */
        0xDB, 0xFE, /* IN A,(FEh)      another high byte */
        0x5F,       /* LD E,A */
        0x76,       /* HALT */
    };
    uint32_t log[4];
    uint32_t failed = 0;
    const Setup none = {0};
    in_base = 0x05, in_asked = 0;
    for (int run = 0; run < 2; run++) {
        start(z, memory, code, sizeof code, &none);
        z80_set_io(z, cache_in, cache_out, z);
        z80_set_latch(z, 0x0001, 0x0000, 0x00, 0x10);
        z80_set_latch_log(z, log, 4);
        z80_cache_in(z, 0x0001, 0x0000);
        unsigned base = in_base;
        z80_run(z, 200);
        Z80Regs r;
        z80_get_regs(z, &r);
        if ((r.bc >> 8) != base || (r.bc & 0xFF) != base)
            failed |= 1u << (3 * run);
        if ((r.de >> 8) != base + 0x10)
            failed |= 1u << (3 * run + 1);
        if ((r.de & 0xFF) != ((base + 0x10 + 0x7F + 0x40) & 0xFF))
            failed |= 1u << (3 * run + 2);
        in_base += 0x20; /* between runs: nothing read before may be kept */
    }
    *asked = in_asked;
    return failed;
}
