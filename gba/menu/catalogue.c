#include "menu/catalogue.h"

#include <string.h>

#include "spectrum/machine_state.h" /* zx_crc32 */
#include "state_blocks.h"
#include "tpl_save.h"

#define CARTRIDGE_START ((const u8*)MEM_ROM)
#define CARTRIDGE_END ((const u8*)MEM_ROM_END)
#define POGOSHELL_AREA_SIZE (MEM_EWRAM + MEM_EWRAM_SIZE - POGOSHELL_ARGS_ADDRESS)
#define POGOSHELL_MAGIC_OFFSET (POGOSHELL_BLOCK_ADDRESS - POGOSHELL_ARGS_ADDRESS)

/* The first byte after the image (boot/gba.ld.in): where the packer's table starts. */
extern const u8 __image_end[];

static TplCatalogue catalogue;

static u32 read_le32(const u8* p) {
    return (u32)p[0] | (u32)p[1] << 8 | (u32)p[2] << 16 | (u32)p[3] << 24;
}

static int all_zero(const u8* p, int n) {
    for (int i = 0; i < n; ++i)
        if (p[i])
            return 0;
    return 1;
}

static int plausible_name(const u8* p, int n) {
    for (int i = 0; i < n; ++i)
        if (p[i] < 0x20)
            return 0;
    return 1;
}

static int plausible_keys(const u8* p) {
    for (int i = 0; i < TPL_KEY_SLOTS; ++i)
        if (p[i] > TPL_KEY_MAX)
            return 0;
    return 1;
}

/* An entry record the packer could have written as record `index`, after `previous` offset. */
static int plausible_entry(const u8* r, int index, u32 previous) {
    u32 offset = read_le32(r + TPL_ENTRY_DATA_OFFSET);
    return plausible_name(r, TPL_ENTRY_NAME_LENGTH) && r[TPL_ENTRY_NAME_LENGTH] == 0 &&
           r[TPL_ENTRY_KIND] <= TPL_KIND_Z80 && r[TPL_ENTRY_RESERVED] == 0 &&
           plausible_keys(r + TPL_ENTRY_KEYS) && offset >= (u32)(index + 2) * TPL_ENTRY_SIZE &&
           offset >= previous && offset < (u32)(CARTRIDGE_END - CARTRIDGE_START);
}

/* The end record: zeros, but for the last entry's size where an entry has its data offset. */
static int end_record(const u8* r) {
    return all_zero(r, TPL_END_LAST_SIZE) &&
           all_zero(r + TPL_END_LAST_SIZE + 4, TPL_ENTRY_SIZE - TPL_END_LAST_SIZE - 4);
}

static void scan_entries(TplCatalogue* c, const u8* limit) {
    u32 previous = 0;
    int n = 0;
    c->form = TPL_FORM_CATALOGUE;
    c->status = TPL_TABLE_NO_END;
    for (; n < TPL_MAX_ENTRIES; ++n) {
        const u8* r = c->table + n * TPL_ENTRY_SIZE;
        if (r + TPL_ENTRY_SIZE > limit)
            break;
        if (end_record(r)) {
            u32 size = read_le32(r + TPL_END_LAST_SIZE);
            c->last_size = n > 0 && size ? size : TPL_SIZE_UNKNOWN;
            c->status = TPL_TABLE_OK;
            break;
        }
        if (!plausible_entry(r, n, previous))
            break;
        previous = read_le32(r + TPL_ENTRY_DATA_OFFSET);
    }
    c->entry_count = n;
    if (n == 0 && c->status != TPL_TABLE_OK) {
        c->form = TPL_FORM_NONE;
        return;
    }
    c->entries = (const TplEntry*)c->table;
    if (c->status == TPL_TABLE_OK && n > 0 &&
        read_le32(c->table + TPL_ENTRY_DATA_OFFSET) != (u32)(n + 1) * TPL_ENTRY_SIZE)
        c->status = TPL_TABLE_BAD_OFFSETS;
}

static void scan_key_records(TplCatalogue* c, const u8* limit) {
    int n = 0;
    c->form = TPL_FORM_PLUGIN;
    c->status = TPL_TABLE_NO_END;
    c->head = (const TplKeyRecord*)c->table;
    c->key_records = (const TplKeyRecord*)(c->table + TPL_KEY_RECORD_SIZE);
    for (; n < TPL_MAX_KEY_RECORDS; ++n) {
        const u8* r = c->table + (n + 1) * TPL_KEY_RECORD_SIZE;
        if (r >= limit)
            break;
        if (r[0] == 0) {
            c->status = TPL_TABLE_OK;
            break;
        }
        if (r + TPL_KEY_RECORD_SIZE > limit || !plausible_name(r, TPL_KEY_RECORD_NAME_LENGTH) ||
            r[TPL_KEY_RECORD_NAME_LENGTH] != 0 || !plausible_keys(r + TPL_KEY_RECORD_KEYS))
            break;
    }
    c->key_record_count = n;
}

/* The plug-in form opens with the "<POGOSHELL>" key record, its name padded with spaces. */
static int is_plugin_head(const u8* r) {
    static const char head[] = TPL_PLUGIN_HEAD_NAME;
    for (int i = 0; i < TPL_KEY_RECORD_NAME_LENGTH; ++i)
        if (r[i] != (i < (int)sizeof head - 1 ? (u8)head[i] : (u8)' '))
            return 0;
    return r[TPL_KEY_RECORD_NAME_LENGTH] == 0;
}

static char ascii_lower(char ch) {
    return ch >= 'A' && ch <= 'Z' ? (char)(ch + 32) : ch;
}

/* Finds the key record for the opened file: its base name, padded as the packer pads. */
static void match_key_record(TplCatalogue* c) {
    TplPogoshellArgs* p = &c->pogoshell;
    char padded[TPL_KEY_RECORD_NAME_LENGTH];
    memset(padded, ' ', sizeof padded);
    size_t length = strlen(p->base);
    memcpy(padded, p->base, length < sizeof padded ? length : sizeof padded);
    p->keys = c->head;
    p->key_index = -1;
    for (int i = 0; i < c->key_record_count; ++i) {
        if (memcmp(c->key_records[i].name, padded, sizeof padded) == 0) {
            p->keys = &c->key_records[i];
            p->key_index = i;
            return;
        }
    }
}

static void read_pogoshell(TplPogoshellArgs* p, const u8* area) {
    const u8* block = area + POGOSHELL_MAGIC_OFFSET; /* size and address lie just below it */
    memset(p, 0, sizeof *p);
    p->key_index = -1;
    if (read_le32(block) != POGOSHELL_MAGIC)
        return;
    p->present = 1;
    p->argc = read_le32(block + 4);

    p->size = read_le32(area);
    u32 address = read_le32(area + 4);
    if (address >= MEM_ROM && address < MEM_ROM_END && p->size <= MEM_ROM_END - address)
        p->data = (const u8*)address;
    p->kind = TPL_KIND_Z80;
    if (p->argc < 2)
        return; /* no file was opened */

    /* Strings: the plug-in's own path, then the opened file. Stay inside the area. */
    const u8* s = block + 8;
    const u8* end = area + POGOSHELL_AREA_SIZE;
    while (s < end && *s)
        ++s;
    ++s;
    int n = 0;
    while (s < end && *s && n < (int)sizeof p->path - 1)
        p->path[n++] = (char)*s++;
    p->path[n] = 0;

    const char* name = strrchr(p->path, '/');
    name = name ? name + 1 : p->path;
    const char* dot = strrchr(name, '.');
    int base_len = dot ? (int)(dot - name) : (int)strlen(name);
    if (base_len > (int)sizeof p->base - 1)
        base_len = sizeof p->base - 1;
    for (int i = 0; i < base_len; ++i)
        p->base[i] = ascii_lower(name[i]);
    p->base[base_len] = 0;
    if (dot && ascii_lower(dot[1]) == 's' && ascii_lower(dot[2]) == 'n' &&
        ascii_lower(dot[3]) == 'a' && dot[4] == 0)
        p->kind = TPL_KIND_SNA;
}

void tpl_catalogue_scan_at(TplCatalogue* out, const u8* table, const u8* limit,
                           const u8* pogoshell) {
    memset(out, 0, sizeof *out);
    out->table = table;
    out->last_size = TPL_SIZE_UNKNOWN;
    read_pogoshell(&out->pogoshell, pogoshell);
    if (table + TPL_KEY_RECORD_SIZE <= limit && is_plugin_head(table)) {
        scan_key_records(out, limit);
        match_key_record(out);
    } else {
        scan_entries(out, limit);
    }
}

void tpl_catalogue_scan(TplCatalogue* out) {
    tpl_catalogue_scan_at(&catalogue, __image_end, CARTRIDGE_END,
                          (const u8*)POGOSHELL_ARGS_ADDRESS);
    if (out)
        *out = catalogue;
}

const TplCatalogue* tpl_catalogue(void) {
    return &catalogue;
}

const TplEntry* tpl_entries(int* count) {
    if (count)
        *count = catalogue.entry_count;
    return catalogue.entries;
}

const u8* tpl_entry_data(int index) {
    if (index < 0 || index >= catalogue.entry_count)
        return 0;
    return catalogue.table + catalogue.entries[index].data_offset;
}

u32 tpl_entry_size(int index) {
    if (index < 0 || index >= catalogue.entry_count || catalogue.status == TPL_TABLE_BAD_OFFSETS)
        return TPL_SIZE_UNKNOWN;
    if (index + 1 == catalogue.entry_count)
        return catalogue.last_size;
    return catalogue.entries[index + 1].data_offset - catalogue.entries[index].data_offset;
}

u32 tpl_entry_identity(int index) {
    if (index < 0 || index >= catalogue.entry_count)
        return 0;
    const TplEntry* e = &catalogue.entries[index];
    u32 crc = zx_crc32(0, (const u8*)e->name, TPL_ENTRY_NAME_LENGTH);
    crc = zx_crc32(crc, &e->kind, 1);
    const u8* data = tpl_entry_data(index);
    u32 size = tpl_entry_size(index);
    u32 room = (u32)(CARTRIDGE_END - data);
    u32 n = TPL_ENTRY_ID_BYTES;
    if (size < n)
        n = size;
    if (room < n)
        n = room;
    return zx_crc32(crc, data, n);
}

const char* tpl_key_text(u8 code) {
    const char* name = tpl_key_name(code);
    return code == TPL_KEY_NONE ? "-" : name ? name : "?";
}
