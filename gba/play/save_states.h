/* Save states of the running game in the cartridge's save memory (gba/save): the machine's state
 * compressed (zx/spectrum/machine_state.h) into one of TPL_SAVE_SLOTS slots, with the entry it
 * belongs to, and back. A 48K's state is made in the RAM banks it leaves alone; a 128K's, which
 * uses them all, goes to and comes from the save memory in pieces. */
#ifndef TAPELOOM_SAVE_STATES_H
#define TAPELOOM_SAVE_STATES_H

#include "play_state.h"
#include "save/save_store.h"
#include "spectrum/machine.h"

/* Reads which slot holds what. */
void save_states_scan(SaveDirectory* dir);

/* Saves `machine` into `slot` for `owner`; returns enum SaveStateResult and writes a message for
 * the screen (lines split by '\n', 28 characters at most) into `message`. */
int save_states_save(const Spectrum* machine, const SaveOwner* owner, SaveDirectory* dir, int slot,
                     char* message, int message_size);

/* Loads the state of `slot` into `machine` if it is `owner`'s and whole; otherwise the machine
 * is left as it was. Returns enum SaveStateResult, with a message as above. */
int save_states_load(Spectrum* machine, const SaveOwner* owner, const SaveDirectory* dir, int slot,
                     char* message, int message_size);

#endif
