/* .SNA and .Z80 loaders for the 48K and 128K machines. Every read goes through the bounds of
 * the file. */
#include "spectrum/snapshot.h"

#include <string.h>

enum {
    SNA_HEADER = 27,
    SNA_48K_SIZE = SNA_HEADER + SPECTRUM_RAM_SIZE,
    SNA_128K_EXTRA = SNA_48K_SIZE, /* PC, port 0x7FFD, TR-DOS paged; then the other banks */
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

static void clear_state(SnapshotState* state) {
    memset(state, 0, sizeof *state);
}

/* The registers of the 27-byte header; PC and SP are left to the caller. */
static void sna_registers(const uint8_t* data, SnapshotState* state) {
    Z80Regs* r = &state->regs;
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
    r->iff1 = r->iff2; /* the format keeps IFF2 only (RETN copies it into IFF1) */
    r->r = data[20];
    r->af = word_at(data + 21);
    r->im = data[25];
    state->border = data[26] & 7;
}

/* A 128K .SNA: the 48K part holds banks 5, 2 and the one paged at 0xC000; after PC, the paging
 * port and the TR-DOS byte come the other banks in ascending order (six when the paged bank is
 * 2 or 5, which the 48K part then holds twice). Bytes beyond what the banks need are ignored. */
static SnapshotResult load_sna_128(const uint8_t* data, size_t size, uint8_t* ram,
                                   SnapshotState* state) {
    const uint8_t* extra = data + SNA_128K_EXTRA;
    uint8_t paging = extra[2];
    if (extra[3])
        return SNAPSHOT_TRDOS;
    unsigned paged = paging & 7;
    unsigned others = paged == 2 || paged == 5 ? 6 : 5;
    if (size < (size_t)SNA_128K_EXTRA + 4 + others * PAGE_SIZE)
        return SNAPSHOT_CORRUPT;
    const uint8_t* block = data + SNA_HEADER;
    const unsigned first[3] = {5, 2, paged};
    for (int i = 0; i < 3; ++i, block += PAGE_SIZE)
        memcpy(ram + spectrum_bank_offset(first[i]), block, PAGE_SIZE);
    block = extra + 4;
    for (unsigned bank = 0; bank < 8; ++bank) {
        if (bank == 2 || bank == 5 || bank == paged)
            continue;
        memcpy(ram + spectrum_bank_offset(bank), block, PAGE_SIZE);
        block += PAGE_SIZE;
    }
    sna_registers(data, state);
    state->regs.sp = word_at(data + 23);
    state->regs.pc = word_at(extra);
    state->model = SPECTRUM_128K;
    state->port_7ffd = paging;
    return SNAPSHOT_OK;
}

static SnapshotResult load_sna(const uint8_t* data, size_t size, const uint8_t* rom, uint8_t* ram,
                               int with_128, SnapshotState* state) {
    int is_128 = size == SNA_128K_SIZE || size == SNA_128K_SIZE_LONG;
    if (size != SNA_48K_SIZE && !is_128)
        return SNAPSHOT_NOT_A_SNAPSHOT;
    if (data[25] > 2)
        return SNAPSHOT_NOT_A_SNAPSHOT;
    clear_state(state);
    if (is_128)
        return with_128 ? load_sna_128(data, size, ram, state) : SNAPSHOT_128K;
    memcpy(ram, data + SNA_HEADER, SPECTRUM_RAM_SIZE);
    sna_registers(data, state);
    /* The program counter was pushed onto the stack; pop it as RETN would. */
    uint16_t sp = word_at(data + 23);
    uint8_t low = memory_byte(rom, ram, sp);
    uint8_t high = memory_byte(rom, ram, (uint16_t)(sp + 1));
    state->regs.pc = (uint16_t)(low | (high << 8));
    state->regs.sp = (uint16_t)(sp + 2);
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

/* Fills out[0..out_size) from a .Z80 block, run-length coded or stored as is; 0 when the block
 * is too short for it. */
static int z80_block(const uint8_t* in, size_t in_size, int coded, int stop_at_marker, uint8_t* out,
                     size_t out_size) {
    if (coded)
        return z80_expand(in, in_size, out, out_size, stop_at_marker) == out_size;
    if (in_size < out_size)
        return 0;
    memcpy(out, in, out_size);
    return 1;
}

/* The machine of a version 2 or 3 file from its hardware byte (header offset 34), whose values
 * 3-6 differ between the versions. Pentagon 128 snapshots run on the 128K: same paging. */
static SnapshotResult z80_machine(int version, uint8_t hardware, SpectrumModel* model) {
    *model = SPECTRUM_48K;
    if (hardware == 0 || hardware == 1 || (version == 3 && hardware == 3))
        return SNAPSHOT_OK; /* 48K, with Interface 1 or M.G.T. */
    *model = SPECTRUM_128K;
    if (version == 2 && (hardware == 3 || hardware == 4))
        return SNAPSHOT_OK; /* 128K, with Interface 1 */
    if (version == 3 && hardware >= 4 && hardware <= 6)
        return SNAPSHOT_OK; /* 128K, with Interface 1 or M.G.T. */
    if (hardware == 9 || hardware == 12)
        return SNAPSHOT_OK; /* Pentagon 128, +2 */
    if (hardware == 7 || hardware == 8 || hardware == 13)
        return SNAPSHOT_PLUS3; /* +3, +2A */
    return SNAPSHOT_OTHER_MACHINE;
}

/* Where a 16 KiB page of a version 2 or 3 file goes, as an offset into ram; -1: not wanted. The
 * 48K numbers 8, 4 and 5 for 0x4000, 0x8000 and 0xC000, the 128K 3-10 for banks 0-7. */
static long page_offset(SpectrumModel model, uint8_t page) {
    if (model == SPECTRUM_128K)
        return page >= 3 && page <= 10 ? (long)spectrum_bank_offset(page - 3u) : -1;
    return page == 8 ? 0 : page == 4 ? PAGE_SIZE : page == 5 ? 2 * PAGE_SIZE : -1;
}

static SnapshotResult load_z80(const uint8_t* data, size_t size, uint8_t* ram, int with_128,
                               SnapshotState* state) {
    if (size < Z80_V1_HEADER)
        return SNAPSHOT_NOT_A_SNAPSHOT;
    clear_state(state);
    uint8_t flags = data[12] == 0xFF ? 1 : data[12];
    Z80Regs* r = &state->regs;
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
        if (!z80_block(data + Z80_V1_HEADER, size - Z80_V1_HEADER, flags & 0x20, 1, ram,
                       SPECTRUM_RAM_SIZE))
            return SNAPSHOT_CORRUPT;
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
    SpectrumModel model;
    SnapshotResult machine = z80_machine(version, data[34], &model);
    if (machine != SNAPSHOT_OK)
        return machine;
    if (model == SPECTRUM_128K && !with_128)
        return SNAPSHOT_128K;
    state->model = (uint8_t)model;
    unsigned needed; /* bit per wanted page, by its place in ram */
    if (model == SPECTRUM_128K) {
        needed = 0xFF;
        state->port_7ffd = data[35];
        state->ay_selected = data[38];
        memcpy(state->ay_regs, data + 39, SPECTRUM_AY_REGISTERS);
    } else {
        needed = (data[37] & 0x80) ? 1 : 7; /* 16K: the page at 0x4000 alone */
        memset(ram, 0, SPECTRUM_RAM_SIZE);
    }

    unsigned loaded = 0;
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
        long offset = page_offset(model, page);
        if (offset >= 0) {
            if (!z80_block(data + pos, length, !raw, 0, ram + offset, PAGE_SIZE))
                return SNAPSHOT_CORRUPT;
            loaded |= 1u << (offset / PAGE_SIZE);
        }
        pos += length;
    }
    if ((loaded & needed) != needed)
        return SNAPSHOT_CORRUPT;
    return SNAPSHOT_OK;
}

static SnapshotResult load(const uint8_t* data, size_t size, SnapshotKind kind, const uint8_t* rom,
                           uint8_t* ram, int with_128, SnapshotState* state) {
    if (!data)
        return SNAPSHOT_NOT_A_SNAPSHOT;
    if (size > SNAPSHOT_LARGEST)
        size = SNAPSHOT_LARGEST;
    if (kind == SNAPSHOT_SNA)
        return load_sna(data, size, rom, ram, with_128, state);
    return load_z80(data, size, ram, with_128, state);
}

SnapshotResult snapshot_load(const uint8_t* data, size_t size, SnapshotKind kind,
                             const uint8_t* rom, uint8_t* ram, SnapshotState* state) {
    return load(data, size, kind, rom, ram, 0, state);
}

SnapshotResult snapshot_load_128(const uint8_t* data, size_t size, SnapshotKind kind,
                                 const uint8_t* rom, uint8_t* ram, SnapshotState* state) {
    return load(data, size, kind, rom, ram, 1, state);
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
        int coded = data[12] != 0xFF && (data[12] & 0x20);
        return z80_block(data + Z80_V1_HEADER, size - Z80_V1_HEADER, coded, 1, screen,
                         SNAPSHOT_SCREEN_SIZE)
                   ? SNAPSHOT_OK
                   : SNAPSHOT_CORRUPT;
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
        if (page == 8)
            return z80_block(data + pos, available, !raw, 0, screen, SNAPSHOT_SCREEN_SIZE)
                       ? SNAPSHOT_OK
                       : SNAPSHOT_CORRUPT;
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
        return "This snapshot is for another\nmachine. 48K and 128K\nsnapshots run here.";
    case SNAPSHOT_CORRUPT:
        return "The snapshot's data is\ndamaged or incomplete.";
    case SNAPSHOT_PLUS3:
        return "This is a +2A/+3 snapshot.\nIts memory paging does not\nrun here: 48K and 128K do.";
    case SNAPSHOT_TRDOS:
        return "This snapshot was taken in\nthe TR-DOS disk ROM, which\nthe cartridge does not "
               "have.";
    }
    return "Unknown snapshot error.";
}
