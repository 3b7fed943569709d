/* Z80 CPU core: exact to the T-state at instruction level, undocumented behaviour included.
 * The same source builds for the host (tests, desktop) and for the GBA, where an ARM fast path
 * in IWRAM runs the frequent instructions (z80_fast.py). The CPU knows nothing of the machine
 * around it: memory comes as four pages, ports through two handlers, and writes to one range of
 * addresses can be watched for the machine (its screen). */
#ifndef TAPELOOM_Z80_H
#define TAPELOOM_Z80_H

#include <stdint.h>

#include "zx_placement.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Register file as the outside world sees it (snapshot loaders, tests). */
typedef struct Z80Regs {
    uint16_t af, bc, de, hl, af_, bc_, de_, hl_, ix, iy, sp, pc, wz;
    uint8_t i, r /* all 8 bits, bit 7 kept */, iff1, iff2, im, halted;
} Z80Regs;

/* On the GBA the run loop sits in IWRAM and the rest in ROM: calls across need long_call. */
#define Z80_API ZX_API

typedef uint8_t (*z80_in_fn)(void* user, uint16_t port);
typedef void (*z80_out_fn)(void* user, uint16_t port, uint8_t value);

/* A register pair; both targets are little-endian, so .b.l is the low byte. */
typedef union Z80Pair {
    uint16_t w;
    struct {
        uint8_t l, h;
    } b;
} Z80Pair;

/* The output latch's value (-2: no latch) and the room for its log (z80_set_latch). */
typedef struct Z80Latch {
    int32_t value;
    uint32_t* next;
    uint32_t* end;
} Z80Latch;

/* Internal state; defined here so that the machine can hold it by value. Every field is
 * private: use the functions below. The ARM fast path reads some of them at the offsets in
 * z80_layout.h, which z80.c checks against this struct. */
typedef struct Z80 {
    /* Page pointers biased by the page's base address, so that address + rd[a >> 14] is the
     * byte; rd[4] repeats page 0 for fetches that run over 0xFFFF. wr[p] == 0: ROM.
     * First in the struct so that indexing them needs no offset. */
    uintptr_t rd[5], wr[4];
    Z80Pair af, bc, de, hl, ix, iy, sp, pc, wz;
    uint16_t af_, bc_, de_, hl_;
    uint8_t i, r, iff1, iff2, im, halted;
    int32_t tstates;
    int32_t ei_tstates; /* == tstates exactly when the last instruction was EI */
    int32_t run_limit;  /* z80_run's limit while it runs */
    z80_in_fn in;
    z80_out_fn out;
    void* io_user;
    /* The output latch (z80_set_latch): its ports as mask << 16 | match, its value and log. */
    uint32_t latch_ports;
    Z80Latch latch;
    /* The ports whose reads may be cached (z80_cache_in): mask << 16 | match. */
    uint32_t in_cache_ports;
    uint32_t latch_logged; /* the latch's bits whose changes are logged */
    /* Masks of the watched blocks written since z80_take_watched (see z80_watch_writes); the
     * ARM fast path marks blocks in its own data and adds them when they are taken. */
    uint32_t watched;
    const uint32_t* watch_masks;
    uint16_t watch_base, watch_size;
} Z80;

Z80_API void z80_init(Z80* z); /* power-on state */
Z80_API void z80_get_regs(const Z80* z, Z80Regs* out);
Z80_API void z80_set_regs(Z80* z, const Z80Regs* in);

/* Memory: four 16 KiB pages. read[p] must be non-NULL; write[p] NULL => writes to that page are
 * discarded (ROM). read and write may be the same buffer. */
Z80_API void z80_map_page(Z80* z, int page, const uint8_t* read, uint8_t* write);

/* I/O. Without handlers IN reads 0xFF and OUT does nothing. Inside a handler z80_tstates()
 * is the count at which the instruction's I/O cycle starts (e.g. 7 T-states into OUT (n),A),
 * so a beeper can date its edges exactly. */
Z80_API void z80_set_io(Z80* z, z80_in_fn in, z80_out_fn out, void* user);

/* Output latch: the ports with (port & mask) == match are one latch that holds the last value
 * written to it, `value` to begin with, such as the ULA's port 0xFE (mask 0: no latch, the
 * default). A write of the value it holds changes nothing and is dropped (a beeper engine writes
 * the same level most of the time); one that changes none of the bits in `logged` (the border
 * alone) only changes the value. Any other is appended to the latch's log as the T-state of the
 * OUT's I/O cycle while the log has room, so that the log is the list of the times those bits
 * changed (a beeper's edges), and passed to the out handler only when it is full: the handler
 * can take the entries and make room (z80_set_latch_log). Between runs. */
Z80_API void z80_set_latch(Z80* z, uint16_t mask, uint16_t match, uint8_t value, uint8_t logged);
/* The latch holds `value`: for a machine that changes it other than through the CPU, between
 * runs or from a port handler (a write to another port that reaches the latch too); the next
 * write is compared with this value. */
Z80_API void z80_set_latch_value(Z80* z, uint8_t value);
/* Where the latch's next entries go: room for `capacity` from `log` (also from a handler). */
Z80_API void z80_set_latch_log(Z80* z, uint32_t* log, uint32_t capacity);
/* Input cache: a read of a port with (port & mask) == match may be answered with what the in
 * handler answered for the same high byte before, until the CPU writes to a port (other than
 * a write to the output latch that changes none of its logged bits) or the run ends: for ports
 * whose value depends only on the high byte of the port, the latch's logged bits and what was
 * written to other ports, such as a keyboard that changes between runs. The ARM fast path keeps
 * such a cache; the C loop always asks. mask 0: none (the default). Between runs. */
Z80_API void z80_cache_in(Z80* z, uint16_t mask, uint16_t match);
#if ZX_GBA
/* The GBA's fast path keeps its CPU's latch in its own data while it runs (the struct has it
 * between runs, and the setters write both). */
typedef struct Z80FastLatch {
    Z80* cpu; /* the fast path's CPU */
    Z80Latch latch;
} Z80FastLatch;
extern Z80FastLatch z80_fast_latch;
#endif
/* The latch as it stands (also inside a run): its value and where its log ends. */
static inline const Z80Latch* z80_latch(const Z80* z) {
#if ZX_GBA
    if (z == z80_fast_latch.cpu)
        return &z80_fast_latch.latch;
#endif
    return &z->latch;
}
/* The end of the entries logged so far. */
static inline uint32_t* z80_latch_log_end(const Z80* z) {
    return z80_latch(z)->next;
}
/* The value the latch holds (-2 without a latch): the last write's, also inside a run. */
static inline int32_t z80_latch_value(const Z80* z) {
    return z80_latch(z)->value;
}

/* Write watch. A write that lands in a writable page at an address in [base, base + size) ORs
 * masks[(address - base) / 32] into a word the owner collects with z80_take_watched(). The
 * Spectrum machine watches its screen this way, with one bit per character row. base and size
 * are multiples of 256 and size is at most Z80_WATCH_MAX_SIZE; size 0 watches nothing. masks
 * (size / 32 words) must stay unchanged while they are watched. Returns 0, and changes nothing,
 * for a range it cannot watch. */
enum { Z80_WATCH_MAX_SIZE = 0x1B00, Z80_WATCH_BLOCK = 32 };
Z80_API int z80_watch_writes(Z80* z, uint16_t base, uint16_t size, const uint32_t* masks);
/* The masks of the watched blocks written since the last call; clears them. */
Z80_API uint32_t z80_take_watched(Z80* z);

/* Run until the T-state counter reaches at least `limit` (last instruction finishes).
 * Returns the counter. */
Z80_API int32_t z80_run(Z80* z, int32_t limit);
/* The T-state counter (inside a port handler: the start of the instruction's I/O cycle). */
static inline int32_t z80_tstates(const Z80* z) {
    return z->tstates;
}
/* The program counter, without copying the whole register file. */
static inline uint16_t z80_pc(const Z80* z) {
    return z->pc.w;
}
Z80_API void z80_set_tstates(Z80* z, int32_t t);
/* Whether the last instruction was EI, which holds off an interrupt for one instruction: part of
 * the CPU's state between instructions (save states keep it). Set it after z80_set_tstates. */
Z80_API int z80_after_ei(const Z80* z);
Z80_API void z80_set_after_ei(Z80* z, int after_ei);

/* Maskable interrupt request with the data-bus byte (0xFF on a Spectrum). Adds the T-states
 * taken to the counter and returns them (IM 0/1: 13, IM 2: 19); returns 0 if not accepted
 * (IFF1 clear or just after EI). Leaves HALT. In IM 0 the byte is executed when it is an RST,
 * otherwise RST 38h is assumed. */
Z80_API int z80_interrupt(Z80* z, uint8_t data_bus);
/* Non-maskable interrupt: always accepted, 11 T-states, jumps to 0x0066. */
Z80_API int z80_nmi(Z80* z);

#ifdef __cplusplus
}
#endif

#endif
