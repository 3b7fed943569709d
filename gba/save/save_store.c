#include "save/save_store.h"

#include <string.h>

#include "spectrum/machine_state.h" /* zx_crc32 */

enum {
    SECTOR = TPL_SAVE_SECTOR_SIZE,
    FIRST = TPL_SAVE_FIRST_STATE_SECTOR,
    POOL = TPL_SAVE_STATE_SECTORS,
    RECORDS = TPL_SAVE_SECTOR_SIZE / TPL_SETTINGS_RECORD_SIZE
};

static uint32_t get32(const uint8_t* p) {
    return (uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 | (uint32_t)p[3] << 24;
}

static void put32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        p[i] = (uint8_t)(v >> (8 * i));
}

/* A header that can be trusted: its checksum, and sectors that make sense for its length. */
static int valid_header(const TplStateHeader* h, int sector) {
    if (zx_crc32(0, (const uint8_t*)h, TPL_STATE_HEADER_SIZE - 4) != h->crc ||
        h->version != TPL_STATE_HEADER_VERSION || h->slot >= TPL_SAVE_SLOTS ||
        h->sector_count == 0 || h->sector_count > POOL || h->sectors[0] != sector ||
        h->length > (uint32_t)h->sector_count * SECTOR - TPL_STATE_HEADER_SIZE)
        return 0;
    uint32_t seen = 0;
    for (int i = 0; i < h->sector_count; ++i) {
        int s = h->sectors[i];
        if (s < FIRST || s >= FIRST + POOL || (seen >> s & 1))
            return 0;
        seen |= 1u << s;
    }
    return 1;
}

void save_store_scan(const SaveMedium* medium, SaveDirectory* dir) {
    memset(dir, 0, sizeof *dir);
    for (int sector = FIRST; sector < FIRST + POOL; ++sector) {
        TplStateHeader h;
        medium->read(medium->context, (uint32_t)sector * SECTOR, (uint8_t*)&h, sizeof h);
        if (h.magic != TPL_STATE_MAGIC)
            continue;
        if (!valid_header(&h, sector)) {
            dir->damaged_headers++;
            if (h.slot < TPL_SAVE_SLOTS && dir->slots[h.slot].status == SAVE_SLOT_EMPTY)
                dir->slots[h.slot].status = SAVE_SLOT_DAMAGED;
            continue;
        }
        if (h.generation > dir->newest_generation)
            dir->newest_generation = h.generation;
        SaveSlot* slot = &dir->slots[h.slot];
        if (slot->status == SAVE_SLOT_USED && slot->generation >= h.generation)
            continue; /* an older state whose replacement was not finished giving it up */
        slot->status = SAVE_SLOT_USED;
        slot->owner.entry_id = h.entry_id;
        slot->owner.entry_index = h.entry_index;
        memcpy(slot->owner.name, h.name, sizeof slot->owner.name);
        slot->owner.name[sizeof slot->owner.name - 1] = 0;
        slot->length = h.length;
        slot->generation = h.generation;
        slot->sector_count = h.sector_count;
        memcpy(slot->sectors, h.sectors, sizeof slot->sectors);
    }
}

/* Sectors (bit n = sector n) held by the states of the slots other than `slot`. */
static uint32_t sectors_of_others(const SaveDirectory* dir, int slot) {
    uint32_t used = 0;
    for (int k = 0; k < TPL_SAVE_SLOTS; ++k) {
        const SaveSlot* s = &dir->slots[k];
        if (k != slot && s->status == SAVE_SLOT_USED)
            for (int i = 0; i < s->sector_count; ++i)
                used |= 1u << s->sectors[i];
    }
    return used;
}

static int count_bits(uint32_t bits) {
    int n = 0;
    for (; bits; bits &= bits - 1)
        ++n;
    return n;
}

static uint32_t pool_mask(void) {
    return ((1u << POOL) - 1) << FIRST;
}

uint32_t save_store_room(const SaveDirectory* dir, int slot) {
    int sectors = count_bits(pool_mask() & ~sectors_of_others(dir, slot));
    return sectors ? (uint32_t)sectors * SECTOR - TPL_STATE_HEADER_SIZE : 0;
}

int save_store_begin(const SaveMedium* medium, SaveDirectory* dir, int slot, const SaveOwner* owner,
                     uint32_t length, SaveStream* w) {
    memset(w, 0, sizeof *w);
    if (slot < 0 || slot >= TPL_SAVE_SLOTS || length > POOL * SECTOR)
        return SAVE_WRITE_NO_ROOM;
    uint32_t total = TPL_STATE_HEADER_SIZE + length;
    int needed = (int)((total + SECTOR - 1) / SECTOR);
    const SaveSlot* old = &dir->slots[slot];
    uint32_t old_sectors = 0;
    if (old->status == SAVE_SLOT_USED)
        for (int i = 0; i < old->sector_count; ++i)
            old_sectors |= 1u << old->sectors[i];
    uint32_t free_sectors = pool_mask() & ~sectors_of_others(dir, slot) & ~old_sectors;
    if (needed > POOL || count_bits(free_sectors) + count_bits(old_sectors) < needed)
        return SAVE_WRITE_NO_ROOM;

    TplStateHeader* h = &w->header;
    memset(h->sectors, TPL_STATE_NO_SECTOR, sizeof h->sectors);
    int n = 0;
    for (int s = FIRST; s < FIRST + POOL && n < needed; ++s)
        if (free_sectors >> s & 1)
            h->sectors[n++] = (uint8_t)s;
    for (int i = 0; i < old->sector_count && n < needed; ++i)
        h->sectors[n++] = old->sectors[i]; /* the old state is given up */
    h->magic = TPL_STATE_MAGIC;
    h->version = TPL_STATE_HEADER_VERSION;
    h->slot = (uint8_t)slot;
    h->sector_count = (uint8_t)needed;
    h->generation = dir->newest_generation + 1;
    h->length = length;
    h->entry_id = owner->entry_id;
    h->entry_index = owner->entry_index;
    memcpy(h->name, owner->name, sizeof h->name);
    h->name[sizeof h->name - 1] = 0;
    h->crc = zx_crc32(0, (const uint8_t*)h, TPL_STATE_HEADER_SIZE - 4);
    w->medium = medium;
    w->dir = dir;
    w->owner = *owner;
    return SAVE_WRITE_OK;
}

/* Where byte `at` of the state goes: sector index and offset in it. */
static void place(uint32_t at, uint32_t* index, uint32_t* offset) {
    uint32_t from_start = at + TPL_STATE_HEADER_SIZE;
    *index = from_start / SECTOR;
    *offset = from_start % SECTOR;
}

int save_store_put(SaveStream* w, const uint8_t* data, uint32_t size) {
    if (w->failed || size > w->header.length - w->done) {
        w->failed = 1;
        return 0;
    }
    while (size) {
        uint32_t index, offset;
        place(w->done, &index, &offset);
        uint32_t sector = w->header.sectors[index], part = SECTOR - offset;
        if (part > size)
            part = size;
        /* A sector is erased when its first byte comes; the header's own stays blank (it reads
         * as no state) until save_store_finish. */
        int fresh = w->done == 0 || offset == 0;
        if ((fresh && !w->medium->erase(w->medium->context, sector)) ||
            !w->medium->program(w->medium->context, sector * SECTOR + offset, data, part)) {
            w->failed = 1;
            return 0;
        }
        data += part;
        size -= part;
        w->done += part;
    }
    return 1;
}

int save_store_finish(SaveStream* w) {
    const TplStateHeader* h = &w->header;
    if (w->failed || w->done != h->length ||
        (h->length == 0 && !w->medium->erase(w->medium->context, h->sectors[0])) ||
        !w->medium->program(w->medium->context, (uint32_t)h->sectors[0] * SECTOR, (const uint8_t*)h,
                            sizeof *h))
        return SAVE_WRITE_FAILED;
    /* Give up the old state, unless its first sector was taken: its mark programmed to zero
     * (no erase needed). Should that fail, the newer generation still wins. */
    SaveSlot* old = &w->dir->slots[h->slot];
    if (old->status == SAVE_SLOT_USED) {
        int reused = 0;
        for (int i = 0; i < h->sector_count; ++i)
            reused |= h->sectors[i] == old->sectors[0];
        if (!reused) {
            static const uint8_t zero[4] = {0, 0, 0, 0};
            w->medium->program(w->medium->context, (uint32_t)old->sectors[0] * SECTOR, zero, 4);
        }
    }
    old->status = SAVE_SLOT_USED;
    old->owner = w->owner;
    old->owner.name[sizeof old->owner.name - 1] = 0;
    old->length = h->length;
    old->generation = h->generation;
    old->sector_count = h->sector_count;
    memcpy(old->sectors, h->sectors, sizeof old->sectors);
    w->dir->newest_generation = h->generation;
    return SAVE_WRITE_OK;
}

int save_store_write(const SaveMedium* medium, SaveDirectory* dir, int slot, const SaveOwner* owner,
                     const uint8_t* state, uint32_t length) {
    SaveStream w;
    int result = save_store_begin(medium, dir, slot, owner, length, &w);
    if (result != SAVE_WRITE_OK)
        return result;
    save_store_put(&w, state, length);
    return save_store_finish(&w);
}

uint32_t save_store_read(const SaveMedium* medium, const SaveDirectory* dir, int slot, uint8_t* out,
                         uint32_t capacity) {
    if (slot < 0 || slot >= TPL_SAVE_SLOTS)
        return 0;
    const SaveSlot* s = &dir->slots[slot];
    if (s->status != SAVE_SLOT_USED || s->length > capacity)
        return 0;
    save_store_read_at(medium, dir, slot, 0, out, s->length);
    return s->length;
}

void save_store_read_at(const SaveMedium* medium, const SaveDirectory* dir, int slot, uint32_t at,
                        uint8_t* out, uint32_t size) {
    const SaveSlot* s = &dir->slots[slot];
    while (size) {
        uint32_t index, offset;
        place(at, &index, &offset);
        uint32_t part = SECTOR - offset < size ? SECTOR - offset : size;
        if ((int)index < s->sector_count)
            medium->read(medium->context, (uint32_t)s->sectors[index] * SECTOR + offset, out, part);
        else
            memset(out, 0xFF, part);
        out += part;
        at += part;
        size -= part;
    }
}

/* The settings log: records up to the first blank one. */
static int read_record(const SaveMedium* medium, int index, uint8_t record[16]) {
    medium->read(medium->context, TPL_SAVE_SETTINGS_SECTOR * SECTOR + (uint32_t)index * 16, record,
                 16);
    for (int i = 0; i < 16; ++i)
        if (record[i] != 0xFF)
            return 1;
    return 0; /* blank: the log ends here */
}

static int valid_record(const uint8_t record[16]) {
    return get32(record) == TPL_SETTINGS_MAGIC && zx_crc32(0, record, 12) == get32(record + 12);
}

/* One pass over the log: the last valid last-played record (1 when found) and, in *end, the
 * number of records written. */
static int scan_log(const SaveMedium* medium, uint16_t* entry_index, uint32_t* entry_id, int* end) {
    int found = 0, i = 0;
    uint8_t record[16];
    for (; i < RECORDS && read_record(medium, i, record); ++i) {
        if (!valid_record(record) || (record[4] | record[5] << 8) != TPL_SETTINGS_LAST_PLAYED)
            continue;
        *entry_index = (uint16_t)(record[6] | record[7] << 8);
        *entry_id = get32(record + 8);
        found = 1;
    }
    *end = i;
    return found;
}

int save_settings_last_played(const SaveMedium* medium, uint16_t* entry_index, uint32_t* entry_id) {
    int end;
    return scan_log(medium, entry_index, entry_id, &end);
}

int save_settings_set_last_played(const SaveMedium* medium, uint16_t entry_index,
                                  uint32_t entry_id) {
    uint16_t index;
    uint32_t id;
    int end;
    if (scan_log(medium, &index, &id, &end) && index == entry_index && id == entry_id)
        return 1;
    uint8_t out[16];
    put32(out, TPL_SETTINGS_MAGIC);
    out[4] = TPL_SETTINGS_LAST_PLAYED;
    out[5] = 0;
    out[6] = (uint8_t)entry_index;
    out[7] = (uint8_t)(entry_index >> 8);
    put32(out + 8, entry_id);
    put32(out + 12, zx_crc32(0, out, 12));
    if (end == RECORDS) {
        if (!medium->erase(medium->context, TPL_SAVE_SETTINGS_SECTOR))
            return 0;
        end = 0;
    }
    return medium->program(medium->context, TPL_SAVE_SETTINGS_SECTOR * SECTOR + (uint32_t)end * 16,
                           out, 16);
}
