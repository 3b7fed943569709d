/* Save states and settings in the cartridge's save memory (format/tpl_save.h): which slot holds
 * what, where a new state goes, reading a state back, and the settings log. Portable C over a
 * medium with the flash chip's three operations, so that host tests and fuzzers run the same
 * code on a simulated chip and on damaged images. */
#ifndef TAPELOOM_SAVE_STORE_H
#define TAPELOOM_SAVE_STORE_H

#include <stdint.h>

#include "tpl_save.h"

#ifdef __cplusplus
extern "C" {
#endif

/* The save memory as the store sees it. Offsets are bytes from its start. */
typedef struct SaveMedium {
    void (*read)(void* context, uint32_t offset, uint8_t* out, uint32_t size);
    /* Erases the sector to 0xFF; 0 when the chip did not finish. */
    int (*erase)(void* context, uint32_t sector);
    /* Programs bytes of an erased area; 0 when the chip did not take them. */
    int (*program)(void* context, uint32_t offset, const uint8_t* data, uint32_t size);
    void* context;
} SaveMedium;

/* The entry a state belongs to. */
typedef struct SaveOwner {
    uint32_t entry_id; /* format/tpl_save.h: the identity of the entry */
    uint16_t entry_index;
    char name[TPL_STATE_NAME_LENGTH];
} SaveOwner;

enum SaveSlotStatus {
    SAVE_SLOT_EMPTY = 0,
    SAVE_SLOT_USED = 1,
    SAVE_SLOT_DAMAGED = 2 /* a header of this slot whose checksum is wrong, and no good one */
};

typedef struct SaveSlot {
    int status; /* enum SaveSlotStatus */
    SaveOwner owner;
    uint32_t length; /* bytes of the state */
    uint32_t generation;
    int sector_count;
    uint8_t sectors[TPL_STATE_MAX_SECTORS];
} SaveSlot;

typedef struct SaveDirectory {
    SaveSlot slots[TPL_SAVE_SLOTS];
    uint32_t newest_generation;
    int damaged_headers; /* state headers with a mark but a wrong checksum */
} SaveDirectory;

/* Reads the state headers of the pool. */
void save_store_scan(const SaveMedium* medium, SaveDirectory* dir);

/* Bytes a new state of `slot` can take at most: the free pool plus the slot's old state. */
uint32_t save_store_room(const SaveDirectory* dir, int slot);

enum SaveWriteResult {
    SAVE_WRITE_OK = 0,
    SAVE_WRITE_NO_ROOM = 1, /* nothing was changed */
    SAVE_WRITE_FAILED = 2 /* the chip did not erase or program; the slot's old state may be lost */
};

/* Stores `length` bytes of state as the new state of `slot` and updates `dir`. Uses free
 * sectors first, so that the old state stays whole until the new one is; takes the old state's
 * sectors only when the free ones are too few. */
int save_store_write(const SaveMedium* medium, SaveDirectory* dir, int slot, const SaveOwner* owner,
                     const uint8_t* state, uint32_t length);

/* The same in pieces, for a state written as it is made: save_store_begin checks the room (and
 * changes nothing), save_store_put takes the state's bytes in order and writes them to their
 * sectors, save_store_finish writes the header (the state exists from then on), gives up the old
 * state and updates the directory. Results as save_store_write's (SAVE_WRITE_FAILED also when
 * fewer or more bytes came than announced). */
typedef struct SaveStream {
    const SaveMedium* medium;
    SaveDirectory* dir;
    SaveOwner owner;
    TplStateHeader header;
    uint32_t done;
    int failed;
} SaveStream;
int save_store_begin(const SaveMedium* medium, SaveDirectory* dir, int slot, const SaveOwner* owner,
                     uint32_t length, SaveStream* stream);
int save_store_put(SaveStream* stream, const uint8_t* data, uint32_t size); /* 0: failed */
int save_store_finish(SaveStream* stream);

/* `size` bytes of the state of `slot` (a used one, dir's), from byte `at` of it. */
void save_store_read_at(const SaveMedium* medium, const SaveDirectory* dir, int slot, uint32_t at,
                        uint8_t* out, uint32_t size);

/* Copies the state of `slot` into out; returns its length, 0 when the slot holds none or it is
 * longer than `capacity`. The state's own checksum is the caller's to check. */
uint32_t save_store_read(const SaveMedium* medium, const SaveDirectory* dir, int slot, uint8_t* out,
                         uint32_t capacity);

/* The entry started last, from the settings log: 1 when a valid record was found. */
int save_settings_last_played(const SaveMedium* medium, uint16_t* entry_index, uint32_t* entry_id);
/* Appends a record (nothing when the last one says the same); 0 when the chip failed. */
int save_settings_set_last_played(const SaveMedium* medium, uint16_t entry_index,
                                  uint32_t entry_id);

#ifdef __cplusplus
}
#endif

#endif
