/* Results that the GBA-side Z80 test and benchmark images leave in EWRAM for the host harness,
 * which finds the block by its magic. */
#ifndef TAPELOOM_Z80_MAILBOX_H
#define TAPELOOM_Z80_MAILBOX_H

#include <stdint.h>

#define Z80_MAILBOX_MAGIC "Z80MBOX"
#define Z80_MAILBOX_FAILURES 64

/* Bits of a failure record: what differed. */
enum {
    Z80_DIFF_PAIRS = 1u << 0, /* bits 0-12: AF BC DE HL AF' BC' DE' HL' IX IY SP PC MEMPTR */
    Z80_DIFF_I = 1u << 13,
    Z80_DIFF_R = 1u << 14,
    Z80_DIFF_IFF = 1u << 15,
    Z80_DIFF_IM = 1u << 16,
    Z80_DIFF_HALTED = 1u << 17,
    Z80_DIFF_TSTATES = 1u << 18,
    Z80_DIFF_MEMORY = 1u << 19,
};

typedef struct Z80Mailbox {
    char magic[8];
    uint32_t done; /* 1 when the run is over */
    /* instruction vectors */
    uint32_t cases, passed, failed;
    uint32_t failure_case[Z80_MAILBOX_FAILURES];
    uint32_t failure_diff[Z80_MAILBOX_FAILURES];
    /* benchmark */
    uint32_t frames, tstates, cycles, checksum;
    /* bulk block copies (vectors image) */
    uint32_t copies, copies_failed;
    /* code across pages held in separate buffers (vectors image): what differed from one flat
     * buffer (Z80_DIFF_* bits) */
    uint32_t crossing_diff;
    /* port handlers that remap memory, the code's page included (Z80_DIFF_* bits) */
    uint32_t remap_diff;
    /* watched writes on two CPUs with different ranges, run in turn: bit n = step n wrong */
    uint32_t watch_diff;
    /* z80_checks.h, run on the ARM build: the failed steps of each */
    uint32_t io_timing, latch, store_marks, limits, page_end_after_io, in_cache, in_asked;
} Z80Mailbox;

#endif
