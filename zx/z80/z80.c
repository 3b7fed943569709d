/* Z80 interpreter: one source for the host and the GBA.
 *
 * The run loop keeps pc, A, F, R and the T-state counter in locals (the counter runs from
 * -(T-states to go) up to 0, so the end test is a sign test), dispatches through a table of
 * labels, reads memory through page pointers biased by the page's base (address + rd[a >> 14])
 * and takes flags from tables. Frequent handlers end in their own fetch-and-jump; LDIR/LDDR and
 * CPIR/CPDR repeat inside their handler while time remains.
 *
 * On the GBA, z80_fast.S (ARM in IWRAM, written by z80_fast.py) is z80_run: it runs the frequent
 * instructions with the Z80 registers in ARM registers and hands every other one to this loop,
 * then named z80_run_c and built as Thumb code in ROM. Z80_C_LOOP defined builds this loop
 * alone (ARM, in IWRAM), for comparison. docs/performance.md has the measurements behind each
 * of these choices and what was tried without gain. */
#include "z80/z80.h"

#include "z80/z80_layout.h"

#include <stddef.h>
#include <string.h>

/* Labels as values (GCC and Clang) make the threaded dispatch. */
#pragma GCC diagnostic ignored "-Wpedantic"
#ifdef __clang__
#pragma clang diagnostic ignored "-Wgnu-label-as-value"
#endif

#if ZX_GBA
#define Z80_HOT __attribute__((section(".iwram.z80"), noinline))
#define Z80_TABLE __attribute__((section(".iwram.z80tab")))
#define Z80_COLD __attribute__((section(".text.z80cold"), target("thumb"), noinline, long_call))
#define Z80_LONG_CALL __attribute__((long_call))
#else
#define Z80_HOT __attribute__((noinline))
#define Z80_TABLE
#define Z80_COLD __attribute__((noinline))
#define Z80_LONG_CALL
#endif
#define INLINE static inline __attribute__((always_inline))

/* On the GBA the frequent opcodes run in the ARM fast path (z80_fast.S), which defines z80_run
 * and hands every other instruction to the C loop below, then named z80_run_c. */
#if ZX_GBA && !defined(Z80_C_LOOP)
#define Z80_FAST_ARM 1
#define Z80_RUN_LOOP z80_run_c
/* It runs the rarer instructions only, so it leaves IWRAM to the fast path: Thumb in ROM. */
#define Z80_LOOP __attribute__((section(".text.z80loop"), target("thumb"), noinline))
#define Z80_LOOP_TABLE
/* Its tables go to ROM with it. */
#undef Z80_TABLE
#define Z80_TABLE
int32_t z80_run_c(Z80* z, int32_t limit);
/* The fast path's CPU has its latch in the fast path's data too (z80.h): what changes the
 * struct's copies it there (outside the fast path's run, where the struct's is the live one). */
#define LATCH_MIRROR(z)                                                                            \
    ((z) == z80_fast_latch.cpu ? (void)(z80_fast_latch.latch = (z)->latch) : (void)0)
#define LATCH_FIELD(z, f)                                                                          \
    ((z) == z80_fast_latch.cpu ? (void)(z80_fast_latch.latch.f = (z)->latch.f) : (void)0)
#else
#define Z80_RUN_LOOP z80_run
#define Z80_LOOP Z80_HOT
#define Z80_LOOP_TABLE Z80_TABLE
#define LATCH_MIRROR(z) ((void)(z))
#define LATCH_FIELD(z, f) ((void)(z))
#endif

enum {
    FC = 0x01,
    FN = 0x02,
    FP = 0x04,
    FV = 0x04,
    F3 = 0x08,
    FH = 0x10,
    F5 = 0x20,
    FZ = 0x40,
    FS = 0x80
};

/* S, Z, 5 and 3 of a byte, with and without its parity. */
#define SZ53_(x) (((x) & (FS | F5 | F3)) | ((x) ? 0 : FZ))
#define PAR_(x) (((0x6996u >> (((x) ^ ((x) >> 4)) & 15u)) & 1u) ? 0 : FP)
#define T4_(m, n) m(n), m(n + 1), m(n + 2), m(n + 3)
#define T16_(m, n) T4_(m, n), T4_(m, n + 4), T4_(m, n + 8), T4_(m, n + 12)
#define T64_(m, n) T16_(m, n), T16_(m, n + 16), T16_(m, n + 32), T16_(m, n + 48)
#define T256_(m) T64_(m, 0), T64_(m, 64), T64_(m, 128), T64_(m, 192)
#define SZ53P_(x) (SZ53_(x) | PAR_(x))
static const uint8_t sz53[256] Z80_TABLE = {T256_(SZ53_)};
static const uint8_t sz53p[256] Z80_TABLE = {T256_(SZ53P_)};
/* Flags other than C after INC and DEC, by the result. */
#define INC_(x) (SZ53_(x) | ((x) == 0x80 ? FV : 0) | (((x)&15) == 0 ? FH : 0))
#define DEC_(x) (SZ53_(x) | FN | ((x) == 0x7F ? FV : 0) | (((x)&15) == 15 ? FH : 0))
static const uint8_t inc_flags[256] Z80_TABLE = {T256_(INC_)};
static const uint8_t dec_flags[256] Z80_TABLE = {T256_(DEC_)};

/* Offsets of B, C, D, E, H, L, -, A in struct Z80, indexed by the 3-bit register field. */
static const uint8_t reg_offset[8] Z80_TABLE = {offsetof(Z80, bc.b.h),
                                                offsetof(Z80, bc.b.l),
                                                offsetof(Z80, de.b.h),
                                                offsetof(Z80, de.b.l),
                                                offsetof(Z80, hl.b.h),
                                                offsetof(Z80, hl.b.l),
                                                0,
                                                offsetof(Z80, af.b.h)};

#ifdef Z80_FAST_ARM
/* The fast path reads the struct at the offsets of z80_layout.h. */
#define LAYOUT_(field, name) _Static_assert(offsetof(Z80, field) == Z80_OFFSET_##name, #field)
LAYOUT_(rd, RD);
LAYOUT_(wr, WR);
LAYOUT_(af, AF);
LAYOUT_(bc, BC);
LAYOUT_(de, DE);
LAYOUT_(hl, HL);
LAYOUT_(ix, IX);
LAYOUT_(iy, IY);
LAYOUT_(sp, SP);
LAYOUT_(pc, PC);
LAYOUT_(wz, WZ);
LAYOUT_(af_, AF_);
LAYOUT_(bc_, BC_);
LAYOUT_(de_, DE_);
LAYOUT_(hl_, HL_);
LAYOUT_(i, I);
LAYOUT_(r, R);
LAYOUT_(iff1, IFF1);
LAYOUT_(iff2, IFF2);
LAYOUT_(im, IM);
LAYOUT_(halted, HALTED);
LAYOUT_(tstates, TSTATES);
LAYOUT_(ei_tstates, EI_TSTATES);
LAYOUT_(run_limit, RUN_LIMIT);
LAYOUT_(in, IN);
LAYOUT_(out, OUT);
LAYOUT_(io_user, IO_USER);
LAYOUT_(latch_ports, LATCH_PORTS);
LAYOUT_(latch.value, LATCH_VALUE);
LAYOUT_(latch.next, LATCH_NEXT);
LAYOUT_(latch.end, LATCH_END);
LAYOUT_(in_cache_ports, IN_CACHE_PORTS);
LAYOUT_(latch_logged, LATCH_LOGGED);
_Static_assert(sizeof(uintptr_t) == 4 && offsetof(Z80, wr) + 4 * sizeof(uintptr_t) == Z80_OFFSET_AF,
               "rd and wr are nine words followed by AF");
#endif

/* What unmapped pages read as before the machine maps its memory. */
static const uint8_t unmapped_page[0x4000];

#define U8(x) ((uint8_t)(x))
#define U16(x) ((uint16_t)(x))

#define B z->bc.b.h
#define C z->bc.b.l
#define D z->de.b.h
#define E z->de.b.l
#define H z->hl.b.h
#define L z->hl.b.l
#define BC z->bc.w
#define DE z->de.w
#define HL z->hl.w
#define SP z->sp.w
#define WZ z->wz.w

INLINE unsigned rd8(const Z80* z, unsigned a) {
    return *(const uint8_t*)(z->rd[a >> 14] + a);
}

/* A byte sign-extended, as the displacements of JR, DJNZ and (IX+d) are used. */
INLINE uint32_t rd8_signed(const Z80* z, unsigned a) {
    return (uint32_t)(int32_t) * (const int8_t*)(z->rd[a >> 14] + a);
}

/* Notes a write at `off` bytes into the watched range. */
INLINE void note_watched(Z80* z, unsigned off) {
    z->watched |= z->watch_masks[off / Z80_WATCH_BLOCK];
}

INLINE void wr8(Z80* z, unsigned a, unsigned v) {
    uintptr_t page = z->wr[a >> 14];
    if (page) {
        *(uint8_t*)(page + a) = U8(v);
        if (a - z->watch_base < z->watch_size)
            note_watched(z, a - z->watch_base);
    }
}

/* How many LDIR/LDDR steps can be copied directly: all inside one source and one writable
 * destination page, without touching the instruction itself; 0 or 1 means step singly. */
INLINE unsigned block_run(const Z80* z, unsigned op, unsigned hl, unsigned de, unsigned bc,
                          unsigned at) {
    unsigned n = bc ? bc : 0x10000u;
    if (!(op & 0x10u) || !z->wr[de >> 14])
        return 0;
    if (op & 8u) {
        if (n > (hl & 0x3FFFu) + 1)
            n = (hl & 0x3FFFu) + 1;
        if (n > (de & 0x3FFFu) + 1)
            n = (de & 0x3FFFu) + 1;
        if (((de - at) & 0xFFFFu) < n || ((de - at - 1) & 0xFFFFu) < n)
            return 0;
    } else {
        if (n > 0x4000u - (hl & 0x3FFFu))
            n = 0x4000u - (hl & 0x3FFFu);
        if (n > 0x4000u - (de & 0x3FFFu))
            n = 0x4000u - (de & 0x3FFFu);
        if (((at - de) & 0xFFFFu) < n || ((at + 1 - de) & 0xFFFFu) < n)
            return 0;
    }
    return n;
}

/* Copies n bytes between ranges that do not overlap. On the GBA this runs from IWRAM and moves
 * halfwords when both addresses allow it (EWRAM and the cartridge have 16-bit buses); the
 * library's memcpy runs from ROM and goes byte by byte unless both are word-aligned alike. */
#if ZX_GBA
typedef uint16_t __attribute__((may_alias)) u16_alias;
/* Global: z80_fast.s copies long LDIR runs with it too. */
#define copy_apart z80_copy_apart
void copy_apart(uint8_t* dst, const uint8_t* src, unsigned n);
__attribute__((section(".iwram.z80"), noinline, optimize("no-tree-loop-distribute-patterns"))) void
copy_apart(uint8_t* dst, const uint8_t* src, unsigned n) {
    if ((((uintptr_t)dst ^ (uintptr_t)src) & 1u) == 0) {
        if ((uintptr_t)dst & 1u) {
            *dst++ = *src++;
            n--;
        }
        u16_alias* d = (u16_alias*)(void*)dst;
        const u16_alias* s = (const u16_alias*)(const void*)src;
        for (; n >= 8; n -= 8, d += 4, s += 4) {
            uint16_t h0 = s[0], h1 = s[1], h2 = s[2], h3 = s[3];
            d[0] = h0;
            d[1] = h1;
            d[2] = h2;
            d[3] = h3;
        }
        for (; n >= 2; n -= 2)
            *d++ = *s++;
        dst = (uint8_t*)d;
        src = (const uint8_t*)s;
    }
    while (n--)
        *dst++ = *src++;
}
#else
INLINE void copy_apart(uint8_t* dst, const uint8_t* src, unsigned n) {
    memcpy(dst, src, n);
}
#endif

/* Notes the watched blocks of a block copy's destination (n bytes from de, upwards or down;
 * the run lies inside one page). */
INLINE void note_watched_run(Z80* z, unsigned de, unsigned n, unsigned step) {
    unsigned lo = step == 1 ? de : de - (n - 1), end = lo + n;
    unsigned base = z->watch_base, watch_end = base + z->watch_size;
    if (lo < base)
        lo = base;
    if (end > watch_end)
        end = watch_end;
    for (unsigned a = lo; a < end; a = (a | (Z80_WATCH_BLOCK - 1)) + 1)
        note_watched(z, a - base);
}

/* a + 1 needs no wrapping: rd[4] maps 0x10000 onto page 0. */
INLINE unsigned rd16(const Z80* z, unsigned a) {
    return rd8(z, a) | (rd8(z, a + 1) << 8);
}

INLINE void wr16(Z80* z, unsigned a, unsigned v) {
    wr8(z, a, v & 0xFFu);
    wr8(z, (a + 1) & 0xFFFFu, v >> 8);
}

INLINE void push16(Z80* z, unsigned v) {
    unsigned sp = (SP - 1u) & 0xFFFFu;
    wr8(z, sp, v >> 8);
    sp = (sp - 1u) & 0xFFFFu;
    wr8(z, sp, v & 0xFFu);
    SP = U16(sp);
}

INLINE unsigned pop16(Z80* z) {
    unsigned sp = SP;
    unsigned v = rd8(z, sp);
    v |= rd8(z, sp + 1) << 8;
    SP = U16(sp + 2);
    return v;
}

INLINE unsigned port_in(Z80* z, unsigned port) {
    return z->in ? z->in(z->io_user, U16(port)) : 0xFFu;
}

/* A write to one of the output latch's ports (z->tstates is the I/O cycle's): 1 when the latch
 * took it (dropped, kept or logged), 0 when the handler must (no latch, or the log full). One
 * copy on the GBA, where the C loop runs the rare instructions only. */
#ifdef Z80_FAST_ARM
#define LATCH_OUT static Z80_LOOP
#else
#define LATCH_OUT INLINE
#endif
LATCH_OUT int latch_out(Z80* z, unsigned v) {
    if (z->latch.value == -2)
        return 0;
    uint32_t changed = (uint32_t)z->latch.value ^ v;
    if (!changed)
        return 1;
    z->latch.value = (int32_t)v;
    int taken = 1;
    if (changed & z->latch_logged) {
        if (z->latch.next < z->latch.end)
            *z->latch.next++ = (uint32_t)z->tstates;
        else
            taken = 0;
    }
    LATCH_MIRROR(z);
    return taken;
}

/* z->tstates is the I/O cycle's (IO_TSTATES). */
INLINE void port_out(Z80* z, unsigned port, unsigned v) {
    if (!((port ^ z->latch_ports) & (z->latch_ports >> 16) & 0xFFFFu) && latch_out(z, v))
        return;
    if (z->out)
        z->out(z->io_user, U16(port), U8(v));
}

/* ---- 8-bit arithmetic on the A and F locals ---- */

/* Overflow is the carry into bit 7 (bit 7 of a ^ v ^ r) differing from the carry out of it
 * (bit 8 of r); the same holds for borrows. */
INLINE void alu_add(unsigned* a, unsigned* f, unsigned v, unsigned carry) {
    unsigned r = *a + v + carry, x = *a ^ v ^ r;
    *f = sz53[r & 0xFFu] | (r >> 8) | (x & FH) | (((x ^ (r >> 1)) & 0x80u) >> 5);
    *a = r & 0xFFu;
}

INLINE unsigned sub_flags(unsigned a, unsigned v, unsigned r) {
    unsigned x = a ^ v ^ r;
    return ((r >> 8) & FC) | FN | (x & FH) | (((x ^ (r >> 1)) & 0x80u) >> 5);
}

INLINE void alu_sub(unsigned* a, unsigned* f, unsigned v, unsigned carry) {
    unsigned r = *a - v - carry;
    *f = sub_flags(*a, v, r) | sz53[r & 0xFFu];
    *a = r & 0xFFu;
}

INLINE void alu_cp(unsigned a, unsigned* f, unsigned v) {
    unsigned r = a - v;
    *f = sub_flags(a, v, r) | (sz53[r & 0xFFu] & (FS | FZ)) | (v & (F3 | F5));
}

INLINE unsigned inc8(unsigned* f, unsigned v) {
    v = (v + 1) & 0xFFu;
    *f = (*f & FC) | inc_flags[v];
    return v;
}

INLINE unsigned dec8(unsigned* f, unsigned v) {
    v = (v - 1) & 0xFFu;
    *f = (*f & FC) | dec_flags[v];
    return v;
}

/* ---- 16-bit arithmetic ---- */

INLINE unsigned add16(Z80* z, unsigned* f, unsigned a, unsigned v) {
    unsigned r = a + v;
    WZ = U16(a + 1);
    *f = (*f & (FS | FZ | FV)) | ((r >> 16) & FC) | ((r >> 8) & (F3 | F5)) |
         (((a ^ v ^ r) >> 8) & FH);
    return r & 0xFFFFu;
}

INLINE void adc16(Z80* z, unsigned* f, unsigned v) {
    unsigned a = HL, r = a + v + (*f & FC);
    WZ = U16(a + 1);
    *f = ((r >> 16) & FC) | (((a ^ v ^ r) >> 8) & FH) | (((a ^ r) & (v ^ r) & 0x8000u) >> 13) |
         ((r >> 8) & (FS | F3 | F5)) | ((r & 0xFFFFu) ? 0 : FZ);
    HL = U16(r);
}

INLINE void sbc16(Z80* z, unsigned* f, unsigned v) {
    unsigned a = HL, r = a - v - (*f & FC);
    WZ = U16(a + 1);
    *f = ((r >> 16) & FC) | FN | (((a ^ v ^ r) >> 8) & FH) | (((a ^ v) & (a ^ r) & 0x8000u) >> 13) |
         ((r >> 8) & (FS | F3 | F5)) | ((r & 0xFFFFu) ? 0 : FZ);
    HL = U16(r);
}

/* ---- CB group ---- */

/* Rotates and shifts (op bits 3-5: RLC RRC RL RR SLA SRA SLL SRL), RES and SET. */
INLINE unsigned cb_apply(unsigned* f, unsigned op, unsigned v) {
    unsigned r, c;
    switch (op >> 6) {
    case 0:
        switch ((op >> 3) & 7u) {
        case 0:
            c = v >> 7;
            r = (v << 1) | c;
            break;
        case 1:
            c = v & 1u;
            r = (v >> 1) | (c << 7);
            break;
        case 2:
            c = v >> 7;
            r = (v << 1) | (*f & FC);
            break;
        case 3:
            c = v & 1u;
            r = (v >> 1) | ((*f & FC) << 7);
            break;
        case 4:
            c = v >> 7;
            r = v << 1;
            break;
        case 5:
            c = v & 1u;
            r = (v & 0x80u) | (v >> 1);
            break;
        case 6:
            c = v >> 7;
            r = (v << 1) | 1u;
            break;
        default:
            c = v & 1u;
            r = v >> 1;
            break;
        }
        r &= 0xFFu;
        *f = c | sz53p[r];
        return r;
    case 2:
        return v & ~(1u << ((op >> 3) & 7u));
    default:
        return v | (1u << ((op >> 3) & 7u));
    }
}

/* BIT n: S, Z and P/V from the tested bit, bits 3 and 5 from `undoc`. */
INLINE void bit_test(unsigned* f, unsigned op, unsigned v, unsigned undoc) {
    unsigned m = v & (1u << ((op >> 3) & 7u));
    *f = (*f & FC) | FH | (undoc & (F3 | F5)) | (m ? 0 : (FZ | FP)) | (m & FS);
}

INLINE uint8_t* reg8(Z80* z, unsigned index) {
    return (uint8_t*)z + reg_offset[index];
}

INLINE void daa(unsigned* a, unsigned* f) {
    unsigned add = 0, carry = *f & FC;
    if ((*f & FH) || (*a & 0x0Fu) > 9)
        add = 6;
    if (carry || *a > 0x99u)
        add |= 0x60u;
    if (*a > 0x99u)
        carry = FC;
    if (*f & FN)
        alu_sub(a, f, add, 0);
    else
        alu_add(a, f, add, 0);
    *f = (*f & ~(FC | FP)) | carry | (sz53p[*a] & FP);
}

/* The run loops call the flag helpers through these macros: the temporaries are folded away
 * and A and F never have their address taken (A may be a register variable). */
#define INC8(x)                                                                                    \
    ({                                                                                             \
        unsigned f_ = f, r_ = inc8(&f_, (x));                                                      \
        f = f_;                                                                                    \
        r_;                                                                                        \
    })
#define DEC8(x)                                                                                    \
    ({                                                                                             \
        unsigned f_ = f, r_ = dec8(&f_, (x));                                                      \
        f = f_;                                                                                    \
        r_;                                                                                        \
    })
#define ALU_ADD(x, c)                                                                              \
    do {                                                                                           \
        unsigned a_ = a, f_ = f;                                                                   \
        alu_add(&a_, &f_, (x), (c));                                                               \
        a = a_;                                                                                    \
        f = f_;                                                                                    \
    } while (0)
#define ALU_SUB(x, c)                                                                              \
    do {                                                                                           \
        unsigned a_ = a, f_ = f;                                                                   \
        alu_sub(&a_, &f_, (x), (c));                                                               \
        a = a_;                                                                                    \
        f = f_;                                                                                    \
    } while (0)
#define ALU_CP(x)                                                                                  \
    do {                                                                                           \
        unsigned f_ = f;                                                                           \
        alu_cp(a, &f_, (x));                                                                       \
        f = f_;                                                                                    \
    } while (0)
#define ADD16(x, y)                                                                                \
    ({                                                                                             \
        unsigned f_ = f, r_ = add16(z, &f_, (x), (y));                                             \
        f = f_;                                                                                    \
        r_;                                                                                        \
    })
#define ADC16(x)                                                                                   \
    do {                                                                                           \
        unsigned f_ = f;                                                                           \
        adc16(z, &f_, (x));                                                                        \
        f = f_;                                                                                    \
    } while (0)
#define SBC16(x)                                                                                   \
    do {                                                                                           \
        unsigned f_ = f;                                                                           \
        sbc16(z, &f_, (x));                                                                        \
        f = f_;                                                                                    \
    } while (0)
#define CB_APPLY(o, x)                                                                             \
    ({                                                                                             \
        unsigned f_ = f, r_ = cb_apply(&f_, (o), (x));                                             \
        f = f_;                                                                                    \
        r_;                                                                                        \
    })
#define BIT_TEST(o, x, u)                                                                          \
    do {                                                                                           \
        unsigned f_ = f;                                                                           \
        bit_test(&f_, (o), (x), (u));                                                              \
        f = f_;                                                                                    \
    } while (0)
#define DAA()                                                                                      \
    do {                                                                                           \
        unsigned a_ = a, f_ = f;                                                                   \
        daa(&a_, &f_);                                                                             \
        a = a_;                                                                                    \
        f = f_;                                                                                    \
    } while (0)

#define FETCH() rd8(z, pc++)
#define FETCH16() (pc += 2, rd8(z, pc - 2) | (rd8(z, pc - 1) << 8))
#define PCW (pc & 0xFFFFu)
/* A displacement byte fetched sign-extended (one signed byte load, no arithmetic). */
#define FETCH_D() rd8_signed(z, pc++)
#define JR_TAKEN(d)                                                                                \
    do {                                                                                           \
        pc = (pc + (d)) & 0xFFFFu;                                                                 \
        WZ = U16(pc);                                                                              \
    } while (0)
/* End of a handler: stop when the time is up, else fetch and jump to the next one.
 * NEXT: the frequent handlers keep their own copy of the fetch and jump; an empty assembly
 * statement with a different comment in each copy stops GCC from merging the copies into one
 * shared tail (which costs a taken branch per instruction). NEXT_SHARED: GCC may merge these.
 * DONE: the rarer handlers share one copy (`goto next`) to keep the IWRAM footprint down. */
#if ZX_GBA
#define KEEP_APART_(n) __asm__ volatile("@ dispatch " #n)
#else
#define KEEP_APART_(n)
#endif
#define KEEP_APART__(n) KEEP_APART_(n)
#define KEEP_APART() KEEP_APART__(__COUNTER__)
#define NEXT_SHARED                                                                                \
    do {                                                                                           \
        if (t >= 0)                                                                                \
            goto out;                                                                              \
        op = FETCH();                                                                              \
        r++;                                                                                       \
        goto* ops[op];                                                                             \
    } while (0)
#define NEXT                                                                                       \
    do {                                                                                           \
        if (t >= 0)                                                                                \
            goto out;                                                                              \
        op = FETCH();                                                                              \
        r++;                                                                                       \
        KEEP_APART();                                                                              \
        goto* ops[op];                                                                             \
    } while (0)
/* Port handlers may ask z80_tstates(): give them the count when the I/O cycle starts, `d`
 * T-states into the instruction (t is still at its start here). */
#define IO_TSTATES(d) (z->tstates = (int32_t)((uint32_t)t + (uint32_t)z->run_limit + (d)))
#define DONE goto next
/* Generic register access by 3-bit field goes through the struct, where A must be current. */
#define A_TO_STRUCT() (z->af.b.h = U8(a))
#define A_FROM_STRUCT() (a = z->af.b.h)

/* Labels of the main opcodes: op_<high hex digit><low hex digit>. */
#define OPS_ROW_(h)                                                                                \
    &&op_##h##0, &&op_##h##1, &&op_##h##2, &&op_##h##3, &&op_##h##4, &&op_##h##5, &&op_##h##6,     \
        &&op_##h##7, &&op_##h##8, &&op_##h##9, &&op_##h##A, &&op_##h##B, &&op_##h##C, &&op_##h##D, \
        &&op_##h##E, &&op_##h##F

/* clang-format off */
#define LD_ROW(h, l0, l1, l2, l3, l4, l5, l6, l7, dst)                                             \
    op_##h##l0: dst = U8(B); t += 4; DONE;                                                             \
    op_##h##l1: dst = U8(C); t += 4; DONE;                                                             \
    op_##h##l2: dst = U8(D); t += 4; DONE;                                                             \
    op_##h##l3: dst = U8(E); t += 4; DONE;                                                             \
    op_##h##l4: dst = U8(H); t += 4; DONE;                                                             \
    op_##h##l5: dst = U8(L); t += 4; DONE;                                                             \
    op_##h##l6: dst = U8(rd8(z, HL)); t += 7; NEXT;                                                \
    op_##h##l7: dst = U8(a); t += 4; DONE;
/* ALU rows load the operand and share one tail per operation (smaller code, one branch more). */
#define ALU_ROW(h, l0, l1, l2, l3, l4, l5, l6, l7, tail)                                           \
    op_##h##l0: v = B; goto tail;                                                                  \
    op_##h##l1: v = C; goto tail;                                                                  \
    op_##h##l2: v = D; goto tail;                                                                  \
    op_##h##l3: v = E; goto tail;                                                                  \
    op_##h##l4: v = H; goto tail;                                                                  \
    op_##h##l5: v = L; goto tail;                                                                  \
    op_##h##l6: v = rd8(z, HL); t += 3; goto tail;                                                 \
    op_##h##l7: v = a; goto tail;

/* ED other than the block instructions: one instruction, registers in the struct (z->tstates
 * holds the run loop's counter). Rarely run, so kept out of IWRAM: on the GBA this is Thumb
 * code in ROM. */
Z80_COLD static void run_ed(Z80* z) {
    uint32_t pc = z->pc.w;
    uint32_t r = z->r;
    unsigned a = z->af.b.h, f = z->af.b.l;
    int32_t t = z->tstates;
    unsigned op, v, addr;

    {
        op = FETCH();
        r++;
        switch (op) {
        case 0x40: case 0x48: case 0x50: case 0x58:
        case 0x60: case 0x68: case 0x70: case 0x78: /* IN r,(C) */
            IO_TSTATES(8);
            v = port_in(z, BC);
            WZ = U16(BC + 1);
            f = (f & FC) | sz53p[v];
            if (op != 0x70) {
                A_TO_STRUCT();
                *reg8(z, (op >> 3) & 7u) = U8(v);
                A_FROM_STRUCT();
            }
            t += 12;
            break;
        case 0x41: case 0x49: case 0x51: case 0x59:
        case 0x61: case 0x69: case 0x71: case 0x79: /* OUT (C),r */
            A_TO_STRUCT();
            IO_TSTATES(8);
            port_out(z, BC, op == 0x71 ? 0u : *reg8(z, (op >> 3) & 7u));
            WZ = U16(BC + 1);
            t += 12;
            break;
        case 0x42: SBC16(BC); t += 15; break;
        case 0x52: SBC16(DE); t += 15; break;
        case 0x62: SBC16(HL); t += 15; break;
        case 0x72: SBC16(SP); t += 15; break;
        case 0x4A: ADC16(BC); t += 15; break;
        case 0x5A: ADC16(DE); t += 15; break;
        case 0x6A: ADC16(HL); t += 15; break;
        case 0x7A: ADC16(SP); t += 15; break;
        case 0x43: addr = FETCH16(); wr16(z, addr, BC); WZ = U16(addr + 1); t += 20; break;
        case 0x53: addr = FETCH16(); wr16(z, addr, DE); WZ = U16(addr + 1); t += 20; break;
        case 0x63: addr = FETCH16(); wr16(z, addr, HL); WZ = U16(addr + 1); t += 20; break;
        case 0x73: addr = FETCH16(); wr16(z, addr, SP); WZ = U16(addr + 1); t += 20; break;
        case 0x4B: addr = FETCH16(); BC = U16(rd16(z, addr)); WZ = U16(addr + 1); t += 20; break;
        case 0x5B: addr = FETCH16(); DE = U16(rd16(z, addr)); WZ = U16(addr + 1); t += 20; break;
        case 0x6B: addr = FETCH16(); HL = U16(rd16(z, addr)); WZ = U16(addr + 1); t += 20; break;
        case 0x7B: addr = FETCH16(); SP = U16(rd16(z, addr)); WZ = U16(addr + 1); t += 20; break;
        case 0x44: case 0x4C: case 0x54: case 0x5C:
        case 0x64: case 0x6C: case 0x74: case 0x7C: /* NEG */
            v = a;
            a = 0;
            ALU_SUB(v, 0);
            t += 8;
            break;
        case 0x45: case 0x4D: case 0x55: case 0x5D:
        case 0x65: case 0x6D: case 0x75: case 0x7D: /* RETN and RETI both copy IFF2 to IFF1 */
            z->iff1 = z->iff2;
            pc = pop16(z);
            WZ = U16(pc);
            t += 14;
            break;
        case 0x46: case 0x4E: case 0x66: case 0x6E: z->im = 0; t += 8; break;
        case 0x56: case 0x76: z->im = 1; t += 8; break;
        case 0x5E: case 0x7E: z->im = 2; t += 8; break;
        case 0x47: z->i = U8(a); t += 9; break;
        case 0x4F: z->r = U8(a); r = a; t += 9; break;
        case 0x57: /* LD A,I */
            a = z->i;
            f = (f & FC) | sz53[a] | (z->iff2 ? FV : 0);
            t += 9;
            break;
        case 0x5F: /* LD A,R */
            a = (z->r & 0x80u) | (r & 0x7Fu);
            f = (f & FC) | sz53[a] | (z->iff2 ? FV : 0);
            t += 9;
            break;
        case 0x67: /* RRD */
            v = rd8(z, HL);
            wr8(z, HL, ((a << 4) | (v >> 4)) & 0xFFu);
            a = (a & 0xF0u) | (v & 0x0Fu);
            f = (f & FC) | sz53p[a];
            WZ = U16(HL + 1);
            t += 18;
            break;
        case 0x6F: /* RLD */
            v = rd8(z, HL);
            wr8(z, HL, ((v << 4) | (a & 0x0Fu)) & 0xFFu);
            a = (a & 0xF0u) | (v >> 4);
            f = (f & FC) | sz53p[a];
            WZ = U16(HL + 1);
            t += 18;
            break;
        default: t += 8; break; /* the rest of ED acts as two NOPs */
        }
    }
    z->pc.w = U16(pc);
    z->af.w = U16((a << 8) | f);
    z->r = U8((z->r & 0x80u) | (r & 0x7Fu));
    z->tstates = t;
}

Z80_LOOP int32_t Z80_RUN_LOOP(Z80* z, int32_t limit) {
    static const void* const ops[256] Z80_LOOP_TABLE = {
        OPS_ROW_(0), OPS_ROW_(1), OPS_ROW_(2), OPS_ROW_(3), OPS_ROW_(4), OPS_ROW_(5),
        OPS_ROW_(6), OPS_ROW_(7), OPS_ROW_(8), OPS_ROW_(9), OPS_ROW_(A), OPS_ROW_(B),
        OPS_ROW_(C), OPS_ROW_(D), OPS_ROW_(E), OPS_ROW_(F)};
    /* The ALU operations by opcode bits 3-5, each adding 4 T-states. */
    static const void* const alu_tails[8] Z80_LOOP_TABLE = {&&alu_add4, &&alu_adc4, &&alu_sub4,
                                                        &&alu_sbc4, &&alu_and4, &&alu_xor4,
                                                        &&alu_or4,  &&alu_cp4};
    uint32_t pc = z->pc.w;
    uint32_t r = z->r;
#if ZX_GBA && !defined(Z80_FAST_ARM)
    /* A asked for in a callee-saved register: left to itself GCC kept A on the stack. */
    register unsigned a __asm__("r10") = z->af.b.h;
    unsigned f = z->af.b.l;
#else
    unsigned a = z->af.b.h, f = z->af.b.l;
#endif
    /* T-states still to run, negative while running. */
    int32_t t = (int32_t)((uint32_t)z->tstates - (uint32_t)limit);
    z->run_limit = limit; /* in memory, not in a register: only needed at the end and by EI */
    unsigned op, v = 0, addr; /* v starts set: GCC cannot follow it through the computed jumps */
    Z80Pair* xy;

next:
    NEXT_SHARED;

    op_00: t += 4; DONE;
    op_01: BC = U16(FETCH16()); t += 10; NEXT_SHARED;
    op_02: wr8(z, BC, a); WZ = U16(((BC + 1) & 0xFFu) | (a << 8)); t += 7; DONE;
    op_03: BC = U16(BC + 1); t += 6; NEXT;
    op_04: B = U8(INC8(B)); t += 4; NEXT;
    op_05: B = U8(DEC8(B)); t += 4; NEXT;
    op_06: B = U8(FETCH()); t += 7; NEXT_SHARED;
    op_07: /* RLCA */
        a = ((a << 1) | (a >> 7)) & 0xFFu;
        f = (f & (FP | FZ | FS)) | (a & (FC | F3 | F5));
        t += 4; DONE;
    op_08: /* EX AF,AF' */
        v = z->af_; z->af_ = U16((a << 8) | f); a = v >> 8; f = v & 0xFFu;
        t += 4; DONE;
    op_09: HL = U16(ADD16(HL, BC)); t += 11; NEXT;
    op_0A: a = rd8(z, BC); WZ = U16(BC + 1); t += 7; NEXT_SHARED;
    op_0B: BC = U16(BC - 1); t += 6; NEXT;
    op_0C: C = U8(INC8(C)); t += 4; NEXT;
    op_0D: C = U8(DEC8(C)); t += 4; NEXT;
    op_0E: C = U8(FETCH()); t += 7; NEXT_SHARED;
    op_0F: /* RRCA */
        f = (f & (FP | FZ | FS)) | (a & FC);
        a = ((a >> 1) | (a << 7)) & 0xFFu;
        f |= a & (F3 | F5);
        t += 4; DONE;
    op_10: /* DJNZ */
        v = FETCH_D();
        B = U8(B - 1);
        if (B) { JR_TAKEN(v); t += 13; } else { t += 8; }
        NEXT;
    op_11: DE = U16(FETCH16()); t += 10; NEXT_SHARED;
    op_12: wr8(z, DE, a); WZ = U16(((DE + 1) & 0xFFu) | (a << 8)); t += 7; NEXT_SHARED;
    op_13: DE = U16(DE + 1); t += 6; NEXT;
    op_14: D = U8(INC8(D)); t += 4; NEXT_SHARED;
    op_15: D = U8(DEC8(D)); t += 4; NEXT_SHARED;
    op_16: D = U8(FETCH()); t += 7; NEXT_SHARED;
    op_17: /* RLA */
        v = a;
        a = ((v << 1) | (f & FC)) & 0xFFu;
        f = (f & (FP | FZ | FS)) | (a & (F3 | F5)) | (v >> 7);
        t += 4; DONE;
    op_18: v = FETCH_D(); JR_TAKEN(v); t += 12; NEXT;
    op_19: HL = U16(ADD16(HL, DE)); t += 11; NEXT;
    op_1A: a = rd8(z, DE); WZ = U16(DE + 1); t += 7; NEXT_SHARED;
    op_1B: DE = U16(DE - 1); t += 6; NEXT;
    op_1C: E = U8(INC8(E)); t += 4; NEXT_SHARED;
    op_1D: E = U8(DEC8(E)); t += 4; NEXT_SHARED;
    op_1E: E = U8(FETCH()); t += 7; NEXT_SHARED;
    op_1F: /* RRA */
        v = a;
        a = ((v >> 1) | (f << 7)) & 0xFFu;
        f = (f & (FP | FZ | FS)) | (a & (F3 | F5)) | (v & FC);
        t += 4; DONE;
    op_20: v = FETCH_D(); if (!(f & FZ)) { JR_TAKEN(v); t += 12; } else { t += 7; } NEXT;
    op_28: v = FETCH_D(); if (f & FZ) { JR_TAKEN(v); t += 12; } else { t += 7; } NEXT;
    op_30: v = FETCH_D(); if (!(f & FC)) { JR_TAKEN(v); t += 12; } else { t += 7; } NEXT;
    op_38: v = FETCH_D(); if (f & FC) { JR_TAKEN(v); t += 12; } else { t += 7; } NEXT;
    op_21: HL = U16(FETCH16()); t += 10; NEXT_SHARED;
    op_22: addr = FETCH16(); wr16(z, addr, HL); WZ = U16(addr + 1); t += 16; DONE;
    op_23: HL = U16(HL + 1); t += 6; NEXT;
    op_24: H = U8(INC8(H)); t += 4; NEXT_SHARED;
    op_25: H = U8(DEC8(H)); t += 4; NEXT_SHARED;
    op_26: H = U8(FETCH()); t += 7; NEXT_SHARED;
    op_27: DAA(); t += 4; DONE;
    op_29: HL = U16(ADD16(HL, HL)); t += 11; NEXT;
    op_2A: addr = FETCH16(); HL = U16(rd16(z, addr)); WZ = U16(addr + 1); t += 16; DONE;
    op_2B: HL = U16(HL - 1); t += 6; NEXT;
    op_2C: L = U8(INC8(L)); t += 4; NEXT_SHARED;
    op_2D: L = U8(DEC8(L)); t += 4; NEXT_SHARED;
    op_2E: L = U8(FETCH()); t += 7; NEXT_SHARED;
    op_2F: /* CPL */
        a ^= 0xFFu;
        f = (f & (FC | FP | FZ | FS)) | (a & (F3 | F5)) | FN | FH;
        t += 4; DONE;
    op_31: SP = U16(FETCH16()); t += 10; NEXT_SHARED;
    op_32: addr = FETCH16(); wr8(z, addr, a); WZ = U16(((addr + 1) & 0xFFu) | (a << 8)); t += 13; NEXT_SHARED;
    op_33: SP = U16(SP + 1); t += 6; DONE;
    op_34: wr8(z, HL, INC8(rd8(z, HL))); t += 11; NEXT_SHARED;
    op_35: wr8(z, HL, DEC8(rd8(z, HL))); t += 11; NEXT_SHARED;
    op_36: v = FETCH(); wr8(z, HL, v); t += 10; NEXT_SHARED;
    op_37: /* SCF; bits 3 and 5 as after an instruction that left the flags alone */
        f = (f & (FP | FZ | FS)) | ((f | a) & (F3 | F5)) | FC;
        t += 4; DONE;
    op_39: HL = U16(ADD16(HL, SP)); t += 11; DONE;
    op_3A: addr = FETCH16(); a = rd8(z, addr); WZ = U16(addr + 1); t += 13; NEXT_SHARED;
    op_3B: SP = U16(SP - 1); t += 6; DONE;
    op_3C: a = INC8(a); t += 4; NEXT;
    op_3D: a = DEC8(a); t += 4; NEXT;
    op_3E: a = FETCH(); t += 7; NEXT_SHARED;
    op_3F: /* CCF */
        f = (f & (FP | FZ | FS)) | ((f & FC) ? FH : FC) | ((f | a) & (F3 | F5));
        t += 4; DONE;

    LD_ROW(4, 0, 1, 2, 3, 4, 5, 6, 7, B)
    LD_ROW(4, 8, 9, A, B, C, D, E, F, C)
    LD_ROW(5, 0, 1, 2, 3, 4, 5, 6, 7, D)
    LD_ROW(5, 8, 9, A, B, C, D, E, F, E)
    LD_ROW(6, 0, 1, 2, 3, 4, 5, 6, 7, H)
    LD_ROW(6, 8, 9, A, B, C, D, E, F, L)
    op_78: a = B; t += 4; NEXT;
    op_79: a = C; t += 4; NEXT;
    op_7A: a = D; t += 4; NEXT;
    op_7B: a = E; t += 4; NEXT;
    op_7C: a = H; t += 4; NEXT;
    op_7D: a = L; t += 4; NEXT;
    op_7E: a = rd8(z, HL); t += 7; NEXT;
    op_7F: t += 4; DONE;
    op_70: wr8(z, HL, B); t += 7; DONE;
    op_71: wr8(z, HL, C); t += 7; DONE;
    op_72: wr8(z, HL, D); t += 7; DONE;
    op_73: wr8(z, HL, E); t += 7; DONE;
    op_74: wr8(z, HL, H); t += 7; DONE;
    op_75: wr8(z, HL, L); t += 7; DONE;
    op_77: wr8(z, HL, a); t += 7; NEXT;
    op_76: /* HALT repeats itself (4 T-states, one R step each) until an interrupt */
        z->halted = 1;
        pc--;
        t += 4;
        if (t < 0) {
            uint32_t n = ((0u - (uint32_t)t) + 3u) >> 2;
            t += (int32_t)(n * 4u);
            r += n;
        }
        DONE;

    ALU_ROW(8, 0, 1, 2, 3, 4, 5, 6, 7, alu_add4)
    ALU_ROW(8, 8, 9, A, B, C, D, E, F, alu_adc4)
    ALU_ROW(9, 0, 1, 2, 3, 4, 5, 6, 7, alu_sub4)
    ALU_ROW(9, 8, 9, A, B, C, D, E, F, alu_sbc4)
    ALU_ROW(A, 0, 1, 2, 3, 4, 5, 6, 7, alu_and4)
    ALU_ROW(A, 8, 9, A, B, C, D, E, F, alu_xor4)
    ALU_ROW(B, 0, 1, 2, 3, 4, 5, 6, 7, alu_or4)
    ALU_ROW(B, 8, 9, A, B, C, D, E, F, alu_cp4)
    alu_add4: ALU_ADD(v, 0); t += 4; NEXT;
    alu_adc4: ALU_ADD(v, f & FC); t += 4; NEXT;
    alu_sub4: ALU_SUB(v, 0); t += 4; NEXT;
    alu_sbc4: ALU_SUB(v, f & FC); t += 4; NEXT;
    alu_and4: a &= v; f = FH | sz53p[a]; t += 4; NEXT;
    alu_xor4: a ^= v; f = sz53p[a]; t += 4; NEXT;
    alu_or4: a |= v; f = sz53p[a]; t += 4; NEXT;
    alu_cp4: ALU_CP(v); t += 4; NEXT;

    /* Conditional RET, JP and CALL, and RST: each opcode sets its condition (or target) and
     * shares the body, so that the opcode itself need not stay live in a register. */
    op_C0: v = !(f & FZ); goto ret_cc;
    op_C8: v = f & FZ; goto ret_cc;
    op_D0: v = !(f & FC); goto ret_cc;
    op_D8: v = f & FC; goto ret_cc;
    op_E0: v = !(f & FP); goto ret_cc;
    op_E8: v = f & FP; goto ret_cc;
    op_F0: v = !(f & FS); goto ret_cc;
    op_F8: v = f & FS; goto ret_cc;
    ret_cc:
        if (v) { pc = pop16(z); WZ = U16(pc); t += 11; } else { t += 5; }
        NEXT;
    op_C1: BC = U16(pop16(z)); t += 10; NEXT_SHARED;
    op_D1: DE = U16(pop16(z)); t += 10; NEXT_SHARED;
    op_E1: HL = U16(pop16(z)); t += 10; NEXT_SHARED;
    op_F1: v = pop16(z); a = v >> 8; f = v & 0xFFu; t += 10; NEXT_SHARED;
    op_C2: v = !(f & FZ); goto jp_cc;
    op_CA: v = f & FZ; goto jp_cc;
    op_D2: v = !(f & FC); goto jp_cc;
    op_DA: v = f & FC; goto jp_cc;
    op_E2: v = !(f & FP); goto jp_cc;
    op_EA: v = f & FP; goto jp_cc;
    op_F2: v = !(f & FS); goto jp_cc;
    op_FA: v = f & FS; goto jp_cc;
    jp_cc:
        addr = FETCH16();
        WZ = U16(addr);
        if (v)
            pc = addr;
        t += 10; NEXT_SHARED;
    op_C3: pc = FETCH16(); WZ = U16(pc); t += 10; NEXT_SHARED;
    op_C4: v = !(f & FZ); goto call_cc;
    op_CC: v = f & FZ; goto call_cc;
    op_D4: v = !(f & FC); goto call_cc;
    op_DC: v = f & FC; goto call_cc;
    op_E4: v = !(f & FP); goto call_cc;
    op_EC: v = f & FP; goto call_cc;
    op_F4: v = !(f & FS); goto call_cc;
    op_FC: v = f & FS; goto call_cc;
    call_cc:
        addr = FETCH16();
        WZ = U16(addr);
        if (v) { push16(z, PCW); pc = addr; t += 17; } else { t += 10; }
        NEXT_SHARED;
    op_C5: push16(z, BC); t += 11; NEXT_SHARED;
    op_D5: push16(z, DE); t += 11; NEXT_SHARED;
    op_E5: push16(z, HL); t += 11; NEXT_SHARED;
    op_F5: push16(z, (a << 8) | f); t += 11; NEXT_SHARED;
    op_C6: v = FETCH(); t += 3; goto alu_add4;
    op_CE: v = FETCH(); t += 3; goto alu_adc4;
    op_D6: v = FETCH(); t += 3; goto alu_sub4;
    op_DE: v = FETCH(); t += 3; goto alu_sbc4;
    op_E6: v = FETCH(); t += 3; goto alu_and4;
    op_EE: v = FETCH(); t += 3; goto alu_xor4;
    op_F6: v = FETCH(); t += 3; goto alu_or4;
    op_FE: v = FETCH(); t += 3; goto alu_cp4;
    op_C7: v = 0x00u; goto rst;
    op_CF: v = 0x08u; goto rst;
    op_D7: v = 0x10u; goto rst;
    op_DF: v = 0x18u; goto rst;
    op_E7: v = 0x20u; goto rst;
    op_EF: v = 0x28u; goto rst;
    op_F7: v = 0x30u; goto rst;
    op_FF: v = 0x38u; goto rst;
    rst:
        push16(z, PCW);
        pc = v;
        WZ = U16(pc);
        t += 11; DONE;
    op_C9: pc = pop16(z); WZ = U16(pc); t += 10; NEXT;
    op_CD: addr = FETCH16(); WZ = U16(addr); push16(z, PCW); pc = addr; t += 17; NEXT;
    op_D3: /* OUT (n),A */
        v = FETCH();
        IO_TSTATES(7);
        port_out(z, v | (a << 8), a);
        WZ = U16(((v + 1) & 0xFFu) | (a << 8));
        t += 11; DONE;
    op_D9: { /* EXX */
        uint16_t tmp = BC; BC = z->bc_; z->bc_ = tmp;
        tmp = DE; DE = z->de_; z->de_ = tmp;
        tmp = HL; HL = z->hl_; z->hl_ = tmp;
        t += 4; NEXT_SHARED;
    }
    op_DB: /* IN A,(n) */
        v = FETCH() | (a << 8);
        IO_TSTATES(7);
        a = port_in(z, v);
        WZ = U16(v + 1);
        t += 11; DONE;
    op_E3: /* EX (SP),HL */
        v = rd16(z, SP);
        wr8(z, (SP + 1u) & 0xFFFFu, H);
        wr8(z, SP, L);
        HL = U16(v);
        WZ = U16(v);
        t += 19; DONE;
    op_E9: pc = HL; t += 4; NEXT_SHARED;
    op_EB: { uint16_t tmp = DE; DE = HL; HL = tmp; t += 4; NEXT; }
    op_F3: z->iff1 = z->iff2 = 0; t += 4; DONE;
    op_F9: SP = HL; t += 6; DONE;
    op_FB: /* EI: no interrupt is taken before the next instruction */
        z->iff1 = z->iff2 = 1;
        t += 4;
        z->ei_tstates = (int32_t)((uint32_t)t + (uint32_t)z->run_limit);
        DONE;

    op_CB:
        op = FETCH();
        r++;
        if ((op & 7u) == 6) {
            v = rd8(z, HL);
            if ((op & 0xC0u) == 0x40u) {
                BIT_TEST(op, v, z->wz.b.h);
                t += 12;
            } else {
                wr8(z, HL, CB_APPLY(op, v));
                t += 15;
            }
        } else {
            uint8_t* reg = reg8(z, op & 7u);
            A_TO_STRUCT();
            if ((op & 0xC0u) == 0x40u)
                BIT_TEST(op, *reg, *reg);
            else
                *reg = U8(CB_APPLY(op, *reg));
            A_FROM_STRUCT();
            t += 8;
        }
        NEXT;

    op_ED:
        /* Block instructions stay here; the rest of ED goes the slow way. */
        v = rd8(z, pc);
        if ((v & 0xE4u) != 0xA0u)
            goto prefixed;
        op = v;
        pc++;
        r++;
        switch (op) {
        case 0xA0: case 0xA8: case 0xB0: case 0xB8: { /* LDI LDD LDIR LDDR */
            unsigned step = (op & 8u) ? 0xFFFFu : 1u;
            uint32_t at = (pc - 2) & 0xFFFFu; /* the instruction, for the repeat */
            unsigned hl = HL, de = DE, bc = BC;
            for (;;) {
                unsigned run = block_run(z, op, hl, de, bc, at);
                if (run > 1) {
                    /* A run inside one source and one destination page: copy it directly,
                     * byte by byte in Z80 order (overlapping fills work as on the Z80). */
                    int inc = step == 1 ? 1 : -1;
                    const uint8_t* src = (const uint8_t*)(z->rd[hl >> 14] + hl);
                    uint8_t* dst = (uint8_t*)(z->wr[de >> 14] + de);
                    const uint8_t* src_lo = step == 1 ? src : src - (run - 1);
                    uint8_t* dst_lo = step == 1 ? dst : dst - (run - 1);
                    unsigned k = 0;
                    if ((int32_t)((uint32_t)t + 21u * (run - 1)) < 0 &&
                        (dst_lo + run <= src_lo || src_lo + run <= dst_lo)) {
                        /* The whole run, source and destination apart: one copy. */
                        copy_apart(dst_lo, src_lo, run);
                        v = step == 1 ? src_lo[run - 1] : src_lo[0];
                        k = run;
                        t += (int32_t)(21u * run);
                    } else {
                        do {
                            v = *src;
                            *dst = U8(v);
                            src += inc;
                            dst += inc;
                            k++;
                            t += 21;
                        } while (k < run && t < 0);
                    }
                    note_watched_run(z, de, k, step);
                    hl = (hl + k * step) & 0xFFFFu;
                    de = (de + k * step) & 0xFFFFu;
                    bc = (bc - k) & 0xFFFFu;
                    r += 2 * k;
                    WZ = U16(at + 1);
                    if (!bc) {
                        t -= 5;
                        r -= 2;
                        break;
                    }
                    if (t >= 0) {
                        r -= 2;
                        pc = at;
                        break;
                    }
                    continue;
                }
                v = rd8(z, hl);
                addr = de;
                wr8(z, addr, v);
                bc = (bc - 1) & 0xFFFFu;
                de = (de + step) & 0xFFFFu;
                hl = (hl + step) & 0xFFFFu;
                if (!(op & 0x10u) || !bc) {
                    t += 16;
                    break;
                }
                t += 21;
                WZ = U16(at + 1);
                /* Repeat here while time remains, unless the copy overwrote the instruction. */
                if (t >= 0 || ((addr - at) & 0xFFFFu) < 2) {
                    pc = at;
                    break;
                }
                r += 2;
            }
            HL = U16(hl);
            DE = U16(de);
            BC = U16(bc);
            v += a;
            f = (f & (FC | FZ | FS)) | (bc ? FV : 0) | (v & F3) | ((v & 0x02u) << 4);
            break;
        }
        case 0xA1: case 0xA9: case 0xB1: case 0xB9: { /* CPI CPD CPIR CPDR */
            unsigned step = (op & 8u) ? 0xFFFFu : 1u;
            unsigned res, hl = HL, bc = BC, wz = WZ;
            /* CPIR and CPDR repeat here while time remains (reads only: nothing to watch). */
            for (;;) {
                v = rd8(z, hl);
                res = a - v;
                hl = (hl + step) & 0xFFFFu;
                bc = (bc - 1u) & 0xFFFFu;
                wz = (wz + step) & 0xFFFFu;
                t += 16;
                if (!(op & 0x10u) || !bc || !(res & 0xFFu))
                    break;
                t += 5;
                wz = (pc - 1u) & 0xFFFFu; /* the instruction's address + 1 */
                if (t >= 0) {
                    pc -= 2;
                    break;
                }
                r += 2;
            }
            HL = U16(hl);
            BC = U16(bc);
            WZ = U16(wz);
            f = (f & FC) | (bc ? (FV | FN) : FN) | ((a ^ v ^ res) & FH) |
                ((res & 0xFFu) ? 0 : FZ) | (res & FS);
            if (f & FH)
                res--;
            f |= (res & F3) | ((res & 0x02u) << 4);
            break;
        }
        case 0xA2: case 0xAA: case 0xB2: case 0xBA: { /* INI IND INIR INDR */
            unsigned step = (op & 8u) ? 0xFFFFu : 1u;
            unsigned sum;
            IO_TSTATES(9);
            v = port_in(z, BC);
            wr8(z, HL, v);
            WZ = U16(BC + step);
            B = U8(B - 1);
            HL = U16(HL + step);
            sum = v + ((C + step) & 0xFFu);
            f = ((v & 0x80u) >> 6) | ((sum > 0xFFu) ? (FH | FC) : 0) |
                (sz53p[(sum & 7u) ^ B] & FP) | sz53[B];
            t += 16;
            if ((op & 0x10u) && B) {
                pc -= 2;
                t += 5;
            }
            break;
        }
        case 0xA3: case 0xAB: case 0xB3: case 0xBB: { /* OUTI OUTD OTIR OTDR */
            unsigned step = (op & 8u) ? 0xFFFFu : 1u;
            unsigned sum;
            v = rd8(z, HL);
            B = U8(B - 1);
            WZ = U16(BC + step);
            IO_TSTATES(12);
            port_out(z, BC, v);
            HL = U16(HL + step);
            sum = v + L;
            f = ((v & 0x80u) >> 6) | ((sum > 0xFFu) ? (FH | FC) : 0) |
                (sz53p[(sum & 7u) ^ B] & FP) | sz53[B];
            t += 16;
            if ((op & 0x10u) && B) {
                pc -= 2;
                t += 5;
            }
            break;
        }
        default: break;
        }
        DONE;

    op_DD: xy = &z->ix; goto index_prefix;
    op_FD: xy = &z->iy;
    index_prefix:
        t += 4;
        op = FETCH();
        r++;
        switch (op) {
        case 0x09: xy->w = U16(ADD16(xy->w, BC)); t += 11; break;
        case 0x19: xy->w = U16(ADD16(xy->w, DE)); t += 11; break;
        case 0x29: xy->w = U16(ADD16(xy->w, xy->w)); t += 11; break;
        case 0x39: xy->w = U16(ADD16(xy->w, SP)); t += 11; break;
        case 0x21: xy->w = U16(FETCH16()); t += 10; break;
        case 0x22: addr = FETCH16(); wr16(z, addr, xy->w); WZ = U16(addr + 1); t += 16; break;
        case 0x2A: addr = FETCH16(); xy->w = U16(rd16(z, addr)); WZ = U16(addr + 1); t += 16; break;
        case 0x23: xy->w = U16(xy->w + 1); t += 6; break;
        case 0x2B: xy->w = U16(xy->w - 1); t += 6; break;
        case 0x24: xy->b.h = U8(INC8(xy->b.h)); t += 4; break;
        case 0x25: xy->b.h = U8(DEC8(xy->b.h)); t += 4; break;
        case 0x26: xy->b.h = U8(FETCH()); t += 7; break;
        case 0x2C: xy->b.l = U8(INC8(xy->b.l)); t += 4; break;
        case 0x2D: xy->b.l = U8(DEC8(xy->b.l)); t += 4; break;
        case 0x2E: xy->b.l = U8(FETCH()); t += 7; break;
#define INDEX_ADDR()                                                                               \
    do {                                                                                           \
        v = FETCH_D();                                                                             \
        addr = (xy->w + v) & 0xFFFFu;                                                              \
        WZ = U16(addr);                                                                            \
    } while (0)
        case 0x34: INDEX_ADDR(); wr8(z, addr, INC8(rd8(z, addr))); t += 19; break;
        case 0x35: INDEX_ADDR(); wr8(z, addr, DEC8(rd8(z, addr))); t += 19; break;
        case 0x36: INDEX_ADDR(); wr8(z, addr, FETCH()); t += 15; break;
        /* LD r,IXH / LD r,IXL / LD r,(IX+d) for r = B C D E A (and H, L from memory) */
        case 0x44: case 0x4C: case 0x54: case 0x5C: case 0x7C:
            A_TO_STRUCT();
            *reg8(z, (op >> 3) & 7u) = xy->b.h;
            A_FROM_STRUCT();
            t += 4;
            break;
        case 0x45: case 0x4D: case 0x55: case 0x5D: case 0x7D:
            A_TO_STRUCT();
            *reg8(z, (op >> 3) & 7u) = xy->b.l;
            A_FROM_STRUCT();
            t += 4;
            break;
        case 0x7E: INDEX_ADDR(); a = rd8(z, addr); t += 15; break;
        case 0x77: INDEX_ADDR(); wr8(z, addr, a); t += 15; break;
        case 0x46: case 0x4E: case 0x56: case 0x5E:
        case 0x66: case 0x6E:
            INDEX_ADDR();
            A_TO_STRUCT();
            *reg8(z, (op >> 3) & 7u) = U8(rd8(z, addr));
            A_FROM_STRUCT();
            t += 15;
            break;
        /* LD IXH,r and LD IXL,r: H and L in the source mean IXH and IXL */
        case 0x60: case 0x61: case 0x62: case 0x63: case 0x67:
            A_TO_STRUCT();
            xy->b.h = *reg8(z, op & 7u);
            t += 4;
            break;
        case 0x64: t += 4; break;
        case 0x65: xy->b.h = xy->b.l; t += 4; break;
        case 0x68: case 0x69: case 0x6A: case 0x6B: case 0x6F:
            A_TO_STRUCT();
            xy->b.l = *reg8(z, op & 7u);
            t += 4;
            break;
        case 0x6C: xy->b.l = xy->b.h; t += 4; break;
        case 0x6D: t += 4; break;
        case 0x70: case 0x71: case 0x72: case 0x73:
        case 0x74: case 0x75:
            INDEX_ADDR();
            A_TO_STRUCT();
            wr8(z, addr, *reg8(z, op & 7u));
            t += 15;
            break;
        case 0x84: case 0x8C: case 0x94: case 0x9C:
        case 0xA4: case 0xAC: case 0xB4: case 0xBC:
            v = xy->b.h;
            goto* alu_tails[(op >> 3) & 7u];
        case 0x85: case 0x8D: case 0x95: case 0x9D:
        case 0xA5: case 0xAD: case 0xB5: case 0xBD:
            v = xy->b.l;
            goto* alu_tails[(op >> 3) & 7u];
        case 0x86: case 0x8E: case 0x96: case 0x9E:
        case 0xA6: case 0xAE: case 0xB6: case 0xBE:
            INDEX_ADDR();
            v = rd8(z, addr);
            t += 11;
            goto* alu_tails[(op >> 3) & 7u];
        case 0xE1: xy->w = U16(pop16(z)); t += 10; break;
        case 0xE3: /* EX (SP),IX */
            v = rd16(z, SP);
            wr8(z, (SP + 1u) & 0xFFFFu, xy->b.h);
            wr8(z, SP, xy->b.l);
            xy->w = U16(v);
            WZ = U16(v);
            t += 19;
            break;
        case 0xE5: push16(z, xy->w); t += 11; break;
        case 0xE9: pc = xy->w; t += 4; break;
        case 0xF9: SP = xy->w; t += 6; break;
        case 0xDD: xy = &z->ix; goto index_prefix;
        case 0xFD: xy = &z->iy; goto index_prefix;
        case 0xCB:
            /* DD CB d op: the displacement comes before the opcode; neither is an M1 cycle. */
            INDEX_ADDR();
            op = FETCH();
            v = rd8(z, addr);
            if ((op & 0xC0u) == 0x40u) {
                BIT_TEST(op, v, addr >> 8);
                t += 16;
            } else {
                v = CB_APPLY(op, v);
                wr8(z, addr, v);
                if ((op & 7u) != 6) {
                    A_TO_STRUCT();
                    *reg8(z, op & 7u) = U8(v);
                    A_FROM_STRUCT();
                }
                t += 19;
            }
            break;
        default:
            /* The prefix had no effect: run the opcode as it stands. */
            goto* ops[op];
        }
        NEXT;

    prefixed: /* ED other than the block instructions */
        z->pc.w = U16(pc);
        z->af.w = U16((a << 8) | f);
        z->r = U8((z->r & 0x80u) | (r & 0x7Fu));
        z->tstates = t;
        run_ed(z);
        pc = z->pc.w;
        a = z->af.b.h;
        f = z->af.b.l;
        r = z->r;
        t = z->tstates;
        DONE;

out:
    z->pc.w = U16(pc);
    z->af.w = U16((a << 8) | f);
    z->tstates = (int32_t)((uint32_t)t + (uint32_t)z->run_limit);
    z->r = U8((z->r & 0x80u) | (r & 0x7Fu));
    return z->tstates;
}
/* clang-format on */

/* ---- outside the run loop ---- */

#ifdef Z80_FAST_ARM
/* The fast path tests a write against the watched range with two instructions whose immediates
 * are the range's base and size (a load would cost every write three cycles more), and marks
 * the written block in a byte array of its IWRAM data by storing the low byte of the data's
 * address there (one instruction, no register to spare). z80_fast_watch sets the sites up for
 * one CPU's watch: it rewrites those immediates, and the CPU becomes the fast path's. Called
 * when a watch is set and by z80_run when it meets another CPU. The code is in IWRAM and the
 * ARM7TDMI has no caches, so the new instructions are what runs next. */
extern uint32_t* const z80_fast_watch_sites[]; /* each: SUB r0, rN, #base; CMP r0, #size */
extern uint32_t* const z80_fast_watch_sites_end[];
/* The output latch's logged bits are an immediate too: TST r0, #logged. */
extern uint32_t* const z80_fast_latch_sites[];
extern uint32_t* const z80_fast_latch_sites_end[];
extern const uint8_t z80_fast_ops[];
/* One byte per block of the watch, and one past it: marked (== the low byte of z80_fast_ops)
 * or not. Word-aligned. */
extern uint8_t z80_fast_dirty[Z80_WATCH_MAX_SIZE / Z80_WATCH_BLOCK + 4];
extern uint32_t z80_fast_watch_range[2]; /* base, size */
extern Z80* z80_fast_cpu;                /* z80_fast_latch.cpu */
/* Set when the running CPU's pages change: the fast path copies them again after the port
 * handler that did it. */
extern uint32_t z80_fast_remap;

/* ARM data-processing immediate (8 bits rotated right by an even amount) of a multiple of 256
 * below 0x10000: 0 or x << 8 with x < 256, i.e. x rotated right by 24. */
static uint32_t arm_immediate(uint32_t value) {
    return value ? (12u << 8) | (value >> 8) : 0;
}

/* Adds the blocks the fast path marked to its CPU's watched masks and clears the marks, a word
 * (four blocks) at a time. Once a frame, but over some 200 blocks when a program redraws the
 * screen: ARM in IWRAM. */
Z80_HOT static void take_marks(void) {
    Z80* z = z80_fast_cpu;
    uint32_t clean = ((uint8_t)(uintptr_t)z80_fast_ops ^ 1u) * 0x01010101u;
    uint32_t* words = (uint32_t*)(void*)z80_fast_dirty;
    unsigned used = z ? z->watch_size / (4 * Z80_WATCH_BLOCK) : 0, w = 0;
    uint32_t bits = 0;
    for (const uint32_t* masks = z ? z->watch_masks : NULL; w < used; w++, masks += 4) {
        uint32_t marked = words[w] ^ clean;
        if (!marked)
            continue;
        words[w] = clean;
        if (marked & 0xFFu)
            bits |= masks[0];
        if (marked & 0xFF00u)
            bits |= masks[1];
        if (marked & 0xFF0000u)
            bits |= masks[2];
        if (marked & 0xFF000000u)
            bits |= masks[3];
    }
    for (; w < sizeof z80_fast_dirty / 4; w++)
        words[w] = clean;
    if (z)
        z->watched |= bits;
}

static void set_latch_sites(const Z80* z) {
    for (uint32_t* const* site = z80_fast_latch_sites; site < z80_fast_latch_sites_end; site++)
        (*site)[0] = ((*site)[0] & ~0xFFFu) | (z->latch_logged & 0xFFu); /* rotation 0 */
}

void z80_fast_watch(Z80* z);
void z80_fast_watch(Z80* z) {
    take_marks(); /* the last CPU's, under its masks */
    for (uint32_t* const* site = z80_fast_watch_sites; site < z80_fast_watch_sites_end; site++) {
        (*site)[0] = ((*site)[0] & ~0xFFFu) | arm_immediate(z->watch_base);
        (*site)[1] = ((*site)[1] & ~0xFFFu) | arm_immediate(z->watch_size);
    }
    z80_fast_watch_range[0] = z->watch_base;
    z80_fast_watch_range[1] = z->watch_size;
    set_latch_sites(z);
    z80_fast_cpu = z;
    z80_fast_latch.latch = z->latch;
}
#define WATCH_CHANGED(z) z80_fast_watch(z)
#define TAKE_MARKS(z) ((z) == z80_fast_cpu ? take_marks() : (void)0)
#define PAGES_CHANGED(z) ((z) == z80_fast_cpu ? (void)(z80_fast_remap = 1) : (void)0)
#define LATCH_SET(z) ((z) == z80_fast_cpu ? set_latch_sites(z) : (void)0)
#else
#define WATCH_CHANGED(z) ((void)(z))
#define TAKE_MARKS(z) ((void)(z))
#define PAGES_CHANGED(z) ((void)(z))
#define LATCH_SET(z) ((void)(z))
#endif

uint32_t z80_take_watched(Z80* z) {
    TAKE_MARKS(z);
    uint32_t bits = z->watched;
    z->watched = 0;
    return bits;
}

void z80_init(Z80* z) {
    memset(z, 0, sizeof *z);
    z->af.w = 0xFFFF;
    z->af_ = 0xFFFF;
    z->sp.w = 0xFFFF;
    z->ei_tstates = 1;
    z->latch.value = -2;
    for (int page = 0; page < 4; page++)
        z80_map_page(z, page, unmapped_page, NULL);
    WATCH_CHANGED(z);
}

int z80_watch_writes(Z80* z, uint16_t base, uint16_t size, const uint32_t* masks) {
    if ((base & 0xFFu) || (size & 0xFFu) || size > Z80_WATCH_MAX_SIZE || (size && !masks) ||
        (uint32_t)base + size > 0x10000u)
        return 0;
    TAKE_MARKS(z); /* under the masks they were made for */
    z->watch_base = base;
    z->watch_size = size;
    z->watch_masks = masks;
    WATCH_CHANGED(z);
    return 1;
}

void z80_get_regs(const Z80* z, Z80Regs* out) {
    out->af = z->af.w;
    out->bc = z->bc.w;
    out->de = z->de.w;
    out->hl = z->hl.w;
    out->af_ = z->af_;
    out->bc_ = z->bc_;
    out->de_ = z->de_;
    out->hl_ = z->hl_;
    out->ix = z->ix.w;
    out->iy = z->iy.w;
    out->sp = z->sp.w;
    out->pc = z->pc.w;
    out->wz = z->wz.w;
    out->i = z->i;
    out->r = z->r;
    out->iff1 = z->iff1;
    out->iff2 = z->iff2;
    out->im = z->im;
    out->halted = z->halted;
}

void z80_set_regs(Z80* z, const Z80Regs* in) {
    z->af.w = in->af;
    z->bc.w = in->bc;
    z->de.w = in->de;
    z->hl.w = in->hl;
    z->af_ = in->af_;
    z->bc_ = in->bc_;
    z->de_ = in->de_;
    z->hl_ = in->hl_;
    z->ix.w = in->ix;
    z->iy.w = in->iy;
    z->sp.w = in->sp;
    z->pc.w = in->pc;
    z->wz.w = in->wz;
    z->i = in->i;
    z->r = in->r;
    z->iff1 = in->iff1 ? 1 : 0;
    z->iff2 = in->iff2 ? 1 : 0;
    z->im = in->im <= 2 ? in->im : 1;
    z->halted = in->halted ? 1 : 0;
    z->ei_tstates = z->tstates ^ 1;
}

void z80_map_page(Z80* z, int page, const uint8_t* read, uint8_t* write) {
    if (page < 0 || page > 3)
        return;
    uintptr_t base = (uintptr_t)page * 0x4000u;
    if (!read)
        read = unmapped_page;
    z->rd[page] = (uintptr_t)read - base;
    z->wr[page] = write ? (uintptr_t)write - base : 0;
    if (page == 0)
        z->rd[4] = (uintptr_t)read - 0x10000u;
    PAGES_CHANGED(z);
}

void z80_set_io(Z80* z, z80_in_fn in, z80_out_fn out, void* user) {
    z->in = in;
    z->out = out;
    z->io_user = user;
}

void z80_cache_in(Z80* z, uint16_t mask, uint16_t match) {
    z->in_cache_ports = ((uint32_t)mask << 16) | (match & mask);
}

void z80_set_latch(Z80* z, uint16_t mask, uint16_t match, uint8_t value, uint8_t logged) {
    z->latch_ports = ((uint32_t)mask << 16) | (match & mask);
    z->latch.value = mask ? value : -2;
    z->latch_logged = logged;
    LATCH_SET(z);
    LATCH_MIRROR(z);
}

/* Inside a run the fast path's copy is the live one: only the field set is written there. */
void z80_set_latch_value(Z80* z, uint8_t value) {
    if (z->latch.value != -2) {
        z->latch.value = value;
        LATCH_FIELD(z, value);
    }
}

void z80_set_latch_log(Z80* z, uint32_t* log, uint32_t capacity) {
    z->latch.next = log;
    z->latch.end = log + capacity;
    LATCH_FIELD(z, next);
    LATCH_FIELD(z, end);
}

void z80_set_tstates(Z80* z, int32_t t) {
    /* Keep "the last instruction was EI" true or false across the move. */
    z->ei_tstates = z->ei_tstates == z->tstates ? t : t ^ 1;
    z->tstates = t;
}

int z80_after_ei(const Z80* z) {
    return z->ei_tstates == z->tstates;
}

void z80_set_after_ei(Z80* z, int after_ei) {
    z->ei_tstates = after_ei ? z->tstates : z->tstates ^ 1;
}

static void leave_halt_and_push(Z80* z) {
    if (z->halted) {
        z->pc.w = U16(z->pc.w + 1);
        z->halted = 0;
    }
    z->r = U8((z->r & 0x80u) | ((z->r + 1u) & 0x7Fu));
    push16(z, z->pc.w);
}

int z80_interrupt(Z80* z, uint8_t data_bus) {
    if (!z->iff1 || z->ei_tstates == z->tstates)
        return 0;
    z->iff1 = z->iff2 = 0;
    leave_halt_and_push(z);
    int taken;
    if (z->im == 2) {
        unsigned vector = ((unsigned)z->i << 8) | data_bus;
        z->pc.w = U16(rd16(z, vector));
        taken = 19;
    } else {
        /* IM 0 executes the byte on the bus; only RSTs are meaningful there. */
        unsigned target = (z->im == 0 && (data_bus & 0xC7u) == 0xC7u) ? (data_bus & 0x38u) : 0x38u;
        z->pc.w = U16(target);
        taken = 13;
    }
    z->wz.w = z->pc.w;
    z->tstates += taken;
    return taken;
}

int z80_nmi(Z80* z) {
    z->iff1 = 0;
    leave_halt_and_push(z);
    z->pc.w = 0x0066;
    z->tstates += 11;
    return 11;
}
