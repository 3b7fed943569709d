/* Save states of the Spectrum: the whole machine between two frames (RAM, CPU registers, ports,
 * the beeper's level, the position in the frame) as a compact, checked byte string that a front
 * end stores where it likes, and that restores the machine so that it goes on exactly as it
 * would have. Portable C without allocation, the same on the GBA and the desktop.
 *
 * Layout (numbers little-endian):
 *   0   "ZXST"
 *   4   u16 format version (MACHINE_STATE_VERSION)
 *   6   u16 machine kind (enum MachineKind)
 *   8   u32 length of the whole state, this header and the checksum included
 *   12  sections: u32 tag (four ASCII characters), u32 payload length, payload
 *   end u32 CRC-32 (the zlib one) of every byte before it
 * Sections of the 48K machine:
 *   "Z80R" 38 bytes: AF BC DE HL AF' BC' DE' HL' IX IY SP PC WZ (u16 each), I, R, IFF1, IFF2, IM,
 *          halted, flags (bit 0: the last instruction was EI), 0, then the T-state in the
 *          frame (i32)
 *   "ULA " 16 bytes: border, the last byte written to port 0xFE, EAR input (enum SpectrumEar,
 *          signed), beeper level at the frame's start, 0 (read as nothing), inside a frame
 *          (0 between frames), beeper edges the last frame's final OUT dated into the next
 *          frame (0 or 1, only between frames), that edge's T-state in the next frame, then
 *          frames run (u32) and interrupts accepted (u32)
 *   "RAM " one per 16 KiB page: u32 Spectrum address of the page, u32 its size (16384), u8 method
 *          (1: compress.h's LZ), 3 zero bytes, then the compressed page
 * Sections of the 128K machine (kind 2), after "Z80R" and "ULA " as above:
 *   "PAGE" 4 bytes: the last byte port 0x7FFD took (its lock included), 3 zero bytes
 *   "AY  " the sound chip as ay_state_write puts it (registers, generators, queued writes)
 *   "BANK" one per RAM bank 0-7: u32 bank, u32 its size (16384), u8 method (1), 3 zero bytes,
 *          then the compressed bank
 * A reader skips sections it does not know, so later versions may add some without breaking
 * older readers. */
#ifndef TAPELOOM_SPECTRUM_MACHINE_STATE_H
#define TAPELOOM_SPECTRUM_MACHINE_STATE_H

#include <stddef.h>
#include <stdint.h>

#include "spectrum/compress.h"
#include "spectrum/machine.h"

#ifdef __cplusplus
extern "C" {
#endif

enum {
    MACHINE_STATE_VERSION = 1,
    MACHINE_STATE_HEADER = 12,
    MACHINE_STATE_PAGE = 0x4000,
    MACHINE_STATE_Z80_SECTION = 38,
    MACHINE_STATE_ULA_SECTION = 16,
    MACHINE_STATE_RAM_HEADER = 12,
    MACHINE_STATE_PAGING_SECTION = 4,
    MACHINE_STATE_128K_BANKS = 8
};

enum MachineKind { MACHINE_KIND_48K = 1, MACHINE_KIND_128K = 2 };

/* The most a 48K state can take (all of RAM incompressible). */
#define MACHINE_STATE_MAX_48K                                                                      \
    (MACHINE_STATE_HEADER + 8 + MACHINE_STATE_Z80_SECTION + 8 + MACHINE_STATE_ULA_SECTION +        \
     3 * (8 + MACHINE_STATE_RAM_HEADER + LZ_BOUND(MACHINE_STATE_PAGE)) + 4)

/* Room for one compressed bank, or the AY's section, while a 128K state streams. */
#define MACHINE_STATE_BANK_BUFFER LZ_BOUND(MACHINE_STATE_PAGE)

/* The most a 128K state can take (every bank incompressible, the AY's queue full). */
#define MACHINE_STATE_MAX_128K                                                                     \
    (MACHINE_STATE_HEADER + 8 + MACHINE_STATE_Z80_SECTION + 8 + MACHINE_STATE_ULA_SECTION + 8 +    \
     MACHINE_STATE_PAGING_SECTION + 8 + 92 + 4 * AY_QUEUE_SIZE +                                   \
     MACHINE_STATE_128K_BANKS * (8 + MACHINE_STATE_RAM_HEADER + MACHINE_STATE_BANK_BUFFER) + 4)

typedef enum MachineStateResult {
    MACHINE_STATE_OK = 0,
    MACHINE_STATE_NOT_A_STATE,   /* no state's mark at the start (blank or other data) */
    MACHINE_STATE_DAMAGED,       /* the checksum or the structure is wrong */
    MACHINE_STATE_NEWER_FORMAT,  /* written by a later version of the format */
    MACHINE_STATE_OTHER_MACHINE, /* a state of another kind of Spectrum */
    MACHINE_STATE_NO_ROOM        /* writing: the output is too small */
} MachineStateResult;

/* Writes the state of a 48K `s` (between frames) into out; returns its length, 0 when it does not
 * fit into `capacity` (MACHINE_STATE_MAX_48K always does) or `s` runs as a 128K (whose states
 * machine_state_stream writes). */
size_t machine_state_write(const Spectrum* s, uint8_t* out, size_t capacity, LzWork* work);

/* The length a state at `in` declares (0 unless its header is readable and plausible). */
uint32_t machine_state_length(const uint8_t* in, size_t size);

/* Checks a 48K's state completely (mark, version, kind, length, checksum, every section, the
 * compressed pages) without touching any machine. `size` may exceed the state's length. (A
 * 128K's is checked whole by machine_state_load before anything changes.) */
MachineStateResult machine_state_check(const uint8_t* in, size_t size);

/* Checks the state, then restores `s` (set up by spectrum_init or spectrum_init_128, running
 * as the machine the state is of: MACHINE_STATE_OTHER_MACHINE otherwise) from it: RAM, CPU,
 * ports and frame position; every screen row counts as changed. On any failure `s` is left as
 * it was. */
MachineStateResult machine_state_load(Spectrum* s, const uint8_t* in, size_t size);

/* A 128K's state is written and read in pieces, so that no buffer of its size is needed. */
typedef struct MachineStateSink {
    int (*write)(void* context, const uint8_t* data, uint32_t size); /* 0: failed */
    void* context;
} MachineStateSink;

/* A state's bytes: in memory (`data`), or read piece by piece through `read`. */
typedef struct MachineStateSource {
    const uint8_t* data;
    void (*read)(void* context, uint32_t offset, uint8_t* out, uint32_t size);
    void* context;
    uint32_t size;
} MachineStateSource;

typedef struct MachineStateScratch {
    LzWork lz;
    uint8_t bank[MACHINE_STATE_BANK_BUFFER];
} MachineStateScratch;

/* The state of `s`, a 128K between frames or inside one. With sink NULL nothing is written and
 * the state's length is returned (a dry run: the banks are compressed to count them). With a
 * sink, the state of that `length` (the dry run's: the machine must not have run since) goes
 * out in pieces; returns the length, or 0 when the sink failed or the length came out other.
 * Returns 0 for a machine running as a 48K (machine_state_write is its writer). */
size_t machine_state_stream(const Spectrum* s, uint32_t length, const MachineStateSink* sink,
                            MachineStateScratch* scratch);

/* machine_state_load from a source. A 128K's state is checked whole first (checksum, sections,
 * every bank expanded without writing it), then read a second time into the machine; `buffer`
 * (MACHINE_STATE_BANK_BUFFER bytes) holds a piece at a time and is not needed for a source in
 * memory. A 48K machine needs a source in memory. */
MachineStateResult machine_state_load_from(Spectrum* s, const MachineStateSource* source,
                                           uint8_t* buffer);

/* A short text for the screen, at most 28 characters per line, lines split by '\n'. */
const char* machine_state_result_text(MachineStateResult result);

/* CRC-32 as zlib's crc32(): start with crc 0, feed the bytes in any number of pieces. */
uint32_t zx_crc32(uint32_t crc, const uint8_t* data, size_t size);

#ifdef __cplusplus
}
#endif

#endif
