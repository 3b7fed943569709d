/* The cartridge's flash save chip, 128 KiB in two banks of 64 KiB behind the 64 KiB window at
 * MEM_SAVE (the command protocol of the 1 Mbit chips GBA cartridges carry). The image carries the
 * ID string TPL_SAVE_TYPE_ID so that flash cartridges and emulators provide this chip. */
#ifndef TAPELOOM_FLASH_H
#define TAPELOOM_FLASH_H

#include "save/save_store.h"

/* The chip as the save store's medium. Its first use talks to the chip with a command (a bank
 * switch) before reading anything: an emulator that picks the save type by the first access
 * then takes it for flash. */
extern const SaveMedium save_flash;

#endif
