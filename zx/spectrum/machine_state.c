#include "spectrum/machine_state.h"

#include <string.h>

#define TAG(a, b, c, d)                                                                            \
    ((uint32_t)(a) | (uint32_t)(b) << 8 | (uint32_t)(c) << 16 | (uint32_t)(d) << 24)
#define STATE_MAGIC TAG('Z', 'X', 'S', 'T')
#define SECTION_Z80 TAG('Z', '8', '0', 'R')
#define SECTION_ULA TAG('U', 'L', 'A', ' ')
#define SECTION_RAM TAG('R', 'A', 'M', ' ')
#define SECTION_PAGING TAG('P', 'A', 'G', 'E')
#define SECTION_AY TAG('A', 'Y', ' ', ' ')
#define SECTION_BANK TAG('B', 'A', 'N', 'K')

enum { RAM_METHOD_LZ = 1, RAM_PAGES_48K = 3, Z80_FLAG_AFTER_EI = 1 };

uint32_t zx_crc32(uint32_t crc, const uint8_t* data, size_t size) {
    /* Half a byte at a time: 64 bytes of table, fast enough for a state a second. */
    static const uint32_t table[16] = {0x00000000u, 0x1DB71064u, 0x3B6E20C8u, 0x26D930ACu,
                                       0x76DC4190u, 0x6B6B51F4u, 0x4DB26158u, 0x5005713Cu,
                                       0xEDB88320u, 0xF00F9344u, 0xD6D6A3E8u, 0xCB61B38Cu,
                                       0x9B64C2B0u, 0x86D3D2D4u, 0xA00AE278u, 0xBDBDF21Cu};
    crc = ~crc;
    for (size_t i = 0; i < size; ++i) {
        crc ^= data[i];
        crc = (crc >> 4) ^ table[crc & 15];
        crc = (crc >> 4) ^ table[crc & 15];
    }
    return ~crc;
}

static void put16(uint8_t* p, uint32_t v) {
    p[0] = (uint8_t)v;
    p[1] = (uint8_t)(v >> 8);
}

static void put32(uint8_t* p, uint32_t v) {
    put16(p, v);
    put16(p + 2, v >> 16);
}

static uint32_t get16(const uint8_t* p) {
    return (uint32_t)p[0] | (uint32_t)p[1] << 8;
}

static uint32_t get32(const uint8_t* p) {
    return get16(p) | get16(p + 2) << 16;
}

/* Starts a section at out + o; returns where its payload goes, 0 when `length` does not fit. */
static size_t begin_section(uint8_t* out, size_t o, size_t capacity, uint32_t tag, size_t length) {
    if (capacity - o < 8 + length)
        return 0;
    put32(out + o, tag);
    put32(out + o + 4, (uint32_t)length);
    return o + 8;
}

/* The "Z80R" section's payload. */
static void put_z80(uint8_t* out, const Spectrum* s) {
    Z80Regs r;
    z80_get_regs(&s->cpu, &r);
    const uint16_t pairs[13] = {r.af,  r.bc, r.de, r.hl, r.af_, r.bc_, r.de_,
                                r.hl_, r.ix, r.iy, r.sp, r.pc,  r.wz};
    for (int i = 0; i < 13; ++i)
        put16(out + 2 * i, pairs[i]);
    uint8_t* q = out + 26;
    q[0] = r.i;
    q[1] = r.r;
    q[2] = r.iff1;
    q[3] = r.iff2;
    q[4] = r.im;
    q[5] = r.halted;
    q[6] = z80_after_ei(&s->cpu) ? Z80_FLAG_AFTER_EI : 0;
    q[7] = 0;
    put32(q + 8, (uint32_t)z80_tstates(&s->cpu));
}

/* The "ULA " section's payload. */
static void put_ula(uint8_t* q, const Spectrum* s) {
    q[0] = s->border;
    q[1] = s->ula;
    q[2] = (uint8_t)s->ear_input;
    q[3] = s->frame_level;
    q[4] = 0;
    q[5] = s->in_frame;
    /* Between frames, the last frame's final OUT may have dated an edge past its end: it opens
     * the next frame. Only the last instruction runs past the end, so there is one at most, a
     * few T-states into the next frame. */
    uint32_t late = s->late_edges;
    q[6] = (uint8_t)late;
    q[7] = late ? (uint8_t)(s->edges[s->edge_count] - s->frame_tstates) : 0;
    put32(q + 8, s->frames);
    put32(q + 12, s->interrupts);
}

size_t machine_state_write(const Spectrum* s, uint8_t* out, size_t capacity, LzWork* work) {
    if (capacity < MACHINE_STATE_HEADER + 4 || s->model != SPECTRUM_48K)
        return 0;
    memcpy(out, "ZXST", 4);
    put16(out + 4, MACHINE_STATE_VERSION);
    put16(out + 6, MACHINE_KIND_48K);
    size_t o = MACHINE_STATE_HEADER;

    size_t p = begin_section(out, o, capacity - 4, SECTION_Z80, MACHINE_STATE_Z80_SECTION);
    if (!p)
        return 0;
    put_z80(out + p, s);
    o = p + MACHINE_STATE_Z80_SECTION;

    p = begin_section(out, o, capacity - 4, SECTION_ULA, MACHINE_STATE_ULA_SECTION);
    if (!p)
        return 0;
    put_ula(out + p, s);
    o = p + MACHINE_STATE_ULA_SECTION;

    for (int page = 0; page < RAM_PAGES_48K; ++page) {
        p = begin_section(out, o, capacity - 4, SECTION_RAM, MACHINE_STATE_RAM_HEADER);
        if (!p)
            return 0;
        put32(out + p, 0x4000u * (uint32_t)(page + 1));
        put32(out + p + 4, MACHINE_STATE_PAGE);
        put32(out + p + 8, RAM_METHOD_LZ);
        size_t packed_at = p + MACHINE_STATE_RAM_HEADER;
        size_t packed = lz_compress(s->ram + page * MACHINE_STATE_PAGE, MACHINE_STATE_PAGE,
                                    out + packed_at, capacity - 4 - packed_at, work);
        if (!packed)
            return 0;
        put32(out + o + 4, (uint32_t)(MACHINE_STATE_RAM_HEADER + packed));
        o = packed_at + packed;
    }
    put32(out + 8, (uint32_t)(o + 4));
    put32(out + o, zx_crc32(0, out, o));
    return o + 4;
}

uint32_t machine_state_length(const uint8_t* in, size_t size) {
    if (size < MACHINE_STATE_HEADER || get32(in) != STATE_MAGIC)
        return 0;
    uint32_t length = get32(in + 8);
    return length >= MACHINE_STATE_HEADER + 4 ? length : 0;
}

/* Where the parts of a checked state are. */
typedef struct StateParts {
    const uint8_t* z80;
    const uint8_t* ula;
    const uint8_t* page[RAM_PAGES_48K];
    uint32_t page_size[RAM_PAGES_48K]; /* compressed bytes */
} StateParts;

/* The "Z80R" payload: IM 0-2, the T-state in the frame or just past its end (the last
 * instruction). Any other count would hold the machine for up to 2^31 T-states before it ran on. */
static int z80_plausible(const uint8_t* z, int32_t frame_tstates) {
    int32_t t = (int32_t)get32(z + 26 + 8);
    return z[26 + 4] <= 2 && t >= 0 && t < 2 * frame_tstates;
}

/* The "ULA " payload: a late edge is kept only between frames. */
static int ula_plausible(const uint8_t* u) {
    return u[6] <= 1 && !(u[6] && u[5]);
}

/* Where the sections of a checked 128K state are (offsets of their payloads in the state). */
typedef struct Parts128 {
    uint32_t z80, ula, paging, ay, ay_size;
    uint32_t bank[MACHINE_STATE_128K_BANKS], bank_size[MACHINE_STATE_128K_BANKS];
} Parts128;

/* `kind`: the machine's (0 for one no state is of: every state is another machine's). */
static MachineStateResult find_parts(const uint8_t* in, size_t size, int32_t frame_tstates,
                                     uint32_t kind, StateParts* parts) {
    memset(parts, 0, sizeof *parts);
    if (size < MACHINE_STATE_HEADER || get32(in) != STATE_MAGIC)
        return MACHINE_STATE_NOT_A_STATE;
    uint32_t length = machine_state_length(in, size);
    if (!length || length > size || zx_crc32(0, in, length - 4) != get32(in + length - 4))
        return MACHINE_STATE_DAMAGED;
    if (get16(in + 4) > MACHINE_STATE_VERSION || get16(in + 4) == 0)
        return MACHINE_STATE_NEWER_FORMAT;
    if (get16(in + 6) != kind)
        return MACHINE_STATE_OTHER_MACHINE;
    size_t o = MACHINE_STATE_HEADER, end = length - 4;
    while (o < end) {
        if (end - o < 8)
            return MACHINE_STATE_DAMAGED;
        uint32_t tag = get32(in + o), n = get32(in + o + 4);
        const uint8_t* payload = in + o + 8;
        if (n > end - o - 8)
            return MACHINE_STATE_DAMAGED;
        if (tag == SECTION_Z80) {
            if (parts->z80 || n != MACHINE_STATE_Z80_SECTION ||
                !z80_plausible(payload, frame_tstates))
                return MACHINE_STATE_DAMAGED;
            parts->z80 = payload;
        } else if (tag == SECTION_ULA) {
            if (parts->ula || n != MACHINE_STATE_ULA_SECTION || !ula_plausible(payload))
                return MACHINE_STATE_DAMAGED;
            parts->ula = payload;
        } else if (tag == SECTION_RAM) {
            if (n < MACHINE_STATE_RAM_HEADER)
                return MACHINE_STATE_DAMAGED;
            uint32_t address = get32(payload), page = address / MACHINE_STATE_PAGE - 1;
            if (address % MACHINE_STATE_PAGE || page >= RAM_PAGES_48K || parts->page[page] ||
                get32(payload + 4) != MACHINE_STATE_PAGE || get32(payload + 8) != RAM_METHOD_LZ)
                return MACHINE_STATE_DAMAGED;
            parts->page[page] = payload + MACHINE_STATE_RAM_HEADER;
            parts->page_size[page] = n - MACHINE_STATE_RAM_HEADER;
            if (!lz_expand(parts->page[page], parts->page_size[page], NULL, MACHINE_STATE_PAGE))
                return MACHINE_STATE_DAMAGED;
        }
        o += 8 + n;
    }
    if (!parts->z80 || !parts->ula)
        return MACHINE_STATE_DAMAGED;
    for (int page = 0; page < RAM_PAGES_48K; ++page)
        if (!parts->page[page])
            return MACHINE_STATE_DAMAGED;
    return MACHINE_STATE_OK;
}

MachineStateResult machine_state_check(const uint8_t* in, size_t size) {
    StateParts parts;
    return find_parts(in, size, SPECTRUM_FRAME_TSTATES, MACHINE_KIND_48K, &parts);
}

/* The CPU, the ULA's port and the frame position from checked payloads. */
static void apply_cpu_ula(Spectrum* s, const uint8_t* z, const uint8_t* u) {
    Z80Regs r;
    uint16_t* const pairs[13] = {&r.af,  &r.bc, &r.de, &r.hl, &r.af_, &r.bc_, &r.de_,
                                 &r.hl_, &r.ix, &r.iy, &r.sp, &r.pc,  &r.wz};
    for (int i = 0; i < 13; ++i)
        *pairs[i] = (uint16_t)get16(z + 2 * i);
    const uint8_t* q = z + 26;
    r.i = q[0];
    r.r = q[1];
    r.iff1 = q[2];
    r.iff2 = q[3];
    r.im = q[4];
    r.halted = q[5];
    z80_set_regs(&s->cpu, &r);
    z80_set_tstates(&s->cpu, (int32_t)get32(q + 8));
    z80_set_after_ei(&s->cpu, q[6] & Z80_FLAG_AFTER_EI);

    /* The port's value is the CPU's output latch too; the border follows from it. */
    s->ula = u[1];
    s->border = u[1] & 7;
    z80_set_latch_value(&s->cpu, s->ula);
    s->frame_level = u[3] & 1;
    s->in_frame = u[5] ? 1 : 0;
    s->frames = get32(u + 8);
    s->interrupts = get32(u + 12);
    /* Nothing of the running machine's edges survives: the state's late edge, if any, sits
     * where the next frame takes it from, and the CPU logs the port's writes behind it. */
    s->edge_count = 0;
    s->late_edges = u[6];
    if (s->late_edges)
        s->edges[0] = s->frame_tstates + u[7];
    z80_set_latch_log(&s->cpu, (uint32_t*)s->edges + s->late_edges,
                      BEEPER_MAX_EDGES - s->late_edges);
    int8_t ear = (int8_t)u[2];
    spectrum_set_ear(s, ear < 0 ? SPECTRUM_EAR_UNPLUGGED : ear);
    /* The screen is all new; what the CPU marked before belongs to the old picture. */
    z80_take_watched(&s->cpu);
    s->changed_rows = (1u << SPECTRUM_SCREEN_ROWS) - 1;
}

MachineStateResult machine_state_load(Spectrum* s, const uint8_t* in, size_t size) {
    StateParts parts;
    if (s->model != SPECTRUM_48K) {
        MachineStateSource src = {in, NULL, NULL,
                                  (uint32_t)(size > 0xFFFFFFFFu ? 0xFFFFFFFFu : size)};
        return machine_state_load_from(s, &src, NULL);
    }
    uint32_t kind = MACHINE_KIND_48K;
    MachineStateResult result = find_parts(in, size, s->frame_tstates, kind, &parts);
    if (result != MACHINE_STATE_OK)
        return result;
    for (int page = 0; page < RAM_PAGES_48K; ++page)
        lz_expand(parts.page[page], parts.page_size[page], s->ram + page * MACHINE_STATE_PAGE,
                  MACHINE_STATE_PAGE);

    apply_cpu_ula(s, parts.z80, parts.ula);
    return MACHINE_STATE_OK;
}

/* The 128K's state, written in pieces: the checksum and the count run along. */
typedef struct Emitter {
    const MachineStateSink* sink;
    uint32_t count, crc;
    int failed;
} Emitter;

static void emit(Emitter* e, const uint8_t* data, uint32_t size) {
    if (e->sink && !e->failed && size) {
        e->crc = zx_crc32(e->crc, data, size);
        if (!e->sink->write(e->sink->context, data, size))
            e->failed = 1;
    }
    e->count += size;
}

static void emit_section(Emitter* e, uint32_t tag, uint32_t length) {
    uint8_t h[8];
    put32(h, tag);
    put32(h + 4, length);
    emit(e, h, 8);
}

size_t machine_state_stream(const Spectrum* s, uint32_t length, const MachineStateSink* sink,
                            MachineStateScratch* scratch) {
    if (s->model != SPECTRUM_128K || !s->ay)
        return 0;
    Emitter e = {sink, 0, 0, 0};
    uint8_t part[MACHINE_STATE_Z80_SECTION];
    memcpy(part, "ZXST", 4);
    put16(part + 4, MACHINE_STATE_VERSION);
    put16(part + 6, MACHINE_KIND_128K);
    put32(part + 8, length);
    emit(&e, part, MACHINE_STATE_HEADER);
    emit_section(&e, SECTION_Z80, MACHINE_STATE_Z80_SECTION);
    put_z80(part, s);
    emit(&e, part, MACHINE_STATE_Z80_SECTION);
    emit_section(&e, SECTION_ULA, MACHINE_STATE_ULA_SECTION);
    put_ula(part, s);
    emit(&e, part, MACHINE_STATE_ULA_SECTION);
    emit_section(&e, SECTION_PAGING, MACHINE_STATE_PAGING_SECTION);
    memset(part, 0, MACHINE_STATE_PAGING_SECTION);
    part[0] = s->paging;
    emit(&e, part, MACHINE_STATE_PAGING_SECTION);
    uint32_t ay_size = ay_state_size(s->ay);
    emit_section(&e, SECTION_AY, ay_size);
    ay_state_write(s->ay, scratch->bank);
    emit(&e, scratch->bank, ay_size);
    for (uint32_t bank = 0; bank < MACHINE_STATE_128K_BANKS; ++bank) {
        uint32_t packed = (uint32_t)lz_compress(spectrum_bank(s, bank), MACHINE_STATE_PAGE,
                                                scratch->bank, sizeof scratch->bank, &scratch->lz);
        emit_section(&e, SECTION_BANK, MACHINE_STATE_RAM_HEADER + packed);
        put32(part, bank);
        put32(part + 4, MACHINE_STATE_PAGE);
        put32(part + 8, RAM_METHOD_LZ);
        emit(&e, part, MACHINE_STATE_RAM_HEADER);
        emit(&e, scratch->bank, packed);
    }
    put32(part, e.crc);
    emit(&e, part, 4);
    if (!sink)
        return e.count;
    return e.failed || e.count != length ? 0 : e.count;
}

/* `size` bytes of the state from `at`: in place for a source in memory, else read into `to`. */
static const uint8_t* fetch(const MachineStateSource* src, uint32_t at, uint32_t size,
                            uint8_t* to) {
    if (src->data)
        return src->data + at;
    src->read(src->context, at, to, size);
    return to;
}

/* The whole 128K state checked as machine_state_check does, from a source, piece by piece. */
static MachineStateResult check_128(const MachineStateSource* src, uint8_t* buffer,
                                    int32_t frame_tstates, uint32_t kind, Parts128* parts) {
    memset(parts, 0, sizeof *parts);
    uint8_t small[MACHINE_STATE_Z80_SECTION];
    if (src->size < MACHINE_STATE_HEADER)
        return MACHINE_STATE_NOT_A_STATE;
    const uint8_t* h = fetch(src, 0, MACHINE_STATE_HEADER, small);
    if (get32(h) != STATE_MAGIC)
        return MACHINE_STATE_NOT_A_STATE;
    uint32_t length = get32(h + 8), version = get16(h + 4), state_kind = get16(h + 6);
    if (length < MACHINE_STATE_HEADER + 4 || length > src->size)
        return MACHINE_STATE_DAMAGED;
    uint32_t end = length - 4, crc = 0;
    for (uint32_t at = 0; at < end;) {
        uint32_t n = end - at < MACHINE_STATE_BANK_BUFFER ? end - at : MACHINE_STATE_BANK_BUFFER;
        crc = zx_crc32(crc, fetch(src, at, n, buffer), n);
        at += n;
    }
    if (crc != get32(fetch(src, end, 4, small)))
        return MACHINE_STATE_DAMAGED;
    if (version > MACHINE_STATE_VERSION || version == 0)
        return MACHINE_STATE_NEWER_FORMAT;
    if (state_kind != kind)
        return MACHINE_STATE_OTHER_MACHINE;
    uint32_t banks = 0;
    for (uint32_t o = MACHINE_STATE_HEADER; o < end;) {
        if (end - o < 8)
            return MACHINE_STATE_DAMAGED;
        const uint8_t* sh = fetch(src, o, 8, small);
        uint32_t tag = get32(sh), n = get32(sh + 4), at = o + 8;
        if (n > end - o - 8)
            return MACHINE_STATE_DAMAGED;
        if (tag == SECTION_Z80) {
            if (parts->z80 || n != MACHINE_STATE_Z80_SECTION ||
                !z80_plausible(fetch(src, at, n, small), frame_tstates))
                return MACHINE_STATE_DAMAGED;
            parts->z80 = at;
        } else if (tag == SECTION_ULA) {
            if (parts->ula || n != MACHINE_STATE_ULA_SECTION ||
                !ula_plausible(fetch(src, at, n, small)))
                return MACHINE_STATE_DAMAGED;
            parts->ula = at;
        } else if (tag == SECTION_PAGING) {
            if (parts->paging || n != MACHINE_STATE_PAGING_SECTION)
                return MACHINE_STATE_DAMAGED;
            parts->paging = at;
        } else if (tag == SECTION_AY) {
            if (parts->ay || n > MACHINE_STATE_BANK_BUFFER ||
                !ay_state_read(NULL, fetch(src, at, n, buffer), n))
                return MACHINE_STATE_DAMAGED;
            parts->ay = at;
            parts->ay_size = n;
        } else if (tag == SECTION_BANK) {
            if (n < MACHINE_STATE_RAM_HEADER ||
                n - MACHINE_STATE_RAM_HEADER > MACHINE_STATE_BANK_BUFFER)
                return MACHINE_STATE_DAMAGED;
            const uint8_t* b = fetch(src, at, MACHINE_STATE_RAM_HEADER, small);
            uint32_t bank = get32(b);
            if (bank >= MACHINE_STATE_128K_BANKS || (banks >> bank & 1) ||
                get32(b + 4) != MACHINE_STATE_PAGE || get32(b + 8) != RAM_METHOD_LZ)
                return MACHINE_STATE_DAMAGED;
            uint32_t packed = n - MACHINE_STATE_RAM_HEADER;
            if (!lz_expand(fetch(src, at + MACHINE_STATE_RAM_HEADER, packed, buffer), packed, NULL,
                           MACHINE_STATE_PAGE))
                return MACHINE_STATE_DAMAGED;
            banks |= 1u << bank;
            parts->bank[bank] = at + MACHINE_STATE_RAM_HEADER;
            parts->bank_size[bank] = packed;
        }
        o = at + n;
    }
    if (!parts->z80 || !parts->ula || !parts->paging || !parts->ay ||
        banks != (1u << MACHINE_STATE_128K_BANKS) - 1)
        return MACHINE_STATE_DAMAGED;
    return MACHINE_STATE_OK;
}

MachineStateResult machine_state_load_from(Spectrum* s, const MachineStateSource* src,
                                           uint8_t* buffer) {
    if (s->model != SPECTRUM_128K || !s->ay) {
        if (src->data)
            return machine_state_load(s, src->data, src->size);
        return MACHINE_STATE_OTHER_MACHINE;
    }
    Parts128 parts;
    MachineStateResult result = check_128(src, buffer, s->frame_tstates, MACHINE_KIND_128K, &parts);
    if (result != MACHINE_STATE_OK)
        return result;
    /* Checked whole: from here on nothing can fail. */
    for (uint32_t bank = 0; bank < MACHINE_STATE_128K_BANKS; ++bank)
        lz_expand(fetch(src, parts.bank[bank], parts.bank_size[bank], buffer),
                  parts.bank_size[bank], spectrum_bank(s, bank), MACHINE_STATE_PAGE);
    /* The small sections go through the buffer too, one after another (the stack is short on
     * the GBA). */
    spectrum_set_paging(s, fetch(src, parts.paging, MACHINE_STATE_PAGING_SECTION, buffer)[0]);
    ay_state_read(s->ay, fetch(src, parts.ay, parts.ay_size, buffer), parts.ay_size);
    const uint8_t* zp = fetch(src, parts.z80, MACHINE_STATE_Z80_SECTION, buffer);
    const uint8_t* up =
        fetch(src, parts.ula, MACHINE_STATE_ULA_SECTION, buffer ? buffer + 64 : NULL);
    apply_cpu_ula(s, zp, up);
    return MACHINE_STATE_OK;
}

const char* machine_state_result_text(MachineStateResult result) {
    switch (result) {
    case MACHINE_STATE_OK:
        return "";
    case MACHINE_STATE_NOT_A_STATE:
        return "There is no saved state.";
    case MACHINE_STATE_DAMAGED:
        return "The saved state is damaged.";
    case MACHINE_STATE_NEWER_FORMAT:
        return "The state was saved by a\nnewer version of Tapeloom.";
    case MACHINE_STATE_OTHER_MACHINE:
        return "The state is of another\nSpectrum model.";
    case MACHINE_STATE_NO_ROOM:
        return "The state does not fit.";
    }
    return "Unknown state error.";
}
