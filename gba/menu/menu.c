#include "menu/menu.h"

#include "input.h"
#include "menu/preview.h"
#include "menu/text.h"
#include "menu_state.h"
#include "save/flash.h"

#define LIST_FIRST_ROW 2
#define LIST_ROWS 15
#define LIST_WIDTH 15 /* the names; the right half shows the selected entry */
#define NAME_ROW 14
#define KIND_ROW 15
#define STATUS_ROW 18
#define HINT_ROW 19

static const char* const slot_labels[TPL_KEY_SLOTS] = {
    "A", "B", "SELECT", "START", "RIGHT", "LEFT", "UP", "DOWN", "R", "L",
};

/* One frame: wait for VBlank, count it, read the keys; returns those newly pressed (the D-pad
 * and shoulders repeat while held). */
static u32 next_frame(void) {
    bios_vblank_intr_wait();
    MENU_STATE->frames++;
    input_poll();
    return input_pressed(1);
}

static void put_bar(int row, const char* left) {
    text_clear_row(row, TEXT_TITLE);
    text_put(1, row, left, TEXT_TITLE);
}

static const char* kind_text(u8 kind) {
    return kind == TPL_KIND_SNA ? "SNA" : "Z80";
}

static const char* status_text(int status) {
    switch (status) {
    case TPL_TABLE_NO_END:
        return "Table has no end record";
    case TPL_TABLE_BAD_OFFSETS:
        return "Table offsets do not fit";
    default:
        return 0;
    }
}

static int digits_of(u32 n) {
    int d = 1;
    while (n >= 10) {
        n /= 10;
        ++d;
    }
    return d;
}

/* Right-aligned number in a field of `width` columns. */
static int put_dec_right(int col, int row, u32 value, int width, enum TextStyle style) {
    for (int pad = width - digits_of(value); pad > 0; --pad)
        col = text_put_char(col, row, ' ', style);
    return text_put_dec(col, row, value, style);
}

/* The list in the left half, the selected entry's screen, name and kind in the right half. */
static void draw_list(const TplCatalogue* c, int cursor, int top, const char* hint) {
    put_bar(0, "TAPELOOM");
    int col = TEXT_COLS - 2 - digits_of((u32)cursor + 1) - digits_of((u32)c->entry_count);
    col = text_put_dec(col, 0, (u32)cursor + 1, TEXT_TITLE);
    col = text_put_char(col, 0, '/', TEXT_TITLE);
    text_put_dec(col, 0, (u32)c->entry_count, TEXT_TITLE);
    text_clear_row(1, TEXT_NORMAL);
    for (int i = 0; i < LIST_ROWS; ++i) {
        int row = LIST_FIRST_ROW + i;
        int index = top + i;
        text_clear_row(row, TEXT_NORMAL);
        if (index < c->entry_count)
            text_put_field(0, row, c->entries[index].name, LIST_WIDTH,
                           index == cursor ? TEXT_CURSOR : TEXT_NORMAL);
    }
    /* Scroll marks above and below the list. */
    text_clear_row(LIST_FIRST_ROW + LIST_ROWS, TEXT_NORMAL);
    text_put_char(LIST_WIDTH / 2, 1, top > 0 ? '^' : ' ', TEXT_DIM);
    text_put_char(LIST_WIDTH / 2, LIST_FIRST_ROW + LIST_ROWS,
                  top + LIST_ROWS < c->entry_count ? 'v' : ' ', TEXT_DIM);
    const TplEntry* e = &c->entries[cursor];
    text_put_field(LIST_WIDTH, NAME_ROW, e->name, TEXT_COLS - LIST_WIDTH, TEXT_VALUE);
    col = text_put(LIST_WIDTH, KIND_ROW, kind_text(e->kind), TEXT_DIM);
    u32 size = tpl_entry_size(cursor);
    if (size != TPL_SIZE_UNKNOWN) {
        col = text_put_dec(col + 2, KIND_ROW, (size + 1023) / 1024, TEXT_DIM);
        text_put(col, KIND_ROW, " KiB", TEXT_DIM);
    }
    text_clear_row(STATUS_ROW, TEXT_NORMAL);
    if (status_text(c->status))
        text_put(1, STATUS_ROW, status_text(c->status), TEXT_ALERT);
    text_clear_row(HINT_ROW, TEXT_TITLE);
    col = text_put(1, HINT_ROW, hint, TEXT_TITLE);
    text_put(col + 2, HINT_ROW, "L/R:page", TEXT_TITLE);
}

/* The selected entry's screen; where it cannot be read, a line says so. */
static void show_preview(const TplCatalogue* c, int index) {
    const TplEntry* e = &c->entries[index];
    const u8* data = tpl_entry_data(index);
    u32 size = tpl_entry_size(index);
    if (size == TPL_SIZE_UNKNOWN) /* the last entry: up to the end of the cartridge space */
        size = (u32)(MEM_ROM_END - (u32)data);
    int result = preview_show(data, size, e->kind);
    volatile MenuState* s = MENU_STATE;
    s->preview_entry = 0xFFFFFFFFu; /* until the picture is drawn */
    s->preview_result = (u32)result;
    s->preview_screen = (u32)preview_screen();
    text_put(LIST_WIDTH + 2, PREVIEW_Y / 8 + 5, result ? "No picture" : "          ", TEXT_DIM);
}

static void put_label(int row, const char* label) {
    text_clear_row(row, TEXT_NORMAL);
    text_put(1, row, label, TEXT_DIM);
}

static void put_key_line(int row, int slot, u8 code) {
    text_clear_row(row, TEXT_NORMAL);
    text_put(2, row, slot_labels[slot], TEXT_DIM);
    put_dec_right(10, row, code, 2, TEXT_VALUE);
    text_put(15, row, tpl_key_text(code), TEXT_NORMAL);
}

static void record_pick(const TplCatalogue* c, int index) {
    volatile MenuState* s = MENU_STATE;
    const TplEntry* e = &c->entries[index];
    s->picked = index;
    s->picked_offset = e->data_offset;
    s->picked_size = tpl_entry_size(index);
    s->picked_kind = e->kind;
    for (int i = 0; i < TPL_KEY_SLOTS; ++i)
        s->picked_keys[i] = e->keys[i];
}

static void show_details(const TplCatalogue* c, int index) {
    const TplEntry* e = &c->entries[index];
    preview_hide();
    text_clear();
    put_bar(0, "ENTRY");
    int col = text_put_dec(7, 0, (u32)index + 1, TEXT_TITLE);
    col = text_put(col, 0, " OF ", TEXT_TITLE);
    text_put_dec(col, 0, (u32)c->entry_count, TEXT_TITLE);

    put_label(2, "Name");
    text_put_field(9, 2, e->name, 15, TEXT_VALUE);
    put_label(3, "Kind");
    text_put(9, 3, kind_text(e->kind), TEXT_VALUE);
    put_label(4, "Offset");
    col = text_put_dec(9, 4, e->data_offset, TEXT_VALUE);
    col = text_put(col + 1, 4, "0x", TEXT_DIM);
    text_put_hex(col, 4, e->data_offset, 8, TEXT_DIM);
    put_label(5, "Address");
    text_put(9, 5, "0x", TEXT_DIM);
    text_put_hex(11, 5, (u32)(c->table + e->data_offset), 8, TEXT_VALUE);
    put_label(6, "Size");
    u32 size = tpl_entry_size(index);
    if (size == TPL_SIZE_UNKNOWN)
        text_put(9, 6, "unknown", TEXT_DIM);
    else
        text_put_dec(9, 6, size, TEXT_VALUE);

    put_label(8, "Button");
    text_put(10, 8, "Code", TEXT_DIM);
    text_put(15, 8, "Spectrum key", TEXT_DIM);
    for (int i = 0; i < TPL_KEY_SLOTS; ++i)
        put_key_line(9 + i, i, e->keys[i]);
    put_bar(HINT_ROW, "B:back");

    record_pick(c, index);
    MENU_STATE->screen = MENU_SCREEN_DETAILS;
    while (!(next_frame() & KEY_B)) {
    }
    MENU_STATE->picked = -1;
}

static void draw_empty(const TplCatalogue* c) {
    text_clear();
    put_bar(0, "TAPELOOM");
    text_put(1, 3, "No snapshots follow this", TEXT_NORMAL);
    text_put(1, 4, "emulator image.", TEXT_NORMAL);
    text_put(1, 6, "Add some with Tapeloom and", TEXT_DIM);
    text_put(1, 7, "write the cartridge again.", TEXT_DIM);
    text_put(1, 9, "Table at 0x", TEXT_DIM);
    text_put_hex(12, 9, (u32)c->table, 8, TEXT_DIM);
}

static void start_state(const TplCatalogue* c) {
    volatile MenuState* s = MENU_STATE;
    s->screen = MENU_SCREEN_BOOT;
    s->form = (u32)c->form;
    s->table_status = (u32)c->status;
    s->entry_count = (u32)c->entry_count;
    s->cursor = 0;
    s->top = 0;
    s->picked = -1;
    s->key_records = (u32)c->key_record_count;
    s->pogoshell = (u32)c->pogoshell.present;
    s->pogoshell_record = c->pogoshell.key_index;
    s->pogoshell_size = c->pogoshell.size;
    s->table_address = (u32)c->table;
    s->frames = 0;
    s->preview_entry = 0xFFFFFFFFu;
    s->remembered = -1;
    s->magic = MENU_STATE_MAGIC;
}

/* The entry the menu selects at start: the one started last, if the save memory remembers it
 * and it is still the same snapshot at the same place. */
static int remembered_entry(const TplCatalogue* c) {
    u16 index;
    u32 id;
    if (!save_settings_last_played(&save_flash, &index, &id) || index >= c->entry_count ||
        tpl_entry_identity(index) != id)
        return -1;
    return index;
}

static void show_list(void) {
    text_init();
    preview_init();
}

static void run_catalogue(const TplCatalogue* c, const MenuActions* actions) {
    start_state(c);
    if (c->entry_count == 0) {
        draw_empty(c);
        MENU_STATE->screen = MENU_SCREEN_EMPTY;
        for (;;)
            next_frame();
    }
    if (c->entry_count == 1 && actions->start_single_entry) {
        actions->pick_entry(c, 0);
        show_list();
    }
    int cursor = 0;
    int top = 0;
    int remembered = c->entry_count > 1 ? remembered_entry(c) : -1;
    MENU_STATE->remembered = remembered;
    if (remembered > 0) {
        cursor = remembered;
        top = cursor >= LIST_ROWS ? cursor - LIST_ROWS / 2 : 0;
        if (top > c->entry_count - LIST_ROWS)
            top = c->entry_count > LIST_ROWS ? c->entry_count - LIST_ROWS : 0;
    }
    show_list();
    int redraw = 1;
    int preview_due = 1;
    int picture_done = 1;
    for (;;) {
        if (redraw) {
            draw_list(c, cursor, top, actions->pick_hint);
            MENU_STATE->cursor = (u32)cursor;
            MENU_STATE->top = (u32)top;
            MENU_STATE->screen = MENU_SCREEN_LIST;
            redraw = 0;
        }
        u32 keys = next_frame();
        /* The picture follows once the cursor rests (no D-pad or shoulder button held): reading
         * and scaling a screen takes two or three frames, which would slow down scrolling. */
        if (preview_due &&
            !(input_held() & (KEY_UP | KEY_DOWN | KEY_LEFT | KEY_RIGHT | KEY_L | KEY_R))) {
            show_preview(c, cursor);
            preview_due = 0;
            picture_done = 0;
        } else if (!preview_due && !picture_done && preview_step()) {
            picture_done = 1;
            MENU_STATE->preview_entry = (u32)cursor;
        }
        int moved = cursor;
        if (keys & KEY_DOWN)
            moved += 1;
        if (keys & KEY_UP)
            moved -= 1;
        if (keys & (KEY_R | KEY_RIGHT))
            moved += LIST_ROWS;
        if (keys & (KEY_L | KEY_LEFT))
            moved -= LIST_ROWS;
        if (moved < 0)
            moved = 0;
        if (moved >= c->entry_count)
            moved = c->entry_count - 1;
        if (moved != cursor) {
            cursor = moved;
            if (cursor < top)
                top = cursor;
            if (cursor >= top + LIST_ROWS)
                top = cursor - LIST_ROWS + 1;
            redraw = 1;
            preview_due = 1;
        }
        if (keys & KEY_A) {
            save_settings_set_last_played(&save_flash, (u16)cursor, tpl_entry_identity(cursor));
            actions->pick_entry(c, cursor);
            show_list();
            redraw = 1;
            preview_due = 1;
        }
    }
}

static void draw_plugin(const TplCatalogue* c) {
    const TplPogoshellArgs* p = &c->pogoshell;
    text_clear();
    put_bar(0, "TAPELOOM  POGOSHELL PLUG-IN");
    put_label(2, "Key records");
    text_put_dec(14, 2, (u32)c->key_record_count, TEXT_VALUE);
    if (c->status != TPL_TABLE_OK)
        text_put(1, 3, "Key table has no end byte", TEXT_ALERT);
    put_label(4, "Arguments");
    text_put(14, 4, p->present ? "present" : "absent", TEXT_VALUE);
    if (!p->present) {
        text_put(1, 6, "Open a .sna or .z80 file in", TEXT_DIM);
        text_put(1, 7, "Pogoshell to start it here.", TEXT_DIM);
        put_bar(HINT_ROW, "Pogoshell plug-in");
        return;
    }
    put_label(5, "File");
    int len = 0;
    while (p->path[len])
        ++len;
    /* Long paths: show their end, where the file name is. */
    text_put(9, 5, len > TEXT_COLS - 10 ? p->path + len - (TEXT_COLS - 10) : p->path, TEXT_VALUE);
    put_label(6, "Size");
    text_put_dec(9, 6, p->size, TEXT_VALUE);
    put_label(7, "Kind");
    text_put(9, 7, kind_text((u8)p->kind), TEXT_VALUE);
    put_label(8, "Keys");
    text_put_field(9, 8, p->keys->name, 20, p->key_index < 0 ? TEXT_DIM : TEXT_VALUE);
    for (int i = 0; i < TPL_KEY_SLOTS; ++i)
        put_key_line(10 + i, i, p->keys->keys[i]);
}

static void show_plugin(const TplCatalogue* c) {
    start_state(c);
    draw_plugin(c);
    MENU_STATE->screen = MENU_SCREEN_PLUGIN;
    for (;;)
        next_frame();
}

const MenuActions menu_details_actions = {show_details, show_plugin, 0, "A:details"};

void menu_start(const MenuActions* actions) {
    /* The scan's own copy: one on the stack would hold the stack's deepest 232 bytes for as
     * long as the entries run. */
    tpl_catalogue_scan(0);
    const TplCatalogue* catalogue = tpl_catalogue();

    gba_irq_init_vblank();
    text_init();
    if (catalogue->form == TPL_FORM_PLUGIN)
        actions->start_plugin(catalogue);
    else
        run_catalogue(catalogue, actions);
    for (;;)
        bios_vblank_intr_wait();
}
