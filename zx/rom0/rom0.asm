; ROM 0 of Tapeloom's Spectrum 128 (assembled with pasmo into a 16 KiB image).
;
; The machine runs the OpenSE BASIC ROM as ROM 1. This ROM does two things:
;  - at reset it pages ROM 1 in, as OpenSE's own stub does (LD BC,0x7FFD : LD A,0x10 :
;    OUT (C),A); OpenSE restarts itself at 0x0007, the first byte fetched after the OUT;
;  - at 0x0038 it has an IM 1 interrupt handler with the 48K ROM's effect, for programs that
;    page ROM 0 in while their interrupts still go through 0x0038: FRAMES counts on (three
;    bytes) and the keyboard is read into KSTATE, LAST_K and FLAGS bit 5 the way ROM 1 does it,
;    every register kept.
; 0x0066 returns from a non-maskable interrupt at once.
;
; It has nothing else: no 128 BASIC, no menu or editor, no RAM disk, no PLAY or SPECTRUM
; commands, no RS232 or keypad code, no restarts (RST 28h does not call into ROM 1). Every
; other byte is 0xFF.
;
; The handler finds the system variables at their fixed addresses, not through IY, so a program
; that changed IY still gets its keys and no stray writes. Keys decode as in ROM 1's L/C modes
; (lower case, CAPS SHIFT capitals, CAPS LOCK from FLAGS2, SYMBOL SHIFT symbols, CAPS SHIFT +
; digit the editing codes) whatever MODE holds: E and G modes are editor states.
;
; Copyright (C) the Tapeloom authors. GPL-2.0-or-later, like OpenSE BASIC, whose key codes
; it gives.

KSTATE  EQU 23552       ; two slots of 4 bytes: key (0xFF free), timeout, repeat count, code
LAST_K  EQU 23560
REPDEL  EQU 23561       ; frames before a held key repeats
REPPER  EQU 23562       ; frames between repeats
FLAGS   EQU 23611       ; bit 5: a new key is in LAST_K
FLAGS2  EQU 23658       ; bit 3: CAPS LOCK
FRAMES  EQU 23672       ; 3 bytes, counted by every interrupt

CAPS_SHIFT   EQU 0x27   ; key codes of the shift keys
SYMBOL_SHIFT EQU 0x18
NO_KEY       EQU 0xFF

        ORG 0x0000
reset:  LD BC,0x7FFD
        LD A,0x10       ; ROM 1, RAM bank 0, normal screen, paging unlocked
        OUT (C),A       ; the next fetch, at 0x0007, comes from ROM 1
        JR reset        ; reached only when paging is locked

        DEFS 0x0038 - $, 0xFF

interrupt:
        PUSH AF
        PUSH HL
        LD HL,FRAMES
        INC (HL)
        JR NZ,int_keys
        INC HL
        INC (HL)
        JR NZ,int_keys
        INC HL
        INC (HL)
int_keys:
        PUSH BC
        PUSH DE
        CALL keyboard
        POP DE
        POP BC
        POP HL
        POP AF
        EI
        RET

        DEFS 0x0066 - $, 0xFF

nmi:    RETN

; Reads the keys once per interrupt. A key takes a free slot of KSTATE and becomes LAST_K with
; FLAGS bit 5 set; held, it repeats after REPDEL frames and then every REPPER frames; a slot is
; freed when its key has not been seen for five interrupts. With more keys held than make one
; key (two besides the shifts), nothing changes.
keyboard:
        CALL scan
        RET NZ
        LD HL,KSTATE
        CALL age_slot
        LD HL,KSTATE+4
        CALL age_slot
        CALL key_char
        RET NC
        LD HL,KSTATE
        CP (HL)
        JR Z,kb_repeat
        LD HL,KSTATE+4
        CP (HL)
        JR Z,kb_repeat
        BIT 7,(HL)      ; the second slot is taken first when free
        JR NZ,kb_new
        LD HL,KSTATE
        BIT 7,(HL)
        RET Z           ; both slots busy with other keys
kb_new: LD (HL),A
        INC HL
        LD (HL),5
        INC HL
        LD C,A
        LD A,(REPDEL)
        LD (HL),A
        INC HL
        LD A,C
        PUSH HL
        CALL decode
        POP HL
        LD (HL),A
kb_report:
        LD (LAST_K),A
        LD HL,FLAGS
        SET 5,(HL)
        RET
kb_repeat:
        INC HL
        LD (HL),5
        INC HL
        DEC (HL)
        RET NZ
        LD A,(REPPER)
        LD (HL),A
        INC HL
        LD A,(HL)
        JR kb_report

; HL: a KSTATE slot. A taken slot counts its timeout down and is freed at 0.
age_slot:
        BIT 7,(HL)
        RET NZ
        INC HL
        DEC (HL)
        DEC HL
        RET NZ
        LD (HL),NO_KEY
        RET

; Reads the eight half-rows. Out: E the key held (0xFF none), D the shift key held with it
; (0xFF none); Z when that is all that is held. Key codes: 0x27 - 8 x bit - half-row, the
; half-rows numbered from port 0xFEFE (0) to 0x7FFE (7); CAPS SHIFT is 0x27, SYMBOL SHIFT 0x18.
scan:   LD DE,0xFFFF
        LD BC,0xFEFE
        LD L,CAPS_SHIFT  ; code of bit 0 in this half-row
scan_row:
        IN A,(C)
        CPL
        AND 0x1F
        LD H,A          ; keys held in the half-row
        LD A,L
        JR Z,scan_next
scan_bit:
        SRL H
        JR NC,scan_up
        INC D           ; 0xFF while fewer than two keys were found
        RET NZ          ; a third key
        LD D,E
        LD E,A
scan_up:
        SUB 8
        INC H
        DEC H
        JR NZ,scan_bit
scan_next:
        DEC L
        RLC B
        JR C,scan_row
        LD A,D
        INC A
        RET Z           ; one key or none
        CP CAPS_SHIFT+1 ; two keys: CAPS SHIFT is always found first
        RET Z
        CP SYMBOL_SHIFT+1
        RET Z
        LD A,E          ; SYMBOL SHIFT found second: make it the shift
        LD E,D
        LD D,A
        CP SYMBOL_SHIFT
        RET

; E the key, D the shift. Out: carry and A the key's character, or no carry when there is no
; key to report (none, or a shift key on its own).
key_char:
        LD A,E
        CP CAPS_SHIFT
        RET NC
        CP SYMBOL_SHIFT
        JR NZ,kc_look
        BIT 7,D         ; SYMBOL SHIFT alone (carry is clear)
        RET NZ
kc_look:
        LD HL,key_chars
        LD C,A
        LD B,0
        ADD HL,BC
        LD A,(HL)
        SCF
        RET

; A the key's character, D the shift. Out: A the code the key gives.
decode:
        CP '0'
        RET C           ; SPACE, ENTER and CAPS + SYMBOL SHIFT (extend) give themselves
        CP '9'+1
        JR C,dec_digit
        BIT 0,D         ; SYMBOL SHIFT is the shift code with bit 0 clear
        JR Z,dec_symbol
        LD HL,FLAGS2
        BIT 3,(HL)
        JR NZ,dec_locked
        INC D
        RET NZ          ; CAPS SHIFT: the capital
        OR 0x20         ; no shift: lower case
        RET
dec_locked:
        INC D
        RET Z           ; CAPS LOCK: the capital
        OR 0x20         ; CAPS SHIFT under CAPS LOCK: lower case
        RET
dec_symbol:
        LD HL,symbol_letters - 'A'
        JR dec_look
dec_digit:
        INC D
        RET Z           ; no shift: the digit
        LD HL,symbol_digits - '0'
        BIT 5,D         ; D + 1: SYMBOL SHIFT 0x19, CAPS SHIFT 0x28
        JR Z,dec_look
        LD HL,control_digits - '0'
dec_look:
        LD C,A
        LD B,0
        ADD HL,BC
        LD A,(HL)
        RET

; The key of each code (CAPS SHIFT, 0x27, has none); 0x0E is SYMBOL SHIFT's.
key_chars:
        DEFB "BHY65TGV"
        DEFB "NJU74RFC"
        DEFB "MKI83EDX"
        DEFB 0x0E, "LO92WSZ"
        DEFB " ", 0x0D, "P01QA"
; SYMBOL SHIFT with A-Z.
symbol_letters:
        DEFB "~*?", 0x5C, 0xF7, "{}^", 0x7F, "-+=.,;", 0x22, 0xEF, "<|>]/", 0xAF, "`[:"
; SYMBOL SHIFT with 0-9.
symbol_digits:
        DEFB "_!@#$%&'()"
; CAPS SHIFT with 0-9: DELETE, EDIT, CAPS LOCK, TRUE VIDEO, INV. VIDEO, the cursor keys,
; GRAPHICS.
control_digits:
        DEFB 0x0C, 0x07, 0x06, 0x04, 0x05, 0x08, 0x0A, 0x0B, 0x09, 0x0F

        DEFS 0x4000 - $, 0xFF
