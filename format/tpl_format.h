/* The cartridge format: what the packer appends to the emulator image in tpl.gba and the
 * cartridge reads back. Plain C, included by the packer (core/) and the cartridge (gba/); the one
 * place where records, kinds, key codes and key names are defined.
 *
 * Catalogue form: entry records (32 bytes each), an end record (32 zero bytes), then the
 * snapshot files. Plug-in form: key records (42 bytes each), the first one named "<POGOSHELL>"
 * (the default keys), then one zero byte; the snapshot comes from Pogoshell. The table starts at
 * the image's end, which is word aligned. Numbers are little-endian. */
#ifndef TAPELOOM_TPL_FORMAT_H
#define TAPELOOM_TPL_FORMAT_H

#include <stddef.h>
#include <stdint.h>

/* Key slots: one per handheld button, in the order of the GBA's KEYINPUT bits. */
#define TPL_KEY_SLOTS 10 /* A, B, Select, Start, Right, Left, Up, Down, R, L */

/* Entry record: one snapshot of the catalogue. */
#define TPL_ENTRY_SIZE 32
#define TPL_ENTRY_NAME_LENGTH 15 /* display name, space padded, single-byte text, then a 0 */
#define TPL_ENTRY_DATA_OFFSET 16 /* 32 bits: the snapshot's first byte, from the table's start */
#define TPL_ENTRY_KIND 20        /* enum TplKind */
#define TPL_ENTRY_RESERVED 21    /* 0 */
#define TPL_ENTRY_KEYS 22        /* TPL_KEY_SLOTS key codes */

/* Key record of the plug-in form: the keys of one TPL.INI section. */
#define TPL_KEY_RECORD_SIZE 42
#define TPL_KEY_RECORD_NAME_LENGTH 31 /* lower-case section name, space padded, then a 0 */
#define TPL_KEY_RECORD_KEYS 32
#define TPL_PLUGIN_HEAD_NAME "<POGOSHELL>"

/* The last entry's size is not in the table (nothing follows it). */
#define TPL_SIZE_UNKNOWN 0xFFFFFFFFu

enum TplKind { TPL_KIND_SNA = 0, TPL_KIND_Z80 = 1 };

#ifdef __cplusplus
#define TPL_FORMAT_CHECK(what, why) static_assert(what, why)
#else
#define TPL_FORMAT_CHECK(what, why) _Static_assert(what, why)
#endif

/* The records laid over memory (the cartridge reads them in place). */
typedef struct TplEntry {
    char name[TPL_ENTRY_NAME_LENGTH];
    uint8_t name_end;     /* 0 */
    uint32_t data_offset; /* TPL_ENTRY_DATA_OFFSET */
    uint8_t kind;
    uint8_t reserved;
    uint8_t keys[TPL_KEY_SLOTS];
} TplEntry;
TPL_FORMAT_CHECK(sizeof(TplEntry) == TPL_ENTRY_SIZE &&
                     offsetof(TplEntry, data_offset) == TPL_ENTRY_DATA_OFFSET &&
                     offsetof(TplEntry, kind) == TPL_ENTRY_KIND &&
                     offsetof(TplEntry, reserved) == TPL_ENTRY_RESERVED &&
                     offsetof(TplEntry, keys) == TPL_ENTRY_KEYS,
                 "entry record layout");

typedef struct TplKeyRecord {
    char name[TPL_KEY_RECORD_NAME_LENGTH];
    uint8_t name_end; /* 0 */
    uint8_t keys[TPL_KEY_SLOTS];
} TplKeyRecord;
TPL_FORMAT_CHECK(sizeof(TplKeyRecord) == TPL_KEY_RECORD_SIZE &&
                     offsetof(TplKeyRecord, keys) == TPL_KEY_RECORD_KEYS,
                 "key record layout");

/* Key codes and the names TPL.INI stores them by. Codes 1-40 walk the Spectrum keyboard by
 * half-row (port 0x7FFE first), each half-row from its inner key outwards: code
 * 5 * row + (4 - bit) + 1. Codes 41-45 are the Kempston joystick's lines in bit order. 0 is no
 * key. X(constant, code, name) */
#define TPL_KEY_TABLE(X)                                                                           \
    X(TPL_KEY_B, 1, "B")                                                                           \
    X(TPL_KEY_N, 2, "N")                                                                           \
    X(TPL_KEY_M, 3, "M")                                                                           \
    X(TPL_KEY_SYM_SHIFT, 4, "SYM SHIFT")                                                           \
    X(TPL_KEY_SPACE, 5, "SPACE")                                                                   \
    X(TPL_KEY_H, 6, "H")                                                                           \
    X(TPL_KEY_J, 7, "J")                                                                           \
    X(TPL_KEY_K, 8, "K")                                                                           \
    X(TPL_KEY_L, 9, "L")                                                                           \
    X(TPL_KEY_ENTER, 10, "ENTER")                                                                  \
    X(TPL_KEY_Y, 11, "Y")                                                                          \
    X(TPL_KEY_U, 12, "U")                                                                          \
    X(TPL_KEY_I, 13, "I")                                                                          \
    X(TPL_KEY_O, 14, "O")                                                                          \
    X(TPL_KEY_P, 15, "P")                                                                          \
    X(TPL_KEY_6, 16, "6")                                                                          \
    X(TPL_KEY_7, 17, "7")                                                                          \
    X(TPL_KEY_8, 18, "8")                                                                          \
    X(TPL_KEY_9, 19, "9")                                                                          \
    X(TPL_KEY_0, 20, "0")                                                                          \
    X(TPL_KEY_5, 21, "5")                                                                          \
    X(TPL_KEY_4, 22, "4")                                                                          \
    X(TPL_KEY_3, 23, "3")                                                                          \
    X(TPL_KEY_2, 24, "2")                                                                          \
    X(TPL_KEY_1, 25, "1")                                                                          \
    X(TPL_KEY_T, 26, "T")                                                                          \
    X(TPL_KEY_R, 27, "R")                                                                          \
    X(TPL_KEY_E, 28, "E")                                                                          \
    X(TPL_KEY_W, 29, "W")                                                                          \
    X(TPL_KEY_Q, 30, "Q")                                                                          \
    X(TPL_KEY_G, 31, "G")                                                                          \
    X(TPL_KEY_F, 32, "F")                                                                          \
    X(TPL_KEY_D, 33, "D")                                                                          \
    X(TPL_KEY_S, 34, "S")                                                                          \
    X(TPL_KEY_A, 35, "A")                                                                          \
    X(TPL_KEY_V, 36, "V")                                                                          \
    X(TPL_KEY_C, 37, "C")                                                                          \
    X(TPL_KEY_X, 38, "X")                                                                          \
    X(TPL_KEY_Z, 39, "Z")                                                                          \
    X(TPL_KEY_SHIFT, 40, "SHIFT")                                                                  \
    X(TPL_KEY_JOY_RIGHT, 41, "JOY RIGHT")                                                          \
    X(TPL_KEY_JOY_LEFT, 42, "JOY LEFT")                                                            \
    X(TPL_KEY_JOY_DOWN, 43, "JOY DOWN")                                                            \
    X(TPL_KEY_JOY_UP, 44, "JOY UP")                                                                \
    X(TPL_KEY_JOY_FIRE, 45, "JOY FIRE")

#define TPL_KEY_ENUM_(constant, code, name) constant = code,
enum TplKeyCode { TPL_KEY_NONE = 0, TPL_KEY_TABLE(TPL_KEY_ENUM_) };
#undef TPL_KEY_ENUM_

#define TPL_KEY_LAST_MATRIX TPL_KEY_SHIFT /* codes 1-40: keyboard; above: joystick */
#define TPL_KEY_MAX TPL_KEY_JOY_FIRE
#define TPL_KEY_COUNT_(constant, code, name) +1
TPL_FORMAT_CHECK(0 TPL_KEY_TABLE(TPL_KEY_COUNT_) == TPL_KEY_MAX, "one name for every key code");
#undef TPL_KEY_COUNT_

/* The TPL.INI name of key code `code`, NULL for 0 and for codes beyond TPL_KEY_MAX. */
static inline const char* tpl_key_name(unsigned code) {
#define TPL_KEY_NAME_(constant, code, name) name,
    static const char* const names[] = {TPL_KEY_TABLE(TPL_KEY_NAME_)};
#undef TPL_KEY_NAME_
    return code >= 1 && code <= TPL_KEY_MAX ? names[code - 1] : NULL;
}

#endif
