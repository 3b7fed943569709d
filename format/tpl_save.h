/* The cartridge's save memory: 128 KiB of flash (the image carries the ID string "FLASH1M_V103",
 * by which flash cartridges and emulators pick the save type), 32 sectors of 4 KiB that are
 * erased as a whole (to 0xFF) and programmed byte by byte. Plain C, for the cartridge (gba/save)
 * and for any desktop reader of a save file (the .sav an emulator or flash cartridge keeps).
 * Numbers are little-endian; docs/save-memory.md tells the story.
 *
 * Sector 0: settings, a log of 16-byte records written one after another into the erased sector
 * (the last valid record of a kind wins; a full sector is erased and the log starts again).
 * Sectors 1-31: the state pool. A save state takes as many sectors as it needs, in any order:
 * its first sector opens with a state header that lists them, the state follows the header and
 * goes on at the start of each next listed sector. Each slot's newest state (by generation) is
 * the one that counts; a new state goes into free sectors before the old one is given up (its
 * header's mark is programmed to zero), so a save cut short by power loss leaves the old one.
 * The state itself is a machine state (zx/spectrum/machine_state.h) with its own checksum. */
#ifndef TAPELOOM_TPL_SAVE_H
#define TAPELOOM_TPL_SAVE_H

#include <stdint.h>

#define TPL_SAVE_TYPE_ID "FLASH1M_V103"
#define TPL_SAVE_SIZE 0x20000u
#define TPL_SAVE_SECTOR_SIZE 0x1000u
#define TPL_SAVE_SECTORS 32
#define TPL_SAVE_SETTINGS_SECTOR 0
#define TPL_SAVE_FIRST_STATE_SECTOR 1
#define TPL_SAVE_STATE_SECTORS (TPL_SAVE_SECTORS - TPL_SAVE_FIRST_STATE_SECTOR)
#define TPL_SAVE_SLOTS 4

/* Settings record. */
#define TPL_SETTINGS_RECORD_SIZE 16
#define TPL_SETTINGS_MAGIC 0x52534C54u /* "TLSR" */
#define TPL_SETTINGS_LAST_PLAYED 1     /* kind: the entry started last */
/* 0 u32 magic, 4 u16 kind, 6 u16 entry index, 8 u32 entry identity, 12 u32 CRC-32 of 0-11 */

/* State header. */
#define TPL_STATE_HEADER_SIZE 80
#define TPL_STATE_MAGIC 0x53534C54u /* "TLSS" */
#define TPL_STATE_HEADER_VERSION 1
#define TPL_STATE_NAME_LENGTH 16 /* the entry's display name, 0-terminated */
#define TPL_STATE_MAX_SECTORS 32
#define TPL_STATE_NO_SECTOR 0xFF
typedef struct TplStateHeader {
    uint32_t magic;   /* TPL_STATE_MAGIC; 0 once a newer state replaced this one */
    uint16_t version; /* TPL_STATE_HEADER_VERSION */
    uint8_t slot;     /* 0 to TPL_SAVE_SLOTS - 1 */
    uint8_t sector_count;
    uint32_t generation;  /* one more than the newest state in the memory when written */
    uint32_t length;      /* bytes of the state after the header */
    uint32_t entry_id;    /* the entry the state belongs to (see below) */
    uint16_t entry_index; /* its place in the catalogue, from 0, for messages */
    uint16_t reserved;    /* 0 */
    char name[TPL_STATE_NAME_LENGTH];
    uint8_t sectors[TPL_STATE_MAX_SECTORS]; /* in order, the first is the header's own; rest 0xFF */
    uint32_t reserved2;                     /* 0 */
    uint32_t crc;                           /* CRC-32 of the 76 bytes before */
} TplStateHeader;

#ifdef __cplusplus
static_assert(sizeof(TplStateHeader) == TPL_STATE_HEADER_SIZE, "state header layout");
#else
_Static_assert(sizeof(TplStateHeader) == TPL_STATE_HEADER_SIZE, "state header layout");
#endif

/* An entry's identity: CRC-32 of its 15-byte display name as the entry record holds it, its kind
 * byte and the first TPL_ENTRY_ID_BYTES bytes of its snapshot (every snapshot has that many), in
 * this order. A state is only loaded into the entry of the same identity, so a cartridge built
 * again with other snapshots does not load a state into the wrong game. */
#define TPL_ENTRY_ID_BYTES 256u

#endif
