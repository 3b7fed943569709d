// A flash save chip for host tests: 128 KiB that erase to 0xFF by the 4 KiB sector and only
// lose bits when programmed, as the real chip; counts what is done to it, and can lose power
// after a given number of operations (everything after that fails and changes nothing).
#pragma once

#include "save/save_store.h"

#include <cstdint>
#include <vector>

class FlashChip {
  public:
    FlashChip() : bytes(TPL_SAVE_SIZE, 0xFF) {}
    explicit FlashChip(std::vector<std::uint8_t> image) : bytes(std::move(image)) {
        bytes.resize(TPL_SAVE_SIZE, 0xFF);
    }

    SaveMedium medium() { return {read, erase, program, this}; }

    std::vector<std::uint8_t> bytes;
    int erases = 0, programs = 0;
    long operationsLeft = -1; // -1: power never fails

  private:
    bool powered() {
        if (operationsLeft == 0)
            return false;
        if (operationsLeft > 0)
            --operationsLeft;
        return true;
    }
    static FlashChip& chip(void* context) { return *static_cast<FlashChip*>(context); }
    static void read(void* context, std::uint32_t offset, std::uint8_t* out, std::uint32_t size) {
        for (std::uint32_t i = 0; i < size; ++i)
            out[i] = offset + i < TPL_SAVE_SIZE ? chip(context).bytes[offset + i] : 0xFF;
    }
    static int erase(void* context, std::uint32_t sector) {
        FlashChip& c = chip(context);
        if (sector >= TPL_SAVE_SECTORS || !c.powered())
            return 0;
        ++c.erases;
        std::fill_n(c.bytes.begin() + sector * TPL_SAVE_SECTOR_SIZE, TPL_SAVE_SECTOR_SIZE, 0xFF);
        return 1;
    }
    static int program(void* context, std::uint32_t offset, const std::uint8_t* data,
                       std::uint32_t size) {
        FlashChip& c = chip(context);
        if (offset + size > TPL_SAVE_SIZE)
            return 0;
        ++c.programs;
        for (std::uint32_t i = 0; i < size; ++i) {
            if (!c.powered())
                return 0;
            c.bytes[offset + i] &= data[i];
        }
        return 1;
    }
};
