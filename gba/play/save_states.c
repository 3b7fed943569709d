#include "play/save_states.h"

#include "hw/cycle_counter.h"
#include "hw/gba.h"
#include "save/flash.h"
#include "spectrum/machine_state.h"

/* A 48K's state is made whole in memory: it and the compressor's scratch memory live in the RAM
 * banks a 48K machine leaves alone (1, 3, 4, 6 and 7, the 80 KiB after its 48 KiB), which
 * nothing else needs while the state is saved or loaded. */
enum { SPARE_BANKS = SPECTRUM_RAM_SIZE, WORK_SIZE = (sizeof(LzWork) + 3) & ~3u };
_Static_assert(SPARE_BANKS % 4 == 0 &&
                   SPECTRUM_RAM_SIZE + WORK_SIZE + MACHINE_STATE_MAX_48K <= SPECTRUM_128_RAM_SIZE,
               "a state and the compressor's memory fit into the banks the 48K leaves alone");

static LzWork* spare_lz_work(const Spectrum* machine) {
    return (LzWork*)(void*)(machine->ram + SPARE_BANKS);
}

static u8* spare_state_buffer(const Spectrum* machine) {
    return machine->ram + SPARE_BANKS + WORK_SIZE;
}

/* A message put together without printf (which would bring most of a C library along). */
typedef struct Message {
    char* text;
    int size, length;
} Message;

static void add(Message* m, const char* s) {
    while (*s && m->length < m->size - 1)
        m->text[m->length++] = *s++;
    m->text[m->length] = 0;
}

static void add_number(Message* m, u32 n) {
    char digits[11];
    int count = 0;
    do {
        digits[count++] = (char)('0' + n % 10);
        n /= 10;
    } while (n);
    char s[12];
    for (int i = 0; i < count; ++i)
        s[i] = digits[count - 1 - i];
    s[count] = 0;
    add(m, s);
}

static void add_kib(Message* m, u32 bytes) {
    add_number(m, (bytes + 1023) / 1024);
    add(m, " KiB");
}

static int finish(int result, int slot, u32 bytes, u32 started, const Spectrum* machine) {
    volatile SpectrumState* s = SPECTRUM_STATE;
    if (result == STATE_SAVED || result == STATE_LOADED) {
        Z80Regs r;
        z80_get_regs(&machine->cpu, &r);
        const u16 regs[14] = {r.af,  r.bc, r.de, r.hl, r.af_, r.bc_, r.de_,
                              r.hl_, r.ix, r.iy, r.sp, r.pc,  r.wz,  (u16)(r.i << 8 | r.r)};
        for (int i = 0; i < 14; ++i)
            s->state_regs[i] = regs[i];
        s->state_frames = machine->frames;
    }
    s->state_result = (u32)result;
    s->state_slot = (u32)slot;
    s->state_bytes = bytes;
    s->state_cycles = cycles_now() - started;
    s->state_actions++;
    return result;
}

/* A 128K uses every RAM bank: its state is compressed bank by bank, twice (once to know its size
 * before anything is erased, once into the save memory as it comes), and read back in pieces.
 * The compressor's chains and a bank's worth of compressed bytes are kept here for that. */
static MachineStateScratch scratch_128 EWRAM_BSS;
static SaveStream stream_128 EWRAM_BSS; /* off the stack, which is short */

static int put_in_store(void* context, const u8* data, u32 size) {
    return save_store_put((SaveStream*)context, data, size);
}

typedef struct SlotSource {
    const SaveDirectory* dir;
    int slot;
} SlotSource;

static void read_from_slot(void* context, u32 offset, u8* out, u32 size) {
    const SlotSource* from = (const SlotSource*)context;
    save_store_read_at(&save_flash, from->dir, from->slot, offset, out, size);
}

static void add_no_room(Message* m, const SaveDirectory* dir, int slot, u32 length) {
    add(m, "No room: the state needs\n");
    add_kib(m, length + TPL_STATE_HEADER_SIZE);
    add(m, ", ");
    u32 room = save_store_room(dir, slot);
    add_kib(m, room ? room + TPL_STATE_HEADER_SIZE : 0);
    add(m, " are free.\nSave over another slot.");
}

/* Writes the 128K's state in pieces; enum SaveWriteResult. */
static int save_128(const Spectrum* machine, const SaveOwner* owner, SaveDirectory* dir, int slot,
                    u32* length, u32 started) {
    *length = (u32)machine_state_stream(machine, 0, NULL, &scratch_128);
    SPECTRUM_STATE->state_pack_cycles = cycles_now() - started;
    int result = save_store_begin(&save_flash, dir, slot, owner, *length, &stream_128);
    if (result != SAVE_WRITE_OK)
        return result;
    MachineStateSink sink = {put_in_store, &stream_128};
    machine_state_stream(machine, *length, &sink, &scratch_128);
    return save_store_finish(&stream_128);
}

void save_states_scan(SaveDirectory* dir) {
    save_store_scan(&save_flash, dir);
}

int save_states_save(const Spectrum* machine, const SaveOwner* owner, SaveDirectory* dir, int slot,
                     char* message, int message_size) {
    u32 started = cycles_now();
    Message m = {message, message_size, 0};
    message[0] = 0;
    u32 length;
    int result;
    if (machine->model == SPECTRUM_48K) {
        u8* state_buffer = spare_state_buffer(machine);
        length = (u32)machine_state_write(machine, state_buffer, MACHINE_STATE_MAX_48K,
                                          spare_lz_work(machine));
        SPECTRUM_STATE->state_pack_cycles = cycles_now() - started;
        result = save_store_write(&save_flash, dir, slot, owner, state_buffer, length);
    } else {
        result = save_128(machine, owner, dir, slot, &length, started);
    }
    if (result == SAVE_WRITE_NO_ROOM) {
        add_no_room(&m, dir, slot, length);
        return finish(STATE_NO_ROOM, slot, length, started, machine);
    }
    if (result != SAVE_WRITE_OK) {
        add(&m, "The save memory did not\ntake the state.");
        return finish(STATE_CHIP_FAILED, slot, length, started, machine);
    }
    add(&m, "Saved in slot ");
    add_number(&m, (u32)slot + 1);
    add(&m, " (");
    add_kib(&m, length);
    add(&m, ").");
    return finish(STATE_SAVED, slot, length, started, machine);
}

int save_states_load(Spectrum* machine, const SaveOwner* owner, const SaveDirectory* dir, int slot,
                     char* message, int message_size) {
    u32 started = cycles_now();
    Message m = {message, message_size, 0};
    message[0] = 0;
    const SaveSlot* s = &dir->slots[slot];
    if (s->status == SAVE_SLOT_EMPTY) {
        add(&m, "Slot ");
        add_number(&m, (u32)slot + 1);
        add(&m, " is empty.");
        return finish(STATE_EMPTY, slot, 0, started, machine);
    }
    if (s->status == SAVE_SLOT_USED && s->owner.entry_id != owner->entry_id) {
        add(&m, "Slot ");
        add_number(&m, (u32)slot + 1);
        add(&m, " holds a state of\n");
        add(&m, s->owner.name);
        add(&m, ".\nOnly that game can load it.");
        return finish(STATE_OTHER_ENTRY, slot, 0, started, machine);
    }
    u32 length = 0, read = cycles_now();
    MachineStateResult r = MACHINE_STATE_DAMAGED;
    if (machine->model == SPECTRUM_48K) {
        u8* state_buffer = spare_state_buffer(machine);
        length = save_store_read(&save_flash, dir, slot, state_buffer, MACHINE_STATE_MAX_48K);
        read = cycles_now();
        if (s->status == SAVE_SLOT_USED && length)
            r = machine_state_load(machine, state_buffer, length);
    } else if (s->status == SAVE_SLOT_USED) {
        /* Read from the save memory as it is needed: checked whole, then loaded. */
        length = s->length;
        SlotSource from = {dir, slot};
        MachineStateSource source = {NULL, read_from_slot, &from, length};
        r = machine_state_load_from(machine, &source, scratch_128.bank);
    }
    SPECTRUM_STATE->state_pack_cycles = cycles_now() - read;
    if (r == MACHINE_STATE_OK) {
        add(&m, "Loaded slot ");
        add_number(&m, (u32)slot + 1);
        add(&m, ".");
        return finish(STATE_LOADED, slot, length, started, machine);
    }
    if (r == MACHINE_STATE_NEWER_FORMAT || r == MACHINE_STATE_OTHER_MACHINE) {
        add(&m, machine_state_result_text(r));
        return finish(STATE_UNREADABLE, slot, length, started, machine);
    }
    add(&m, "The state in slot ");
    add_number(&m, (u32)slot + 1);
    add(&m, " is\ndamaged. It was not loaded.");
    return finish(STATE_DAMAGED, slot, length, started, machine);
}
