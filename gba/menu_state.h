/* The menu's state block at MENU_STATE_ADDRESS (state_blocks.h): what the menu shows, for tests
 * (and a debugger) that read it without decoding the screen. Plain C types only, so host code
 * can include it. */
#ifndef TAPELOOM_MENU_STATE_H
#define TAPELOOM_MENU_STATE_H

#include <stdint.h>

#include "state_blocks.h"

#define MENU_STATE_MAGIC 0x554E454Du /* "MENU" */

enum MenuScreen {
    MENU_SCREEN_BOOT = 0,    /* not drawn yet */
    MENU_SCREEN_LIST = 1,    /* catalogue: list of display names */
    MENU_SCREEN_DETAILS = 2, /* catalogue: one entry picked with A */
    MENU_SCREEN_PLUGIN = 3,  /* plug-in form: key records and Pogoshell's arguments */
    MENU_SCREEN_EMPTY = 4,   /* no entry records after the image */
};

typedef struct {
    uint32_t magic;           /* 0x00 MENU_STATE_MAGIC once the menu has started */
    uint32_t screen;          /* 0x04 enum MenuScreen */
    uint32_t form;            /* 0x08 enum TplForm */
    uint32_t table_status;    /* 0x0C enum TplTableStatus */
    uint32_t entry_count;     /* 0x10 */
    uint32_t cursor;          /* 0x14 selected entry */
    uint32_t top;             /* 0x18 first entry on screen */
    int32_t picked;           /* 0x1C entry in the details view, -1 none */
    uint32_t picked_offset;   /* 0x20 its data offset */
    uint32_t picked_size;     /* 0x24 its size, 0xFFFFFFFF unknown */
    uint32_t picked_kind;     /* 0x28 0 SNA, 1 Z80 */
    uint8_t picked_keys[12];  /* 0x2C its ten key codes */
    uint32_t key_records;     /* 0x38 plug-in form: key records after the head record */
    uint32_t pogoshell;       /* 0x3C 1 when Pogoshell's argument block was found */
    int32_t pogoshell_record; /* 0x40 key record matched by file name, -1 head record */
    uint32_t pogoshell_size;  /* 0x44 size of the opened file */
    uint32_t table_address;   /* 0x48 cartridge address of the table (the image's end) */
    uint32_t frames;          /* 0x4C frames the menu has run */
    uint32_t preview_entry;   /* 0x50 entry whose screen is shown, 0xFFFFFFFF none yet */
    uint32_t preview_result;  /* 0x54 SnapshotResult of reading that screen (0 shown) */
    uint32_t preview_screen;  /* 0x58 GBA address of the 6912 screen bytes read */
    int32_t remembered;       /* 0x5C entry selected at start from the save memory, -1 none */
} MenuState;

STATE_BLOCK_FITS(MenuState, MENU_STATE_ADDRESS, PLAY_STATE_ADDRESS);

#define MENU_STATE ((volatile MenuState*)MENU_STATE_ADDRESS)

#endif
