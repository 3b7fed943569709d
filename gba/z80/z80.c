/* Z80 interpreter. One source for the host and the GBA: on the GBA the whole file is compiled
 * in ARM state and the run loop and flag tables go to IWRAM.
 *
 * Speed notes: pc, the T-state counter and R live in locals of z80_run (ARM registers);
 * memory goes through biased page pointers (address + rd[address >> 14]), so a fetch is a
 * shift, a load and a byte load; flags come from the sz53/sz53p tables or a few ALU
 * operations. */
#include "z80.h"

#include <stddef.h>
#include <string.h>

#if defined(__arm__) && !defined(__linux__)
#define Z80_HOT __attribute__((section(".iwram.z80"), noinline))
#define Z80_TABLE __attribute__((section(".iwram.z80tab")))
#else
#define Z80_HOT
#define Z80_TABLE
#endif
#define INLINE static inline __attribute__((always_inline))

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

/* Offsets of B, C, D, E, H, L, -, A in struct Z80, indexed by the 3-bit register field. */
static const uint8_t reg_offset[8] Z80_TABLE = {offsetof(Z80, bc.b.h),
                                                offsetof(Z80, bc.b.l),
                                                offsetof(Z80, de.b.h),
                                                offsetof(Z80, de.b.l),
                                                offsetof(Z80, hl.b.h),
                                                offsetof(Z80, hl.b.l),
                                                0,
                                                offsetof(Z80, af.b.h)};

/* What unmapped pages read as before the machine maps its memory. */
static const uint8_t unmapped_page[0x4000];

#define U8(x) ((uint8_t)(x))
#define U16(x) ((uint16_t)(x))

#define A z->af.b.h
#define F z->af.b.l
#define B z->bc.b.h
#define C z->bc.b.l
#define D z->de.b.h
#define E z->de.b.l
#define H z->hl.b.h
#define L z->hl.b.l
#define AF z->af.w
#define BC z->bc.w
#define DE z->de.w
#define HL z->hl.w
#define SP z->sp.w
#define WZ z->wz.w

INLINE unsigned rd8(const Z80* z, unsigned a) {
    return *(const uint8_t*)(z->rd[a >> 14] + a);
}

INLINE void wr8(Z80* z, unsigned a, unsigned v) {
    uintptr_t page = z->wr[a >> 14];
    if (page) {
        *(uint8_t*)(page + a) = U8(v);
        unsigned off = a - 0x4000u;
        if (off < 0x1B00u) {
            unsigned row =
                off < 0x1800u ? ((off >> 8) & 0x18u) | ((off >> 5) & 7u) : (off - 0x1800u) >> 5;
            z->screen_dirty |= 1u << row;
        }
    }
}

INLINE unsigned rd16(const Z80* z, unsigned a) {
    return rd8(z, a) | (rd8(z, (a + 1) & 0xFFFFu) << 8);
}

INLINE void wr16(Z80* z, unsigned a, unsigned v) {
    wr8(z, a, v & 0xFFu);
    wr8(z, (a + 1) & 0xFFFFu, v >> 8);
}

INLINE void push16(Z80* z, unsigned v) {
    unsigned sp = SP;
    sp = (sp - 1) & 0xFFFFu;
    wr8(z, sp, v >> 8);
    sp = (sp - 1) & 0xFFFFu;
    wr8(z, sp, v & 0xFFu);
    SP = U16(sp);
}

INLINE unsigned pop16(Z80* z) {
    unsigned sp = SP;
    unsigned v = rd8(z, sp);
    v |= rd8(z, (sp + 1) & 0xFFFFu) << 8;
    SP = U16(sp + 2);
    return v;
}

INLINE unsigned port_in(Z80* z, unsigned port) {
    return z->in ? z->in(z->io_user, U16(port)) : 0xFFu;
}

INLINE void port_out(Z80* z, unsigned port, unsigned v) {
    if (z->out)
        z->out(z->io_user, U16(port), U8(v));
}

/* ---- 8-bit arithmetic ---- */

INLINE void alu_add(Z80* z, unsigned v, unsigned carry) {
    unsigned a = A, r = a + v + carry;
    F = U8((r >> 8) | ((a ^ v ^ r) & FH) | (((a ^ r) & (v ^ r) & 0x80u) >> 5) | sz53[r & 0xFFu]);
    A = U8(r);
}

INLINE unsigned sub_flags(unsigned a, unsigned v, unsigned r) {
    return ((r >> 8) & FC) | FN | ((a ^ v ^ r) & FH) | (((a ^ v) & (a ^ r) & 0x80u) >> 5);
}

INLINE void alu_sub(Z80* z, unsigned v, unsigned carry) {
    unsigned a = A, r = a - v - carry;
    F = U8(sub_flags(a, v, r) | sz53[r & 0xFFu]);
    A = U8(r);
}

INLINE void alu_cp(Z80* z, unsigned v) {
    unsigned a = A, r = a - v;
    F = U8(sub_flags(a, v, r) | (sz53[r & 0xFFu] & (FS | FZ)) | (v & (F3 | F5)));
}

INLINE void alu_and(Z80* z, unsigned v) {
    A = U8(A & v);
    F = U8(FH | sz53p[A]);
}

INLINE void alu_xor(Z80* z, unsigned v) {
    A = U8(A ^ v);
    F = sz53p[A];
}

INLINE void alu_or(Z80* z, unsigned v) {
    A = U8(A | v);
    F = sz53p[A];
}

/* The eight ALU operations in opcode order (bits 3-5): ADD ADC SUB SBC AND XOR OR CP. */
INLINE void alu_op(Z80* z, unsigned op, unsigned v) {
    switch ((op >> 3) & 7u) {
    case 0:
        alu_add(z, v, 0);
        break;
    case 1:
        alu_add(z, v, F & FC);
        break;
    case 2:
        alu_sub(z, v, 0);
        break;
    case 3:
        alu_sub(z, v, F & FC);
        break;
    case 4:
        alu_and(z, v);
        break;
    case 5:
        alu_xor(z, v);
        break;
    case 6:
        alu_or(z, v);
        break;
    default:
        alu_cp(z, v);
        break;
    }
}

INLINE unsigned inc8(Z80* z, unsigned v) {
    v = (v + 1) & 0xFFu;
    F = U8((F & FC) | (v == 0x80u ? FV : 0) | ((v & 0x0Fu) ? 0 : FH) | sz53[v]);
    return v;
}

INLINE unsigned dec8(Z80* z, unsigned v) {
    unsigned f = (F & FC) | ((v & 0x0Fu) ? 0 : FH) | FN;
    v = (v - 1) & 0xFFu;
    F = U8(f | (v == 0x7Fu ? FV : 0) | sz53[v]);
    return v;
}

/* ---- 16-bit arithmetic ---- */

INLINE unsigned add16(Z80* z, unsigned a, unsigned v) {
    unsigned r = a + v;
    WZ = U16(a + 1);
    F = U8((F & (FS | FZ | FV)) | ((r >> 16) & FC) | ((r >> 8) & (F3 | F5)) |
           (((a ^ v ^ r) >> 8) & FH));
    return r & 0xFFFFu;
}

INLINE void adc16(Z80* z, unsigned v) {
    unsigned a = HL, r = a + v + (F & FC);
    WZ = U16(a + 1);
    F = U8(((r >> 16) & FC) | (((a ^ v ^ r) >> 8) & FH) | (((a ^ r) & (v ^ r) & 0x8000u) >> 13) |
           ((r >> 8) & (FS | F3 | F5)) | ((r & 0xFFFFu) ? 0 : FZ));
    HL = U16(r);
}

INLINE void sbc16(Z80* z, unsigned v) {
    unsigned a = HL, r = a - v - (F & FC);
    WZ = U16(a + 1);
    F = U8(((r >> 16) & FC) | FN | (((a ^ v ^ r) >> 8) & FH) |
           (((a ^ v) & (a ^ r) & 0x8000u) >> 13) | ((r >> 8) & (FS | F3 | F5)) |
           ((r & 0xFFFFu) ? 0 : FZ));
    HL = U16(r);
}

/* ---- CB group ---- */

/* Rotates and shifts (op bits 3-5: RLC RRC RL RR SLA SRA SLL SRL), RES and SET. */
INLINE unsigned cb_apply(Z80* z, unsigned op, unsigned v) {
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
            r = (v << 1) | (F & FC);
            break;
        case 3:
            c = v & 1u;
            r = (v >> 1) | ((F & FC) << 7);
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
        F = U8(c | sz53p[r]);
        return r;
    case 2:
        return v & ~(1u << ((op >> 3) & 7u));
    default:
        return v | (1u << ((op >> 3) & 7u));
    }
}

/* BIT n: S, Z and P/V from the tested bit, bits 3 and 5 from `undoc`. */
INLINE void bit_test(Z80* z, unsigned op, unsigned v, unsigned undoc) {
    unsigned m = v & (1u << ((op >> 3) & 7u));
    F = U8((F & FC) | FH | (undoc & (F3 | F5)) | (m ? 0 : (FZ | FP)) | (m & FS));
}

INLINE uint8_t* reg8(Z80* z, unsigned index) {
    return (uint8_t*)z + reg_offset[index];
}

/* ---- misc ---- */

INLINE void daa(Z80* z) {
    unsigned add = 0, carry = F & FC, a = A;
    if ((F & FH) || (a & 0x0Fu) > 9)
        add = 6;
    if (carry || a > 0x99u)
        add |= 0x60u;
    if (a > 0x99u)
        carry = FC;
    if (F & FN)
        alu_sub(z, add, 0);
    else
        alu_add(z, add, 0);
    F = U8((F & ~(FC | FP)) | carry | (sz53p[A] & FP));
}

#define FETCH() rd8(z, pc++)
#define FETCH16() (pc += 2, rd8(z, pc - 2) | (rd8(z, pc - 1) << 8))
#define PCW (pc & 0xFFFFu)
/* Sign-extend a displacement without leaving unsigned arithmetic. */
#define DISP(d) ((d) - (((d)&0x80u) << 1))
#define JR_TAKEN(d)                                                                                \
    do {                                                                                           \
        pc = (pc + DISP(d)) & 0xFFFFu;                                                             \
        WZ = U16(pc);                                                                              \
    } while (0)

/* Conditions by opcode bits 3-5: NZ Z NC C PO PE P M. */
INLINE int condition(const Z80* z, unsigned op) {
    static const uint8_t mask[4] = {FZ, FC, FP, FS};
    unsigned cc = (op >> 3) & 7u;
    unsigned set = F & mask[cc >> 1];
    return (cc & 1u) ? set != 0 : set == 0;
}

Z80_HOT int32_t z80_run(Z80* z, int32_t limit) {
    uint32_t pc = z->pc.w;
    int32_t t = z->tstates;
    uint32_t r = z->r;
    unsigned op, v, addr;
    Z80Pair* xy;

    while (t < limit) {
        op = FETCH();
        r++;
    dispatch:
        switch (op) {
        case 0x00:
            t += 4;
            break;
        case 0x01:
            BC = U16(FETCH16());
            t += 10;
            break;
        case 0x02:
            wr8(z, BC, A);
            WZ = U16(((BC + 1) & 0xFFu) | (A << 8));
            t += 7;
            break;
        case 0x03:
            BC = U16(BC + 1);
            t += 6;
            break;
        case 0x04:
            B = U8(inc8(z, B));
            t += 4;
            break;
        case 0x05:
            B = U8(dec8(z, B));
            t += 4;
            break;
        case 0x06:
            B = U8(FETCH());
            t += 7;
            break;
        case 0x07:
            A = U8((A << 1) | (A >> 7));
            F = U8((F & (FP | FZ | FS)) | (A & (FC | F3 | F5)));
            t += 4;
            break;
        case 0x08: {
            uint16_t tmp = AF;
            AF = z->af_;
            z->af_ = tmp;
            t += 4;
            break;
        }
        case 0x09:
            HL = U16(add16(z, HL, BC));
            t += 11;
            break;
        case 0x0A:
            A = U8(rd8(z, BC));
            WZ = U16(BC + 1);
            t += 7;
            break;
        case 0x0B:
            BC = U16(BC - 1);
            t += 6;
            break;
        case 0x0C:
            C = U8(inc8(z, C));
            t += 4;
            break;
        case 0x0D:
            C = U8(dec8(z, C));
            t += 4;
            break;
        case 0x0E:
            C = U8(FETCH());
            t += 7;
            break;
        case 0x0F:
            F = U8((F & (FP | FZ | FS)) | (A & FC));
            A = U8((A >> 1) | (A << 7));
            F = U8(F | (A & (F3 | F5)));
            t += 4;
            break;
        case 0x10:
            v = FETCH();
            B = U8(B - 1);
            if (B) {
                JR_TAKEN(v);
                t += 13;
            } else {
                t += 8;
            }
            break;
        case 0x11:
            DE = U16(FETCH16());
            t += 10;
            break;
        case 0x12:
            wr8(z, DE, A);
            WZ = U16(((DE + 1) & 0xFFu) | (A << 8));
            t += 7;
            break;
        case 0x13:
            DE = U16(DE + 1);
            t += 6;
            break;
        case 0x14:
            D = U8(inc8(z, D));
            t += 4;
            break;
        case 0x15:
            D = U8(dec8(z, D));
            t += 4;
            break;
        case 0x16:
            D = U8(FETCH());
            t += 7;
            break;
        case 0x17:
            v = A;
            A = U8((v << 1) | (F & FC));
            F = U8((F & (FP | FZ | FS)) | (A & (F3 | F5)) | (v >> 7));
            t += 4;
            break;
        case 0x18:
            v = FETCH();
            JR_TAKEN(v);
            t += 12;
            break;
        case 0x19:
            HL = U16(add16(z, HL, DE));
            t += 11;
            break;
        case 0x1A:
            A = U8(rd8(z, DE));
            WZ = U16(DE + 1);
            t += 7;
            break;
        case 0x1B:
            DE = U16(DE - 1);
            t += 6;
            break;
        case 0x1C:
            E = U8(inc8(z, E));
            t += 4;
            break;
        case 0x1D:
            E = U8(dec8(z, E));
            t += 4;
            break;
        case 0x1E:
            E = U8(FETCH());
            t += 7;
            break;
        case 0x1F:
            v = A;
            A = U8((v >> 1) | (F << 7));
            F = U8((F & (FP | FZ | FS)) | (A & (F3 | F5)) | (v & FC));
            t += 4;
            break;
        case 0x20:
        case 0x28:
        case 0x30:
        case 0x38:
            v = FETCH();
            if (condition(z, op & 0x1Fu)) { /* JR NZ/Z/NC/C use conditions 0-3 */
                JR_TAKEN(v);
                t += 12;
            } else {
                t += 7;
            }
            break;
        case 0x21:
            HL = U16(FETCH16());
            t += 10;
            break;
        case 0x22:
            addr = FETCH16();
            wr16(z, addr, HL);
            WZ = U16(addr + 1);
            t += 16;
            break;
        case 0x23:
            HL = U16(HL + 1);
            t += 6;
            break;
        case 0x24:
            H = U8(inc8(z, H));
            t += 4;
            break;
        case 0x25:
            H = U8(dec8(z, H));
            t += 4;
            break;
        case 0x26:
            H = U8(FETCH());
            t += 7;
            break;
        case 0x27:
            daa(z);
            t += 4;
            break;
        case 0x29:
            HL = U16(add16(z, HL, HL));
            t += 11;
            break;
        case 0x2A:
            addr = FETCH16();
            HL = U16(rd16(z, addr));
            WZ = U16(addr + 1);
            t += 16;
            break;
        case 0x2B:
            HL = U16(HL - 1);
            t += 6;
            break;
        case 0x2C:
            L = U8(inc8(z, L));
            t += 4;
            break;
        case 0x2D:
            L = U8(dec8(z, L));
            t += 4;
            break;
        case 0x2E:
            L = U8(FETCH());
            t += 7;
            break;
        case 0x2F:
            A = U8(A ^ 0xFFu);
            F = U8((F & (FC | FP | FZ | FS)) | (A & (F3 | F5)) | FN | FH);
            t += 4;
            break;
        case 0x31:
            SP = U16(FETCH16());
            t += 10;
            break;
        case 0x32:
            addr = FETCH16();
            wr8(z, addr, A);
            WZ = U16(((addr + 1) & 0xFFu) | (A << 8));
            t += 13;
            break;
        case 0x33:
            SP = U16(SP + 1);
            t += 6;
            break;
        case 0x34:
            wr8(z, HL, inc8(z, rd8(z, HL)));
            t += 11;
            break;
        case 0x35:
            wr8(z, HL, dec8(z, rd8(z, HL)));
            t += 11;
            break;
        case 0x36:
            v = FETCH();
            wr8(z, HL, v);
            t += 10;
            break;
        case 0x37:
            /* Bits 3 and 5 as after an instruction that left the flags alone. */
            F = U8((F & (FP | FZ | FS)) | ((F | A) & (F3 | F5)) | FC);
            t += 4;
            break;
        case 0x39:
            HL = U16(add16(z, HL, SP));
            t += 11;
            break;
        case 0x3A:
            addr = FETCH16();
            A = U8(rd8(z, addr));
            WZ = U16(addr + 1);
            t += 13;
            break;
        case 0x3B:
            SP = U16(SP - 1);
            t += 6;
            break;
        case 0x3C:
            A = U8(inc8(z, A));
            t += 4;
            break;
        case 0x3D:
            A = U8(dec8(z, A));
            t += 4;
            break;
        case 0x3E:
            A = U8(FETCH());
            t += 7;
            break;
        case 0x3F:
            F = U8((F & (FP | FZ | FS)) | ((F & FC) ? FH : FC) | ((F | A) & (F3 | F5)));
            t += 4;
            break;

#define LD_ROW(base, dst)                                                                          \
    case base + 0:                                                                                 \
        dst = U8(B);                                                                               \
        t += 4;                                                                                    \
        break;                                                                                     \
    case base + 1:                                                                                 \
        dst = U8(C);                                                                               \
        t += 4;                                                                                    \
        break;                                                                                     \
    case base + 2:                                                                                 \
        dst = U8(D);                                                                               \
        t += 4;                                                                                    \
        break;                                                                                     \
    case base + 3:                                                                                 \
        dst = U8(E);                                                                               \
        t += 4;                                                                                    \
        break;                                                                                     \
    case base + 4:                                                                                 \
        dst = U8(H);                                                                               \
        t += 4;                                                                                    \
        break;                                                                                     \
    case base + 5:                                                                                 \
        dst = U8(L);                                                                               \
        t += 4;                                                                                    \
        break;                                                                                     \
    case base + 6:                                                                                 \
        dst = U8(rd8(z, HL));                                                                      \
        t += 7;                                                                                    \
        break;                                                                                     \
    case base + 7:                                                                                 \
        dst = U8(A);                                                                               \
        t += 4;                                                                                    \
        break;
            LD_ROW(0x40, B)
            LD_ROW(0x48, C)
            LD_ROW(0x50, D)
            LD_ROW(0x58, E)
            LD_ROW(0x60, H)
            LD_ROW(0x68, L)
            LD_ROW(0x78, A)
        case 0x70:
            wr8(z, HL, B);
            t += 7;
            break;
        case 0x71:
            wr8(z, HL, C);
            t += 7;
            break;
        case 0x72:
            wr8(z, HL, D);
            t += 7;
            break;
        case 0x73:
            wr8(z, HL, E);
            t += 7;
            break;
        case 0x74:
            wr8(z, HL, H);
            t += 7;
            break;
        case 0x75:
            wr8(z, HL, L);
            t += 7;
            break;
        case 0x77:
            wr8(z, HL, A);
            t += 7;
            break;
        case 0x76:
            /* HALT repeats itself (4 T-states, one R step each) until an interrupt. */
            z->halted = 1;
            pc--;
            t += 4;
            if (t < limit) {
                uint32_t n = ((uint32_t)(limit - t) + 3u) / 4u;
                t += (int32_t)(n * 4u);
                r += n;
            }
            break;

#define ALU_ROW(base, fn)                                                                          \
    case base + 0:                                                                                 \
        fn(z, B);                                                                                  \
        t += 4;                                                                                    \
        break;                                                                                     \
    case base + 1:                                                                                 \
        fn(z, C);                                                                                  \
        t += 4;                                                                                    \
        break;                                                                                     \
    case base + 2:                                                                                 \
        fn(z, D);                                                                                  \
        t += 4;                                                                                    \
        break;                                                                                     \
    case base + 3:                                                                                 \
        fn(z, E);                                                                                  \
        t += 4;                                                                                    \
        break;                                                                                     \
    case base + 4:                                                                                 \
        fn(z, H);                                                                                  \
        t += 4;                                                                                    \
        break;                                                                                     \
    case base + 5:                                                                                 \
        fn(z, L);                                                                                  \
        t += 4;                                                                                    \
        break;                                                                                     \
    case base + 6:                                                                                 \
        fn(z, rd8(z, HL));                                                                         \
        t += 7;                                                                                    \
        break;                                                                                     \
    case base + 7:                                                                                 \
        fn(z, A);                                                                                  \
        t += 4;                                                                                    \
        break;
#define ADD_(z, v) alu_add(z, v, 0)
#define ADC_(z, v) alu_add(z, v, F& FC)
#define SUB_(z, v) alu_sub(z, v, 0)
#define SBC_(z, v) alu_sub(z, v, F& FC)
            ALU_ROW(0x80, ADD_)
            ALU_ROW(0x88, ADC_)
            ALU_ROW(0x90, SUB_)
            ALU_ROW(0x98, SBC_)
            ALU_ROW(0xA0, alu_and)
            ALU_ROW(0xA8, alu_xor)
            ALU_ROW(0xB0, alu_or)
            ALU_ROW(0xB8, alu_cp)

        case 0xC0:
        case 0xC8:
        case 0xD0:
        case 0xD8:
        case 0xE0:
        case 0xE8:
        case 0xF0:
        case 0xF8:
            if (condition(z, op)) {
                pc = pop16(z);
                WZ = U16(pc);
                t += 11;
            } else {
                t += 5;
            }
            break;
        case 0xC1:
            BC = U16(pop16(z));
            t += 10;
            break;
        case 0xD1:
            DE = U16(pop16(z));
            t += 10;
            break;
        case 0xE1:
            HL = U16(pop16(z));
            t += 10;
            break;
        case 0xF1:
            AF = U16(pop16(z));
            t += 10;
            break;
        case 0xC2:
        case 0xCA:
        case 0xD2:
        case 0xDA:
        case 0xE2:
        case 0xEA:
        case 0xF2:
        case 0xFA:
            addr = FETCH16();
            WZ = U16(addr);
            if (condition(z, op))
                pc = addr;
            t += 10;
            break;
        case 0xC3:
            pc = FETCH16();
            WZ = U16(pc);
            t += 10;
            break;
        case 0xC4:
        case 0xCC:
        case 0xD4:
        case 0xDC:
        case 0xE4:
        case 0xEC:
        case 0xF4:
        case 0xFC:
            addr = FETCH16();
            WZ = U16(addr);
            if (condition(z, op)) {
                push16(z, PCW);
                pc = addr;
                t += 17;
            } else {
                t += 10;
            }
            break;
        case 0xC5:
            push16(z, BC);
            t += 11;
            break;
        case 0xD5:
            push16(z, DE);
            t += 11;
            break;
        case 0xE5:
            push16(z, HL);
            t += 11;
            break;
        case 0xF5:
            push16(z, AF);
            t += 11;
            break;
        case 0xC6:
        case 0xCE:
        case 0xD6:
        case 0xDE:
        case 0xE6:
        case 0xEE:
        case 0xF6:
        case 0xFE:
            v = FETCH();
            alu_op(z, op, v);
            t += 7;
            break;
        case 0xC7:
        case 0xCF:
        case 0xD7:
        case 0xDF:
        case 0xE7:
        case 0xEF:
        case 0xF7:
        case 0xFF:
            push16(z, PCW);
            pc = op & 0x38u;
            WZ = U16(pc);
            t += 11;
            break;
        case 0xC9:
            pc = pop16(z);
            WZ = U16(pc);
            t += 10;
            break;
        case 0xCD:
            addr = FETCH16();
            WZ = U16(addr);
            push16(z, PCW);
            pc = addr;
            t += 17;
            break;
        case 0xD3:
            v = FETCH();
            port_out(z, v | (A << 8), A);
            WZ = U16(((v + 1) & 0xFFu) | (A << 8));
            t += 11;
            break;
        case 0xD9: {
            uint16_t tmp = BC;
            BC = z->bc_;
            z->bc_ = tmp;
            tmp = DE;
            DE = z->de_;
            z->de_ = tmp;
            tmp = HL;
            HL = z->hl_;
            z->hl_ = tmp;
            t += 4;
            break;
        }
        case 0xDB:
            v = FETCH() | (A << 8);
            A = U8(port_in(z, v));
            WZ = U16(v + 1);
            t += 11;
            break;
        case 0xE3:
            v = rd16(z, SP);
            wr8(z, (SP + 1u) & 0xFFFFu, H);
            wr8(z, SP, L);
            HL = U16(v);
            WZ = U16(v);
            t += 19;
            break;
        case 0xE9:
            pc = HL;
            t += 4;
            break;
        case 0xEB: {
            uint16_t tmp = DE;
            DE = HL;
            HL = tmp;
            t += 4;
            break;
        }
        case 0xF3:
            z->iff1 = z->iff2 = 0;
            t += 4;
            break;
        case 0xF9:
            SP = HL;
            t += 6;
            break;
        case 0xFB:
            z->iff1 = z->iff2 = 1;
            t += 4;
            z->ei_tstates = t;
            break;

        case 0xCB:
            op = FETCH();
            r++;
            if ((op & 7u) == 6) {
                v = rd8(z, HL);
                if ((op & 0xC0u) == 0x40u) {
                    bit_test(z, op, v, z->wz.b.h);
                    t += 12;
                } else {
                    wr8(z, HL, cb_apply(z, op, v));
                    t += 15;
                }
            } else {
                uint8_t* reg = reg8(z, op & 7u);
                if ((op & 0xC0u) == 0x40u)
                    bit_test(z, op, *reg, *reg);
                else
                    *reg = U8(cb_apply(z, op, *reg));
                t += 8;
            }
            break;

        case 0xED:
            op = FETCH();
            r++;
            switch (op) {
            case 0x40:
            case 0x48:
            case 0x50:
            case 0x58:
            case 0x60:
            case 0x68:
            case 0x70:
            case 0x78:
                v = port_in(z, BC);
                WZ = U16(BC + 1);
                F = U8((F & FC) | sz53p[v]);
                if (op != 0x70)
                    *reg8(z, (op >> 3) & 7u) = U8(v);
                t += 12;
                break;
            case 0x41:
            case 0x49:
            case 0x51:
            case 0x59:
            case 0x61:
            case 0x69:
            case 0x71:
            case 0x79:
                port_out(z, BC, op == 0x71 ? 0u : *reg8(z, (op >> 3) & 7u));
                WZ = U16(BC + 1);
                t += 12;
                break;
            case 0x42:
                sbc16(z, BC);
                t += 15;
                break;
            case 0x52:
                sbc16(z, DE);
                t += 15;
                break;
            case 0x62:
                sbc16(z, HL);
                t += 15;
                break;
            case 0x72:
                sbc16(z, SP);
                t += 15;
                break;
            case 0x4A:
                adc16(z, BC);
                t += 15;
                break;
            case 0x5A:
                adc16(z, DE);
                t += 15;
                break;
            case 0x6A:
                adc16(z, HL);
                t += 15;
                break;
            case 0x7A:
                adc16(z, SP);
                t += 15;
                break;
            case 0x43:
            case 0x53:
            case 0x63:
            case 0x73: {
                static const uint8_t pair[4] = {offsetof(Z80, bc), offsetof(Z80, de),
                                                offsetof(Z80, hl), offsetof(Z80, sp)};
                addr = FETCH16();
                wr16(z, addr, ((Z80Pair*)((uint8_t*)z + pair[(op >> 4) & 3u]))->w);
                WZ = U16(addr + 1);
                t += 20;
                break;
            }
            case 0x4B:
            case 0x5B:
            case 0x6B:
            case 0x7B: {
                static const uint8_t pair[4] = {offsetof(Z80, bc), offsetof(Z80, de),
                                                offsetof(Z80, hl), offsetof(Z80, sp)};
                addr = FETCH16();
                ((Z80Pair*)((uint8_t*)z + pair[(op >> 4) & 3u]))->w = U16(rd16(z, addr));
                WZ = U16(addr + 1);
                t += 20;
                break;
            }
            case 0x44:
            case 0x4C:
            case 0x54:
            case 0x5C:
            case 0x64:
            case 0x6C:
            case 0x74:
            case 0x7C:
                v = A;
                A = 0;
                alu_sub(z, v, 0);
                t += 8;
                break;
            case 0x45:
            case 0x4D:
            case 0x55:
            case 0x5D:
            case 0x65:
            case 0x6D:
            case 0x75:
            case 0x7D:
                /* RETN and RETI both copy IFF2 to IFF1. */
                z->iff1 = z->iff2;
                pc = pop16(z);
                WZ = U16(pc);
                t += 14;
                break;
            case 0x46:
            case 0x4E:
            case 0x66:
            case 0x6E:
                z->im = 0;
                t += 8;
                break;
            case 0x56:
            case 0x76:
                z->im = 1;
                t += 8;
                break;
            case 0x5E:
            case 0x7E:
                z->im = 2;
                t += 8;
                break;
            case 0x47:
                z->i = A;
                t += 9;
                break;
            case 0x4F:
                z->r = A;
                r = A;
                t += 9;
                break;
            case 0x57:
                A = z->i;
                F = U8((F & FC) | sz53[A] | (z->iff2 ? FV : 0));
                t += 9;
                break;
            case 0x5F:
                A = U8((z->r & 0x80u) | (r & 0x7Fu));
                F = U8((F & FC) | sz53[A] | (z->iff2 ? FV : 0));
                t += 9;
                break;
            case 0x67:
                v = rd8(z, HL);
                wr8(z, HL, ((A << 4) | (v >> 4)) & 0xFFu);
                A = U8((A & 0xF0u) | (v & 0x0Fu));
                F = U8((F & FC) | sz53p[A]);
                WZ = U16(HL + 1);
                t += 18;
                break;
            case 0x6F:
                v = rd8(z, HL);
                wr8(z, HL, ((v << 4) | (A & 0x0Fu)) & 0xFFu);
                A = U8((A & 0xF0u) | (v >> 4));
                F = U8((F & FC) | sz53p[A]);
                WZ = U16(HL + 1);
                t += 18;
                break;
            case 0xA0:
            case 0xA8:
            case 0xB0:
            case 0xB8: { /* LDI LDD LDIR LDDR */
                unsigned step = (op & 8u) ? 0xFFFFu : 1u;
                v = rd8(z, HL);
                wr8(z, DE, v);
                BC = U16(BC - 1);
                DE = U16(DE + step);
                HL = U16(HL + step);
                v += A;
                F = U8((F & (FC | FZ | FS)) | (BC ? FV : 0) | (v & F3) | ((v & 0x02u) << 4));
                t += 16;
                if ((op & 0x10u) && BC) {
                    pc -= 2;
                    WZ = U16(pc + 1);
                    t += 5;
                }
                break;
            }
            case 0xA1:
            case 0xA9:
            case 0xB1:
            case 0xB9: { /* CPI CPD CPIR CPDR */
                unsigned step = (op & 8u) ? 0xFFFFu : 1u;
                unsigned a = A, res;
                v = rd8(z, HL);
                res = a - v;
                HL = U16(HL + step);
                BC = U16(BC - 1);
                WZ = U16(WZ + step);
                F = U8((F & FC) | (BC ? (FV | FN) : FN) | ((a ^ v ^ res) & FH) |
                       ((res & 0xFFu) ? 0 : FZ) | (res & FS));
                if (F & FH)
                    res--;
                F = U8(F | (res & F3) | ((res & 0x02u) << 4));
                t += 16;
                if ((op & 0x10u) && (F & (FV | FZ)) == FV) {
                    pc -= 2;
                    WZ = U16(pc + 1);
                    t += 5;
                }
                break;
            }
            case 0xA2:
            case 0xAA:
            case 0xB2:
            case 0xBA: { /* INI IND INIR INDR */
                unsigned step = (op & 8u) ? 0xFFFFu : 1u;
                unsigned sum;
                v = port_in(z, BC);
                wr8(z, HL, v);
                WZ = U16(BC + step);
                B = U8(B - 1);
                HL = U16(HL + step);
                sum = v + ((C + step) & 0xFFu);
                F = U8(((v & 0x80u) >> 6) | ((sum > 0xFFu) ? (FH | FC) : 0) |
                       (sz53p[(sum & 7u) ^ B] & FP) | sz53[B]);
                t += 16;
                if ((op & 0x10u) && B) {
                    pc -= 2;
                    t += 5;
                }
                break;
            }
            case 0xA3:
            case 0xAB:
            case 0xB3:
            case 0xBB: { /* OUTI OUTD OTIR OTDR */
                unsigned step = (op & 8u) ? 0xFFFFu : 1u;
                unsigned sum;
                v = rd8(z, HL);
                B = U8(B - 1);
                WZ = U16(BC + step);
                port_out(z, BC, v);
                HL = U16(HL + step);
                sum = v + L;
                F = U8(((v & 0x80u) >> 6) | ((sum > 0xFFu) ? (FH | FC) : 0) |
                       (sz53p[(sum & 7u) ^ B] & FP) | sz53[B]);
                t += 16;
                if ((op & 0x10u) && B) {
                    pc -= 2;
                    t += 5;
                }
                break;
            }
            default:
                t += 8;
                break; /* the rest of ED acts as two NOPs */
            }
            break;

        case 0xDD:
            xy = &z->ix;
            goto index_prefix;
        case 0xFD:
            xy = &z->iy;
        index_prefix:
            t += 4;
            op = FETCH();
            r++;
            switch (op) {
            case 0x09:
                xy->w = U16(add16(z, xy->w, BC));
                t += 11;
                break;
            case 0x19:
                xy->w = U16(add16(z, xy->w, DE));
                t += 11;
                break;
            case 0x29:
                xy->w = U16(add16(z, xy->w, xy->w));
                t += 11;
                break;
            case 0x39:
                xy->w = U16(add16(z, xy->w, SP));
                t += 11;
                break;
            case 0x21:
                xy->w = U16(FETCH16());
                t += 10;
                break;
            case 0x22:
                addr = FETCH16();
                wr16(z, addr, xy->w);
                WZ = U16(addr + 1);
                t += 16;
                break;
            case 0x2A:
                addr = FETCH16();
                xy->w = U16(rd16(z, addr));
                WZ = U16(addr + 1);
                t += 16;
                break;
            case 0x23:
                xy->w = U16(xy->w + 1);
                t += 6;
                break;
            case 0x2B:
                xy->w = U16(xy->w - 1);
                t += 6;
                break;
            case 0x24:
                xy->b.h = U8(inc8(z, xy->b.h));
                t += 4;
                break;
            case 0x25:
                xy->b.h = U8(dec8(z, xy->b.h));
                t += 4;
                break;
            case 0x26:
                xy->b.h = U8(FETCH());
                t += 7;
                break;
            case 0x2C:
                xy->b.l = U8(inc8(z, xy->b.l));
                t += 4;
                break;
            case 0x2D:
                xy->b.l = U8(dec8(z, xy->b.l));
                t += 4;
                break;
            case 0x2E:
                xy->b.l = U8(FETCH());
                t += 7;
                break;
#define INDEX_ADDR()                                                                               \
    do {                                                                                           \
        v = FETCH();                                                                               \
        addr = (xy->w + DISP(v)) & 0xFFFFu;                                                        \
        WZ = U16(addr);                                                                            \
    } while (0)
            case 0x34:
                INDEX_ADDR();
                wr8(z, addr, inc8(z, rd8(z, addr)));
                t += 19;
                break;
            case 0x35:
                INDEX_ADDR();
                wr8(z, addr, dec8(z, rd8(z, addr)));
                t += 19;
                break;
            case 0x36:
                INDEX_ADDR();
                wr8(z, addr, FETCH());
                t += 15;
                break;
            /* LD r,IXH / LD r,IXL / LD r,(IX+d) for r = B C D E A */
            case 0x44:
            case 0x4C:
            case 0x54:
            case 0x5C:
            case 0x7C:
                *reg8(z, (op >> 3) & 7u) = xy->b.h;
                t += 4;
                break;
            case 0x45:
            case 0x4D:
            case 0x55:
            case 0x5D:
            case 0x7D:
                *reg8(z, (op >> 3) & 7u) = xy->b.l;
                t += 4;
                break;
            case 0x46:
            case 0x4E:
            case 0x56:
            case 0x5E:
            case 0x66:
            case 0x6E:
            case 0x7E:
                INDEX_ADDR();
                *reg8(z, (op >> 3) & 7u) = U8(rd8(z, addr));
                t += 15;
                break;
            /* LD IXH,r and LD IXL,r: H and L in the source mean IXH and IXL */
            case 0x60:
            case 0x61:
            case 0x62:
            case 0x63:
            case 0x67:
                xy->b.h = *reg8(z, op & 7u);
                t += 4;
                break;
            case 0x64:
                t += 4;
                break;
            case 0x65:
                xy->b.h = xy->b.l;
                t += 4;
                break;
            case 0x68:
            case 0x69:
            case 0x6A:
            case 0x6B:
            case 0x6F:
                xy->b.l = *reg8(z, op & 7u);
                t += 4;
                break;
            case 0x6C:
                xy->b.l = xy->b.h;
                t += 4;
                break;
            case 0x6D:
                t += 4;
                break;
            case 0x70:
            case 0x71:
            case 0x72:
            case 0x73:
            case 0x74:
            case 0x75:
            case 0x77:
                INDEX_ADDR();
                wr8(z, addr, *reg8(z, op & 7u));
                t += 15;
                break;
            case 0x84:
            case 0x8C:
            case 0x94:
            case 0x9C:
            case 0xA4:
            case 0xAC:
            case 0xB4:
            case 0xBC:
                alu_op(z, op, xy->b.h);
                t += 4;
                break;
            case 0x85:
            case 0x8D:
            case 0x95:
            case 0x9D:
            case 0xA5:
            case 0xAD:
            case 0xB5:
            case 0xBD:
                alu_op(z, op, xy->b.l);
                t += 4;
                break;
            case 0x86:
            case 0x8E:
            case 0x96:
            case 0x9E:
            case 0xA6:
            case 0xAE:
            case 0xB6:
            case 0xBE:
                INDEX_ADDR();
                alu_op(z, op, rd8(z, addr));
                t += 15;
                break;
            case 0xE1:
                xy->w = U16(pop16(z));
                t += 10;
                break;
            case 0xE3:
                v = rd16(z, SP);
                wr8(z, (SP + 1u) & 0xFFFFu, xy->b.h);
                wr8(z, SP, xy->b.l);
                xy->w = U16(v);
                WZ = U16(v);
                t += 19;
                break;
            case 0xE5:
                push16(z, xy->w);
                t += 11;
                break;
            case 0xE9:
                pc = xy->w;
                t += 4;
                break;
            case 0xF9:
                SP = xy->w;
                t += 6;
                break;
            case 0xDD:
                xy = &z->ix;
                goto index_prefix;
            case 0xFD:
                xy = &z->iy;
                goto index_prefix;
            case 0xCB:
                /* DD CB d op: the displacement comes before the opcode; neither is an M1 cycle. */
                INDEX_ADDR();
                op = FETCH();
                v = rd8(z, addr);
                if ((op & 0xC0u) == 0x40u) {
                    bit_test(z, op, v, addr >> 8);
                    t += 16;
                } else {
                    v = cb_apply(z, op, v);
                    wr8(z, addr, v);
                    if ((op & 7u) != 6)
                        *reg8(z, op & 7u) = U8(v);
                    t += 19;
                }
                break;
            default:
                /* The prefix had no effect: run the opcode as it stands. */
                goto dispatch;
            }
            break;
        }
    }
    z->pc.w = U16(pc);
    z->tstates = t;
    z->r = U8((z->r & 0x80u) | (r & 0x7Fu));
    return t;
}

/* ---- outside the run loop ---- */

void z80_init(Z80* z) {
    memset(z, 0, sizeof *z);
    z->af.w = 0xFFFF;
    z->af_ = 0xFFFF;
    z->sp.w = 0xFFFF;
    z->ei_tstates = 1;
    for (int page = 0; page < 4; page++)
        z80_map_page(z, page, unmapped_page, NULL);
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
}

void z80_set_io(Z80* z, z80_in_fn in, z80_out_fn out, void* user) {
    z->in = in;
    z->out = out;
    z->io_user = user;
}

int32_t z80_tstates(const Z80* z) {
    return z->tstates;
}

void z80_set_tstates(Z80* z, int32_t t) {
    /* Keep "the last instruction was EI" true or false across the move. */
    z->ei_tstates = z->ei_tstates == z->tstates ? t : t ^ 1;
    z->tstates = t;
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
