// Fuzz target: a save memory image as a flash cartridge or emulator might hand it over (any
// bytes, any length), read by the store: the directory, every slot's state, the settings; then a
// state saved into it and read back.
#include "flash_chip.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // Short inputs are spread over the sectors' starts, where the headers are.
    std::vector<std::uint8_t> image(TPL_SAVE_SIZE, 0xFF);
    if (size >= TPL_SAVE_SIZE) {
        std::memcpy(image.data(), data, TPL_SAVE_SIZE);
    } else {
        std::size_t per = size / TPL_SAVE_SECTORS + 1;
        for (std::size_t i = 0; i < size; ++i)
            image[(i / per) * TPL_SAVE_SECTOR_SIZE + i % per] = data[i];
    }
    FlashChip chip(image);
    SaveMedium medium = chip.medium();
    SaveDirectory dir;
    save_store_scan(&medium, &dir);
    std::vector<std::uint8_t> state(TPL_SAVE_STATE_SECTORS * TPL_SAVE_SECTOR_SIZE);
    for (int slot = 0; slot < TPL_SAVE_SLOTS; ++slot) {
        std::uint32_t n = save_store_read(&medium, &dir, slot, state.data(),
                                          static_cast<std::uint32_t>(state.size()));
        if (n > state.size() || (n && dir.slots[slot].status != SAVE_SLOT_USED))
            __builtin_trap();
    }
    std::uint16_t index;
    std::uint32_t id;
    save_settings_last_played(&medium, &index, &id);

    std::vector<std::uint8_t> mine(5000, 0x42);
    SaveOwner owner{};
    owner.entry_id = 7;
    int slot = size ? data[0] % TPL_SAVE_SLOTS : 0;
    if (save_store_write(&medium, &dir, slot, &owner, mine.data(), 5000) == SAVE_WRITE_OK) {
        SaveDirectory again;
        save_store_scan(&medium, &again);
        std::uint32_t n = save_store_read(&medium, &again, slot, state.data(),
                                          static_cast<std::uint32_t>(state.size()));
        if (n != 5000 || std::memcmp(state.data(), mine.data(), 5000) != 0)
            __builtin_trap();
    }
    save_settings_set_last_played(&medium, 1, 2);
    return 0;
}
