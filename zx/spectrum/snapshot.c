/* .SNA and .Z80 loaders for the 48K machine. Every read goes through the bounds of the file. */
#include "spectrum/snapshot.h"

#include <string.h>

enum {
    SNA_HEADER = 27,
    SNA_48K_SIZE = SNA_HEADER + SPECTRUM_RAM_SIZE,
    SNA_128K_SIZE = SNA_48K_SIZE + 4 + 5 * 0x4000,
    SNA_128K_SIZE_LONG = SNA_48K_SIZE + 4 + 6 * 0x4000,
    Z80_V1_HEADER = 30,
    PAGE_SIZE = 0x4000
};

static uint16_t word_at(const uint8_t* p) {
    return (uint16_t)(p[0] | (p[1] << 8));
}

static uint8_t memory_byte(const uint8_t* rom, const uint8_t* ram, uint16_t address) {
    if (address >= 0x4000)
        return ram[address - 0x4000];
    return rom ? rom[address] : 0xFF;
}

static SnapshotResult load_sna(const uint8_t* data, size_t size, const uint8_t* rom, uint8_t* ram,
                               SnapshotState* state) {
    if (size == SNA_128K_SIZE || size == SNA_128K_SIZE_LONG)
        return SNAPSHOT_128K;
    if (size != SNA_48K_SIZE)
        return SNAPSHOT_NOT_A_SNAPSHOT;
    if (data[25] > 2)
        return SNAPSHOT_NOT_A_SNAPSHOT;
    memcpy(ram, data + SNA_HEADER, SPECTRUM_RAM_SIZE);
    Z80Regs* r = &state->regs;
    memset(r, 0, sizeof *r);
    r->i = data[0];
    r->hl_ = word_at(data + 1);
    r->de_ = word_at(data + 3);
    r->bc_ = word_at(data + 5);
    r->af_ = word_at(data + 7);
    r->hl = word_at(data + 9);
    r->de = word_at(data + 11);
    r->bc = word_at(data + 13);
    r->iy = word_at(data + 15);
    r->ix = word_at(data + 17);
    r->iff2 = (data[19] >> 2) & 1;
    r->iff1 = r->iff2; /* the snapshot was taken as if inside an interrupt: RETN copies IFF2 */
    r->r = data[20];
    r->af = word_at(data + 21);
    uint16_t sp = word_at(data + 23);
    r->im = data[25];
    state->border = data[26] & 7;
    /* The program counter was pushed onto the stack; pop it as RETN would. */
    uint8_t low = memory_byte(rom, ram, sp);
    uint8_t high = memory_byte(rom, ram, (uint16_t)(sp + 1));
    r->pc = (uint16_t)(low | (high << 8));
    r->sp = (uint16_t)(sp + 2);
    return SNAPSHOT_OK;
}

/* Expands the .Z80 run-length code (ED ED count byte) from in[0..in_size) into out[0..out_size).
 * Stops at the end of the input, when the output is full, or (with stop_at_marker) at the
 * 00 ED ED 00 end marker. Returns the number of bytes written. */
static size_t z80_expand(const uint8_t* in, size_t in_size, uint8_t* out, size_t out_size,
                         int stop_at_marker) {
    size_t i = 0, o = 0;
    while (i < in_size && o < out_size) {
        if (stop_at_marker && in_size - i >= 4 && in[i] == 0x00 && in[i + 1] == 0xED &&
            in[i + 2] == 0xED && in[i + 3] == 0x00)
            break;
        if (in_size - i >= 4 && in[i] == 0xED && in[i + 1] == 0xED) {
            size_t count = in[i + 2];
            uint8_t value = in[i + 3];
            if (count > out_size - o)
                count = out_size - o;
            memset(out + o, value, count);
            o += count;
            i += 4;
        } else {
            out[o++] = in[i++];
        }
    }
    return o;
}

/* Hardware byte (header offset 34) of version 2 and 3 files. */
static SnapshotResult z80_machine(int version, uint8_t hardware) {
    if (hardware == 0 || hardware == 1)
        return SNAPSHOT_OK; /* 48K, 48K + Interface 1 */
    if (version == 3 && hardware == 3)
        return SNAPSHOT_OK; /* 48K + M.G.T. */
    if (version == 2 && (hardware == 3 || hardware == 4))
        return SNAPSHOT_128K;
    if (version == 3 && ((hardware >= 4 && hardware <= 10) || hardware == 12 || hardware == 13))
        return SNAPSHOT_128K;
    return SNAPSHOT_OTHER_MACHINE;
}

static SnapshotResult load_z80(const uint8_t* data, size_t size, uint8_t* ram,
                               SnapshotState* state) {
    if (size < Z80_V1_HEADER)
        return SNAPSHOT_NOT_A_SNAPSHOT;
    uint8_t flags = data[12] == 0xFF ? 1 : data[12];
    Z80Regs* r = &state->regs;
    memset(r, 0, sizeof *r);
    r->af = (uint16_t)((data[0] << 8) | data[1]);
    r->bc = word_at(data + 2);
    r->hl = word_at(data + 4);
    r->pc = word_at(data + 6);
    r->sp = word_at(data + 8);
    r->i = data[10];
    r->r = (uint8_t)((data[11] & 0x7F) | ((flags & 1) << 7));
    r->de = word_at(data + 13);
    r->bc_ = word_at(data + 15);
    r->de_ = word_at(data + 17);
    r->hl_ = word_at(data + 19);
    r->af_ = (uint16_t)((data[21] << 8) | data[22]);
    r->iy = word_at(data + 23);
    r->ix = word_at(data + 25);
    r->iff1 = data[27] ? 1 : 0;
    r->iff2 = data[28] ? 1 : 0;
    r->im = data[29] & 3;
    if (r->im == 3)
        return SNAPSHOT_NOT_A_SNAPSHOT;
    state->border = (flags >> 1) & 7;

    if (r->pc != 0) { /* version 1: one 48 KiB block, compressed or not */
        const uint8_t* body = data + Z80_V1_HEADER;
        size_t body_size = size - Z80_V1_HEADER;
        if (flags & 0x20) {
            if (z80_expand(body, body_size, ram, SPECTRUM_RAM_SIZE, 1) != SPECTRUM_RAM_SIZE)
                return SNAPSHOT_CORRUPT;
        } else {
            if (body_size < SPECTRUM_RAM_SIZE)
                return SNAPSHOT_CORRUPT;
            memcpy(ram, body, SPECTRUM_RAM_SIZE);
        }
        return SNAPSHOT_OK;
    }

    /* Versions 2 and 3: an extra header, then 16 KiB pages, each with its own small header. */
    if (size < Z80_V1_HEADER + 2)
        return SNAPSHOT_NOT_A_SNAPSHOT;
    size_t extra = word_at(data + 30);
    int version;
    if (extra == 23)
        version = 2;
    else if (extra == 54 || extra == 55)
        version = 3;
    else
        return SNAPSHOT_NOT_A_SNAPSHOT;
    size_t pos = Z80_V1_HEADER + 2 + extra;
    if (pos > size)
        return SNAPSHOT_NOT_A_SNAPSHOT;
    r->pc = word_at(data + 32);
    SnapshotResult machine = z80_machine(version, data[34]);
    if (machine != SNAPSHOT_OK)
        return machine;
    int sixteen_k = (data[37] & 0x80) != 0;

    memset(ram, 0, SPECTRUM_RAM_SIZE);
    int needed = sixteen_k ? 1 : 7;
    int loaded = 0; /* bit per page: 1 = page 8 (0x4000), 2 = page 4 (0x8000), 4 = page 5 */
    /* Stops when the pages are in: the caller may not know where the file ends. A file has no
     * more pages than the format numbers; a walk through more is walking through something
     * else. */
    int blocks = 0;
    while (pos < size && (loaded & needed) != needed) {
        if (size - pos < 3 || ++blocks > SNAPSHOT_MOST_PAGES)
            return SNAPSHOT_CORRUPT;
        size_t length = word_at(data + pos);
        uint8_t page = data[pos + 2];
        pos += 3;
        int raw = length == 0xFFFF;
        if (raw)
            length = PAGE_SIZE;
        if (length > size - pos)
            return SNAPSHOT_CORRUPT;
        int slot = page == 8 ? 0 : page == 4 ? 1 : page == 5 ? 2 : -1;
        if (slot >= 0) {
            uint8_t* out = ram + (size_t)slot * PAGE_SIZE;
            if (raw)
                memcpy(out, data + pos, PAGE_SIZE);
            else if (z80_expand(data + pos, length, out, PAGE_SIZE, 0) != PAGE_SIZE)
                return SNAPSHOT_CORRUPT;
            loaded |= 1 << slot;
        }
        pos += length;
    }
    if ((loaded & needed) != needed)
        return SNAPSHOT_CORRUPT;
    return SNAPSHOT_OK;
}

SnapshotResult snapshot_load(const uint8_t* data, size_t size, SnapshotKind kind,
                             const uint8_t* rom, uint8_t* ram, SnapshotState* state) {
    if (!data)
        return SNAPSHOT_NOT_A_SNAPSHOT;
    if (size > SNAPSHOT_LARGEST)
        size = SNAPSHOT_LARGEST;
    if (kind == SNAPSHOT_SNA)
        return load_sna(data, size, rom, ram, state);
    return load_z80(data, size, ram, state);
}

SnapshotResult snapshot_read_screen(const uint8_t* data, size_t size, SnapshotKind kind,
                                    uint8_t screen[SNAPSHOT_SCREEN_SIZE]) {
    memset(screen, 0, SNAPSHOT_SCREEN_SIZE);
    if (!data)
        return SNAPSHOT_NOT_A_SNAPSHOT;
    if (size > SNAPSHOT_LARGEST)
        size = SNAPSHOT_LARGEST;
    if (kind == SNAPSHOT_SNA) {
        if (size < SNA_HEADER + SNAPSHOT_SCREEN_SIZE)
            return SNAPSHOT_NOT_A_SNAPSHOT;
        memcpy(screen, data + SNA_HEADER, SNAPSHOT_SCREEN_SIZE);
        return SNAPSHOT_OK;
    }
    if (size < Z80_V1_HEADER)
        return SNAPSHOT_NOT_A_SNAPSHOT;
    if (word_at(data + 6) != 0) { /* version 1 */
        const uint8_t* body = data + Z80_V1_HEADER;
        size_t body_size = size - Z80_V1_HEADER;
        if (data[12] != 0xFF && (data[12] & 0x20))
            return z80_expand(body, body_size, screen, SNAPSHOT_SCREEN_SIZE, 1) ==
                           SNAPSHOT_SCREEN_SIZE
                       ? SNAPSHOT_OK
                       : SNAPSHOT_CORRUPT;
        if (body_size < SNAPSHOT_SCREEN_SIZE)
            return SNAPSHOT_CORRUPT;
        memcpy(screen, body, SNAPSHOT_SCREEN_SIZE);
        return SNAPSHOT_OK;
    }
    if (size < Z80_V1_HEADER + 2)
        return SNAPSHOT_NOT_A_SNAPSHOT;
    size_t pos = Z80_V1_HEADER + 2 + word_at(data + 30);
    int blocks = 0;
    while (pos <= size && size - pos >= 3 && ++blocks <= SNAPSHOT_MOST_PAGES) {
        size_t length = word_at(data + pos);
        uint8_t page = data[pos + 2];
        pos += 3;
        int raw = length == 0xFFFF;
        if (raw)
            length = PAGE_SIZE;
        size_t available = length < size - pos ? length : size - pos;
        if (page == 8) {
            if (raw) {
                if (available < SNAPSHOT_SCREEN_SIZE)
                    return SNAPSHOT_CORRUPT;
                memcpy(screen, data + pos, SNAPSHOT_SCREEN_SIZE);
                return SNAPSHOT_OK;
            }
            return z80_expand(data + pos, available, screen, SNAPSHOT_SCREEN_SIZE, 0) ==
                           SNAPSHOT_SCREEN_SIZE
                       ? SNAPSHOT_OK
                       : SNAPSHOT_CORRUPT;
        }
        if (length > size - pos)
            break;
        pos += length;
    }
    return SNAPSHOT_CORRUPT;
}

const char* snapshot_result_text(SnapshotResult result) {
    switch (result) {
    case SNAPSHOT_OK:
        return "";
    case SNAPSHOT_NOT_A_SNAPSHOT:
        return "This file is not a\nZX Spectrum snapshot.";
    case SNAPSHOT_128K:
        return "This is a 128K snapshot.\nOnly 48K snapshots run here.";
    case SNAPSHOT_OTHER_MACHINE:
        return "This snapshot is for another\nmachine. Only 48K ones run.";
    case SNAPSHOT_CORRUPT:
        return "The snapshot's data is\ndamaged or incomplete.";
    }
    return "Unknown snapshot error.";
}
