# The GBA images, built with Debian's arm-none-eabi-gcc: configured by gba/CMakeLists.txt as an
# ExternalProject with toolchain-arm-none-eabi.cmake; its binary folder is <build>/gba-cross.
#
#   gba_target_settings(<target> [ARM_SOURCES <files...>])
#       GBA compile options for a target: Thumb C unless the file is listed as ARM (-marm).
#       Assembly chooses its own state with .arm/.thumb and goes through the C preprocessor
#       when its name ends in .S.
#
#   add_gba_image(NAME <name> SOURCES <files...> [ARM_SOURCES <files...>] [LIBS ...]
#                 [LINK_OPTIONS ...] [BUDGET])
#       Compiles, links with boot/crt0.S and the linker script, writes ${CMAKE_BINARY_DIR}/<name>.gba
#       (and .elf, .map), fails the build unless __image_end - 0x08000000 equals the file size
#       and the cartridge header (logo, 0x96, complement) is valid. BUDGET: the link map is
#       checked against memory_budget.txt as well (docs/memory-map.md). LINK_OPTIONS go to the
#       linker driver, e.g. -Wl,--defsym=__sys_stack_size=0x400 for a smaller System-mode stack.
#
# Code in IWRAM (ARM state, full speed): IWRAM_CODE from hw/gba_types.h (ZX_HOT in the emulator
# library), or in assembly a section named .iwram or .iwram.<something> ("ax", %progbits).
# Data: IWRAM_DATA (.iwram.data), EWRAM_DATA (.ewram, initialised), EWRAM_BSS (.ewram_bss).

set(TAPELOOM_ROOT ${CMAKE_CURRENT_LIST_DIR}/..)
set(TAPELOOM_GBA_DIR ${CMAKE_CURRENT_LIST_DIR})
set(TAPELOOM_GBA_ARCH -mcpu=arm7tdmi -mtune=arm7tdmi -mthumb-interwork)
set(TAPELOOM_GBA_CFLAGS
    -O2 -ffreestanding -fno-common -ffunction-sections -fdata-sections -fomit-frame-pointer
    -Wall -Wextra -Wno-unused-parameter -Wshadow)
set(CMAKE_C_STANDARD 11)
set(CMAKE_C_EXTENSIONS ON)
find_program(TAPELOOM_GBA_OBJCOPY NAMES ${CMAKE_OBJCOPY} arm-none-eabi-objcopy REQUIRED)
find_program(TAPELOOM_GBA_NM NAMES ${CMAKE_NM} arm-none-eabi-nm REQUIRED)
find_program(TAPELOOM_PYTHON3 python3 REQUIRED)

function(gba_target_settings target)
    cmake_parse_arguments(G "" "" "ARM_SOURCES" ${ARGN})
    target_compile_options(${target} PRIVATE ${TAPELOOM_GBA_ARCH}
        $<$<COMPILE_LANGUAGE:C>:${TAPELOOM_GBA_CFLAGS}>)
    # Thumb unless the file is listed as ARM; -marm comes last so it wins.
    target_compile_options(${target} PRIVATE $<$<COMPILE_LANGUAGE:C>:-mthumb>)
    foreach(src IN LISTS G_ARM_SOURCES)
        set_property(SOURCE ${src} TARGET_DIRECTORY ${target} APPEND PROPERTY COMPILE_OPTIONS -marm)
    endforeach()
endfunction()

# The linker script, through the C preprocessor for the addresses it shares with the code.
set(TAPELOOM_GBA_LINKER_SCRIPT ${CMAKE_BINARY_DIR}/gba.ld)
add_custom_command(OUTPUT ${TAPELOOM_GBA_LINKER_SCRIPT}
    COMMAND ${CMAKE_C_COMPILER} -E -P -x assembler-with-cpp -I${TAPELOOM_GBA_DIR}
        ${TAPELOOM_GBA_DIR}/boot/gba.ld.in -o ${TAPELOOM_GBA_LINKER_SCRIPT}
    DEPENDS ${TAPELOOM_GBA_DIR}/boot/gba.ld.in ${TAPELOOM_GBA_DIR}/state_blocks.h
        ${TAPELOOM_GBA_DIR}/hw/gba_memmap.h
    COMMENT "Preprocessing the linker script"
    VERBATIM)
add_custom_target(gba_linker_script DEPENDS ${TAPELOOM_GBA_LINKER_SCRIPT})

function(add_gba_image)
    cmake_parse_arguments(G "BUDGET" "NAME" "SOURCES;ARM_SOURCES;LIBS;LINK_OPTIONS" ${ARGN})
    set(elf ${G_NAME})
    set(map ${CMAKE_BINARY_DIR}/${G_NAME}.map)
    add_executable(${elf} ${TAPELOOM_GBA_DIR}/boot/crt0.S ${G_SOURCES} ${G_ARM_SOURCES})
    set_target_properties(${elf} PROPERTIES SUFFIX .elf)
    gba_target_settings(${elf} ARM_SOURCES ${G_ARM_SOURCES})
    target_link_libraries(${elf} PRIVATE ${G_LIBS} gba_hw)
    target_link_options(${elf} PRIVATE ${TAPELOOM_GBA_ARCH} -mthumb -nostartfiles
        -specs=nosys.specs -T ${TAPELOOM_GBA_LINKER_SCRIPT} -Wl,--gc-sections
        -Wl,-Map=${map} -Wl,--no-warn-rwx-segments ${G_LINK_OPTIONS})
    add_dependencies(${elf} gba_linker_script)
    set_property(TARGET ${elf} APPEND PROPERTY LINK_DEPENDS ${TAPELOOM_GBA_LINKER_SCRIPT})
    set(gba ${CMAKE_BINARY_DIR}/${G_NAME}.gba)
    set(budget "")
    if(G_BUDGET)
        set(budget COMMAND ${TAPELOOM_PYTHON3} ${TAPELOOM_GBA_DIR}/memory_budget.py
            ${TAPELOOM_GBA_DIR}/memory_budget.txt ${map})
    endif()
    add_custom_command(TARGET ${elf} POST_BUILD
        COMMAND ${TAPELOOM_GBA_OBJCOPY} -O binary $<TARGET_FILE:${elf}> ${gba}
        COMMAND ${CMAKE_COMMAND} -DELF=$<TARGET_FILE:${elf}> -DGBA=${gba}
            -DNM=${TAPELOOM_GBA_NM} -P ${TAPELOOM_GBA_DIR}/check_image.cmake
        ${budget}
        BYPRODUCTS ${gba}
        COMMENT "Making ${G_NAME}.gba"
        VERBATIM)
endfunction()

# The hardware layer (hw/), and the addresses shared with the tests (state_blocks.h).
add_library(gba_hw STATIC ${TAPELOOM_GBA_DIR}/hw/irq.c)
gba_target_settings(gba_hw)
target_include_directories(gba_hw PUBLIC ${TAPELOOM_GBA_DIR})

# The emulator library (Z80 core with its ARM fast path, the 48K machine).
add_subdirectory(${TAPELOOM_ROOT}/zx ${CMAKE_BINARY_DIR}/zx)

# The save memory: the flash chip and what is stored in it (states, settings).
add_library(gba_save STATIC
    ${TAPELOOM_GBA_DIR}/save/flash.c
    ${TAPELOOM_GBA_DIR}/save/save_store.c)
gba_target_settings(gba_save)
target_include_directories(gba_save PUBLIC ${TAPELOOM_ROOT}/format)
target_link_libraries(gba_save PUBLIC gba_hw tapeloom_zx)

# The start menu: catalogue reader, text screen, the selected entry's screen, buttons.
add_library(gba_menu STATIC
    ${TAPELOOM_GBA_DIR}/input.c
    ${TAPELOOM_GBA_DIR}/menu/catalogue.c
    ${TAPELOOM_GBA_DIR}/menu/font.c
    ${TAPELOOM_GBA_DIR}/menu/menu.c
    ${TAPELOOM_GBA_DIR}/menu/preview.c
    ${TAPELOOM_GBA_DIR}/menu/text.c)
gba_target_settings(gba_menu)
target_include_directories(gba_menu PUBLIC ${TAPELOOM_ROOT}/format)
target_link_libraries(gba_menu PUBLIC gba_hw gba_save tapeloom_zx)

# The emulator's face: screen, sound, overlay, the start of a snapshot, and the ROMs it runs
# (TAPELOOM_OPENSE_ROM and ROM 0 from zx/rom0, embedded).
if(NOT EXISTS "${TAPELOOM_OPENSE_ROM}")
    message(FATAL_ERROR
        "The 48K ROM ${TAPELOOM_OPENSE_ROM} is missing (Debian package opense-basic)")
endif()
file(SIZE "${TAPELOOM_OPENSE_ROM}" spectrum_rom_size)
if(NOT spectrum_rom_size EQUAL 16384)
    message(FATAL_ERROR "${TAPELOOM_OPENSE_ROM} is ${spectrum_rom_size} bytes, not a 16 KiB ROM")
endif()
configure_file(${TAPELOOM_GBA_DIR}/play/rom.s.in ${CMAKE_BINARY_DIR}/spectrum_rom.s @ONLY)
set_source_files_properties(${CMAKE_BINARY_DIR}/spectrum_rom.s PROPERTIES
    OBJECT_DEPENDS "${TAPELOOM_OPENSE_ROM};${ZX_ROM0_IMAGE}")
add_library(gba_play STATIC
    ${TAPELOOM_GBA_DIR}/play/display.c
    ${TAPELOOM_GBA_DIR}/play/display_convert.S
    ${TAPELOOM_GBA_DIR}/play/keyboard_overlay.c
    ${TAPELOOM_GBA_DIR}/play/overlay.c
    ${TAPELOOM_GBA_DIR}/play/play.c
    ${TAPELOOM_GBA_DIR}/play/save_states.c
    ${TAPELOOM_GBA_DIR}/play/sound.c
    ${TAPELOOM_GBA_DIR}/play/sound_irq.S
    ${CMAKE_BINARY_DIR}/spectrum_rom.s)
gba_target_settings(gba_play)
target_link_libraries(gba_play PUBLIC gba_menu tapeloom_zx)

# tpl.gba: the start menu with the emulator behind it; its memory is held to the budgets.
add_dependencies(gba_play zx_rom0)
add_gba_image(NAME tpl SOURCES ${TAPELOOM_GBA_DIR}/main.c LIBS gba_play BUDGET)

# Test images: tpl_menu.gba (the menu with its own details view instead of the emulator), the
# Z80 core's instruction vectors and benchmark, the AY's benchmark, the beeper's renderer.
include(${TAPELOOM_ROOT}/tests/gba/images/images.cmake)
include(${TAPELOOM_ROOT}/tests/zx/z80/gba/images.cmake)
include(${TAPELOOM_ROOT}/tests/zx/ay/gba/images.cmake)
include(${TAPELOOM_ROOT}/tests/zx/spectrum/gba/images.cmake)
