#include "save/flash.h"

#include "hw/gba.h"

#define CHIP ((volatile u8*)MEM_SAVE)

enum {
    BANK_SIZE = 0x10000,
    COMMAND_1 = 0x5555,
    COMMAND_2 = 0x2AAA,
    /* Polls before giving up: a sector erase takes up to half a second, a byte tens of
     * microseconds; a poll is some 30 cycles. */
    ERASE_POLLS = 600000,
    PROGRAM_POLLS = 20000
};

/* The save type's ID: word aligned and padded with zeros, as the cartridges' scanners expect.
 * flash_use() reads it so that the linker keeps it. */
static const char save_type_id[16] __attribute__((aligned(4))) = TPL_SAVE_TYPE_ID;

static int selected EWRAM_BSS; /* the bank in use + 1; 0: the chip was not spoken to yet */
/* Set once the chip failed to finish an erase or a byte: a cartridge without a flash chip would
 * otherwise make every later write wait for its timeout again. */
static int unresponsive EWRAM_BSS;

/* The chip is driven by code in EWRAM: the cartridge bus is not read for instructions while the
 * chip is in a command. */
EWRAM_CODE static void command(u8 code) {
    CHIP[COMMAND_1] = 0xAA;
    CHIP[COMMAND_2] = 0x55;
    CHIP[COMMAND_1] = code;
}

EWRAM_CODE static void select_bank(int wanted) {
    command(0xB0);
    CHIP[0] = (u8)wanted;
}

/* Waits until the byte at `address` reads `value`; on a timeout leaves the command (some chips
 * need that) and returns 0. */
EWRAM_CODE static int wait_for(u32 address, u8 value, int polls) {
    while (polls-- > 0)
        if (CHIP[address] == value)
            return 1;
    CHIP[COMMAND_1] = 0xF0;
    return 0;
}

static void use_bank(u32 offset) {
    int wanted = (int)(offset / BANK_SIZE) + 1;
    if (!selected)
        (void)*(volatile const char*)save_type_id;
    if (wanted != selected) {
        select_bank(wanted - 1);
        selected = wanted;
    }
}

EWRAM_CODE static void read_bytes(u32 address, u8* out, u32 size) {
    for (u32 i = 0; i < size; ++i)
        out[i] = CHIP[address + i];
}

static void flash_read(void* context, u32 offset, u8* out, u32 size) {
    while (size) {
        use_bank(offset);
        u32 in_bank = BANK_SIZE - offset % BANK_SIZE;
        u32 part = size < in_bank ? size : in_bank;
        read_bytes(offset % BANK_SIZE, out, part);
        offset += part;
        out += part;
        size -= part;
    }
}

EWRAM_CODE static int erase_at(u32 address) {
    command(0x80);
    CHIP[COMMAND_1] = 0xAA;
    CHIP[COMMAND_2] = 0x55;
    CHIP[address] = 0x30;
    return wait_for(address, 0xFF, ERASE_POLLS);
}

static int flash_erase(void* context, u32 sector) {
    u32 offset = sector * TPL_SAVE_SECTOR_SIZE;
    if (unresponsive)
        return 0;
    use_bank(offset);
    if (!erase_at(offset % BANK_SIZE))
        unresponsive = 1;
    return !unresponsive;
}

EWRAM_CODE static int program_bytes(u32 address, const u8* data, u32 size) {
    for (u32 i = 0; i < size; ++i) {
        if (data[i] == 0xFF)
            continue; /* what an erased byte holds already */
        command(0xA0);
        CHIP[address + i] = data[i];
        if (!wait_for(address + i, data[i], PROGRAM_POLLS))
            return 0;
    }
    return 1;
}

static int flash_program(void* context, u32 offset, const u8* data, u32 size) {
    while (size) {
        use_bank(offset);
        u32 in_bank = BANK_SIZE - offset % BANK_SIZE;
        u32 part = size < in_bank ? size : in_bank;
        if (unresponsive || !program_bytes(offset % BANK_SIZE, data, part)) {
            unresponsive = 1;
            return 0;
        }
        offset += part;
        data += part;
        size -= part;
    }
    return 1;
}

const SaveMedium save_flash = {flash_read, flash_erase, flash_program, 0};
