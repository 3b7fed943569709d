/* The table the packer appends to the image, read where it lies in the cartridge.
 *
 * Catalogue form: 32-byte entry records, ended by an all-zero record, then the snapshots.
 * Plug-in form: 42-byte key records, the first named "<POGOSHELL>" (the default keys), ended by
 * one zero byte; the snapshot comes from Pogoshell's argument block in EWRAM.
 *
 * There is no count: the walk stops at the end record. Past the data, real hardware reads
 * open-bus garbage, so every record is checked for plausibility and the walk is bounded. */
#ifndef TAPELOOM_CATALOGUE_H
#define TAPELOOM_CATALOGUE_H

#include "gba.h"

#define TPL_KEY_SLOTS 10      /* A, B, Select, Start, Right, Left, Up, Down, R, L */
#define TPL_MAX_KEY_CODE 45   /* 1-40 Spectrum keys, 41-45 Kempston right/left/down/up/fire */
#define TPL_MAX_ENTRIES 16384 /* more than a 32 MiB cartridge can usefully hold */
#define TPL_MAX_KEY_RECORDS 16384
#define TPL_SIZE_UNKNOWN 0xFFFFFFFFu

enum TplKind { TPL_KIND_SNA = 0, TPL_KIND_Z80 = 1 };

/* One entry record, laid over the cartridge (the table starts word aligned, at __image_end). */
typedef struct {
    char name[15];   /* display name, space padded, single-byte text */
    u8 name_end;     /* 0x00 */
    u32 data_offset; /* snapshot's first byte, counted from the table's first byte */
    u8 kind;         /* enum TplKind */
    u8 reserved;     /* 0x00 */
    u8 keys[TPL_KEY_SLOTS];
} TplEntry;

/* One key record of the plug-in form (42 bytes, byte aligned). */
typedef struct {
    char name[31]; /* lower-case section name, space padded */
    u8 name_end;   /* 0x00 */
    u8 keys[TPL_KEY_SLOTS];
} TplKeyRecord;

enum TplForm {
    TPL_FORM_NONE = 0,      /* nothing readable after the image */
    TPL_FORM_CATALOGUE = 1, /* entry records (possibly none: just the end record) */
    TPL_FORM_PLUGIN = 2,    /* "<POGOSHELL>" key table */
};

enum TplTableStatus {
    TPL_TABLE_OK = 0,
    TPL_TABLE_NO_END = 1,      /* walk stopped at an implausible record or at the bound */
    TPL_TABLE_BAD_OFFSETS = 2, /* end record found, but the data offsets do not fit the table */
};

/* What Pogoshell left in EWRAM when it started the plug-in. */
typedef struct {
    int present;              /* magic 0xFAB0BABE found at 0x0203FC00 */
    u32 argc;                 /* as Pogoshell wrote it: arguments + 1 */
    char path[128];           /* the opened file (second string), cut to fit */
    char base[32];            /* its name without folder and extension, lower case */
    int kind;                 /* enum TplKind, from the extension (".sna" in any case: SNA) */
    const u8* data;           /* the file in cartridge space, NULL when implausible */
    u32 size;                 /* its size in bytes */
    const TplKeyRecord* keys; /* record whose name matches base, else the head record */
    int key_index;            /* index of that record after the head record, -1 = head */
} TplPogoshellArgs;

typedef struct {
    int form;   /* enum TplForm */
    int status; /* enum TplTableStatus */
    const u8* table;
    const TplEntry* entries;
    int entry_count;
    const TplKeyRecord* head;        /* plug-in form: the "<POGOSHELL>" record */
    const TplKeyRecord* key_records; /* plug-in form: the records after the head */
    int key_record_count;
    TplPogoshellArgs pogoshell;
} TplCatalogue;

/* Reads the table after the image and Pogoshell's argument block. Call once at start-up,
 * before anything writes EWRAM at 0x0203FBF8 or above. */
void tpl_catalogue_scan(TplCatalogue* out);
/* The result of the last scan. */
const TplCatalogue* tpl_catalogue(void);
const TplEntry* tpl_entries(int* count);

/* The snapshot of entry `index` in cartridge space, and its size (TPL_SIZE_UNKNOWN for the
 * last entry: nothing in the table says where it ends). */
const u8* tpl_entry_data(int index);
u32 tpl_entry_size(int index);

/* Display text of a key code ("SYM SHIFT", "JOY FIRE", "-" for none, "?" beyond 45). */
const char* tpl_key_name(u8 code);

/* The scan itself, on any memory: `table` the first byte after the image, `limit` the first
 * byte that may not be read, `pogoshell` the argument area (0x0203FBF8: size, address, magic,
 * argc, strings up to 0x02040000; 1032 bytes). */
void tpl_catalogue_scan_at(TplCatalogue* out, const u8* table, const u8* limit,
                           const u8* pogoshell);

#endif
