/* The table the packer appends to the image (format/tpl_format.h), read where it lies in the
 * cartridge, and Pogoshell's argument block.
 *
 * There is no count: the walk stops at the end record. Past the data, real hardware reads
 * open-bus garbage, so every record is checked for plausibility and the walk is bounded. */
#ifndef TAPELOOM_CATALOGUE_H
#define TAPELOOM_CATALOGUE_H

#include "hw/gba.h"
#include "tpl_format.h"

#define TPL_MAX_ENTRIES 16384 /* more than a 32 MiB cartridge can usefully hold */
#define TPL_MAX_KEY_RECORDS 16384

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
    int present;              /* POGOSHELL_MAGIC found at POGOSHELL_BLOCK_ADDRESS */
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
    u32 last_size;            /* the last entry's size from the end record, else TPL_SIZE_UNKNOWN */
    const TplKeyRecord* head; /* plug-in form: the "<POGOSHELL>" record */
    const TplKeyRecord* key_records; /* plug-in form: the records after the head */
    int key_record_count;
    TplPogoshellArgs pogoshell;
} TplCatalogue;

/* Reads the table after the image and Pogoshell's argument block. Call once at start-up,
 * before anything writes EWRAM at POGOSHELL_ARGS_ADDRESS or above. */
void tpl_catalogue_scan(TplCatalogue* out);
/* The result of the last scan. */
const TplCatalogue* tpl_catalogue(void);
const TplEntry* tpl_entries(int* count);

/* The snapshot of entry `index` in cartridge space, and its size (TPL_SIZE_UNKNOWN for the
 * last entry unless the end record gives it: TPL_END_LAST_SIZE). */
const u8* tpl_entry_data(int index);
u32 tpl_entry_size(int index);

/* The identity of entry `index` that save states and the remembered entry carry (defined in
 * format/tpl_save.h); 0 for no entry. */
u32 tpl_entry_identity(int index);

/* Display text of a key code: its name ("SYM SHIFT", "JOY FIRE"), "-" for none, "?" beyond. */
const char* tpl_key_text(u8 code);

/* The scan itself, on any memory: `table` the first byte after the image, `limit` the first
 * byte that may not be read, `pogoshell` the argument area (at POGOSHELL_ARGS_ADDRESS: size,
 * address, magic, argc, strings up to the end of EWRAM; 1032 bytes). */
void tpl_catalogue_scan_at(TplCatalogue* out, const u8* table, const u8* limit,
                           const u8* pogoshell);

#endif
