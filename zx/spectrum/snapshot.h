/* Snapshot loaders for the 48K and 128K machines: .SNA (48K and 128K) and .Z80 (versions 1, 2
 * and 3). Portable C without allocation: the same source runs on the GBA and in host tests and
 * fuzzers. Every read is checked against the file's size; a file that is not a snapshot of a
 * machine the caller runs is refused with a reason and leaves the outputs in an unspecified but
 * harmless state. */
#ifndef TAPELOOM_SPECTRUM_SNAPSHOT_H
#define TAPELOOM_SPECTRUM_SNAPSHOT_H

#include <stddef.h>
#include <stdint.h>

#include "z80/z80.h"

#ifdef __cplusplus
extern "C" {
#endif

enum {
    SPECTRUM_RAM_SIZE = 0xC000,      /* the 48K's RAM, 0x4000-0xFFFF */
    SPECTRUM_BANK_SIZE = 0x4000,     /* the 128K's RAM banks and ROMs */
    SPECTRUM_128_RAM_SIZE = 0x20000, /* its eight banks */
    SPECTRUM_AY_REGISTERS = 16
};

/* Where bank b (0-7) of the 128K lies in its RAM: banks 5, 2 and 0 come first, in the order in
 * which the 48K and a 128K at power-on show them at 0x4000, 0x8000 and 0xC000, so the first
 * 48 KiB are a 48K's RAM (a 48K snapshot loads there); then banks 1, 3, 4, 6 and 7. */
static inline uint32_t spectrum_bank_offset(unsigned bank) {
    return ((0x76054132u >> (4 * (bank & 7))) & 0xFu) * 0x4000u; /* SPECTRUM_BANK_SIZE */
}

typedef enum SpectrumModel { SPECTRUM_48K = 0, SPECTRUM_128K = 1 } SpectrumModel;

/* The most bytes a snapshot can hold: a .Z80 with every page the format numbers (0 to 18), each
 * stored plain, behind the longest header; every .SNA is smaller. The loaders read no further,
 * and walk no more pages than the format numbers: a caller that cannot tell where the file
 * ends (the cartridge's last entry) may pass more, and the load still ends at once. */
enum {
    SNAPSHOT_MOST_PAGES = 19,
    SNAPSHOT_LARGEST = 30 + 2 + 55 + SNAPSHOT_MOST_PAGES * (3 + 0x4000)
};

typedef enum SnapshotKind { SNAPSHOT_SNA = 0, SNAPSHOT_Z80 = 1 } SnapshotKind;

typedef enum SnapshotResult {
    SNAPSHOT_OK = 0,
    SNAPSHOT_NOT_A_SNAPSHOT, /* wrong size, truncated header or data */
    SNAPSHOT_128K,           /* a 128K snapshot, and the caller runs only the 48K */
    SNAPSHOT_OTHER_MACHINE,  /* a snapshot of hardware other than a 48K or 128K Spectrum */
    SNAPSHOT_CORRUPT,        /* compressed data that does not expand to the memory it claims */
    SNAPSHOT_PLUS3,          /* a +2A/+3 snapshot: that paging is not emulated */
    SNAPSHOT_TRDOS           /* a 128K .SNA taken with the TR-DOS disk ROM paged in */
} SnapshotResult;

/* What a loaded snapshot sets up besides the RAM. */
typedef struct SnapshotState {
    Z80Regs regs;
    uint8_t border;                         /* 0-7 */
    uint8_t model;                          /* SpectrumModel: the machine to run it on */
    uint8_t port_7ffd;                      /* 128K: the last byte written to the paging port */
    uint8_t ay_selected;                    /* 128K: the AY's register latch (a .SNA has none: 0) */
    uint8_t ay_regs[SPECTRUM_AY_REGISTERS]; /* 128K: the AY's registers (a .SNA: 0) */
} SnapshotState;

/* Loads `size` bytes at `data` as `kind` for the 48K machine alone (at most SNAPSHOT_LARGEST of
 * them are read): ram receives the 48 KiB from 0x4000 on, and a 128K snapshot gives
 * SNAPSHOT_128K. rom (16 KiB, may be NULL: reads as 0xFF) is only read when a 48K .SNA's stack
 * pointer points into it. */
SnapshotResult snapshot_load(const uint8_t* data, size_t size, SnapshotKind kind,
                             const uint8_t* rom, uint8_t* ram, SnapshotState* state);

/* The same for a caller that runs the 128K too: ram holds SPECTRUM_128_RAM_SIZE bytes, eight
 * banks at spectrum_bank_offset(). A 48K snapshot fills the first 48 KiB and leaves the rest
 * alone; state->model tells which machine the snapshot is for. */
SnapshotResult snapshot_load_128(const uint8_t* data, size_t size, SnapshotKind kind,
                                 const uint8_t* rom, uint8_t* ram, SnapshotState* state);

enum { SNAPSHOT_SCREEN_SIZE = 6912 }; /* bitmap and attributes, from 0x4000 */

/* Reads only the screen a snapshot holds (for a preview), without the rest of its memory: from
 * a .SNA of any size that has it, or the memory at 0x4000 (page 8) of a .Z80 of any version and
 * machine. Bytes a damaged file does not hold are 0. Like the loader it reads at most
 * SNAPSHOT_LARGEST bytes and walks no more pages than the format numbers. Returns SNAPSHOT_OK, or
 * why there is no screen to show. */
SnapshotResult snapshot_read_screen(const uint8_t* data, size_t size, SnapshotKind kind,
                                    uint8_t screen[SNAPSHOT_SCREEN_SIZE]);

/* A short text for the screen, at most 28 characters per line, lines split by '\n'. */
const char* snapshot_result_text(SnapshotResult result);

#ifdef __cplusplus
}
#endif

#endif
