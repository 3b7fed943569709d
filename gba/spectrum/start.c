/* The emulator takes over the boot image's two actions: a picked catalogue entry, and the
 * snapshot Pogoshell opened with the plug-in. */
#include "catalogue.h"
#include "menu.h"
#include "snapshot.h"
#include "spectrum.h"

/* The last entry's size is not in the table: a .SNA is then taken to be a 48K one, and a .Z80
 * is read up to the end of the cartridge space (its loader stops when the memory is full). */
static u32 entry_size(const u8* data, u32 size, int kind) {
    if (size != TPL_SIZE_UNKNOWN)
        return size;
    if (kind == TPL_KIND_SNA)
        return 27 + SPECTRUM_RAM_SIZE;
    return (u32)(0x0A000000u - (u32)data);
}

void tpl_pick_entry(const TplCatalogue* c, int index) {
    if (index < 0 || index >= c->entry_count)
        return;
    const TplEntry* entry = &c->entries[index];
    SpectrumGame game;
    game.data = tpl_entry_data(index);
    game.kind = entry->kind == TPL_KIND_SNA ? 0 : 1;
    game.size = entry_size(game.data, tpl_entry_size(index), entry->kind);
    game.keys = entry->keys;
    game.has_menu = 1;
    spectrum_play(&game);
}

void tpl_start_plugin(const TplCatalogue* c) {
    const TplPogoshellArgs* p = &c->pogoshell;
    if (!p->present || !p->data) {
        spectrum_message(
            "Tapeloom plug-in",
            "This plug-in must be started\nfrom Pogoshell: open a .sna\nor .z80 file there.", 0);
        return;
    }
    SpectrumGame game;
    game.data = p->data;
    game.size = p->size;
    game.kind = p->kind == TPL_KIND_SNA ? 0 : 1;
    game.keys = p->keys ? p->keys->keys : c->head->keys;
    game.has_menu = 0;
    for (;;)
        spectrum_play(&game); /* there is no menu: "Reset snapshot" is the way back in */
}

/* A cartridge of one snapshot starts it at once; "Back to menu" then shows the list. */
int tpl_start_single_entry(void) {
    return 1;
}
