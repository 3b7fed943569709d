/* Snapshot loaders for the 48K machine: .SNA and .Z80 (versions 1, 2 and 3).
 * Portable C without allocation: the same source runs on the GBA and in host tests and fuzzers.
 * Every read is checked against the file's size; a file that is not a 48K snapshot is refused
 * with a reason and leaves the outputs in an unspecified but harmless state. */
#ifndef TAPELOOM_SPECTRUM_SNAPSHOT_H
#define TAPELOOM_SPECTRUM_SNAPSHOT_H

#include <stddef.h>
#include <stdint.h>

#include "z80/z80.h"

#ifdef __cplusplus
extern "C" {
#endif

enum { SPECTRUM_RAM_SIZE = 0xC000 }; /* 0x4000-0xFFFF */

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
    SNAPSHOT_128K,           /* a snapshot of a 128K (or later) machine */
    SNAPSHOT_OTHER_MACHINE,  /* a snapshot of hardware other than a 48K Spectrum */
    SNAPSHOT_CORRUPT         /* compressed data that does not expand to the memory it claims */
} SnapshotResult;

/* What a loaded snapshot sets up besides the RAM. */
typedef struct SnapshotState {
    Z80Regs regs;
    uint8_t border; /* 0-7 */
} SnapshotState;

/* Loads `size` bytes at `data` as `kind` (at most SNAPSHOT_LARGEST of them are read). ram
 * receives the 48 KiB from 0x4000 on; rom (16 KiB, may be NULL: reads as 0xFF) is only read when a
 * .SNA's stack pointer points into it. */
SnapshotResult snapshot_load(const uint8_t* data, size_t size, SnapshotKind kind,
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
