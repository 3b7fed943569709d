# The ZX Spectrum 48K emulator for tpl.gba: machine, display, sound, overlay and the start-up
# actions that replace the menu's defaults. The ROM is embedded from TAPELOOM_OPENSE_ROM.
set(spectrum_dir ${CMAKE_CURRENT_LIST_DIR})

if(NOT EXISTS "${TAPELOOM_OPENSE_ROM}")
    message(FATAL_ERROR
        "The 48K ROM ${TAPELOOM_OPENSE_ROM} is missing (Debian package opense-basic)")
endif()
file(SIZE "${TAPELOOM_OPENSE_ROM}" spectrum_rom_size)
if(NOT spectrum_rom_size EQUAL 16384)
    message(FATAL_ERROR "${TAPELOOM_OPENSE_ROM} is ${spectrum_rom_size} bytes, not a 16 KiB ROM")
endif()
configure_file(${spectrum_dir}/rom.s.in ${CMAKE_BINARY_DIR}/spectrum_rom.s @ONLY)
set_source_files_properties(${CMAKE_BINARY_DIR}/spectrum_rom.s PROPERTIES
    OBJECT_DEPENDS "${TAPELOOM_OPENSE_ROM}")

add_gba_library(NAME tapeloom_spectrum
    SOURCES
        ${spectrum_dir}/display.c
        ${spectrum_dir}/sound.c
        ${spectrum_dir}/spectrum.c
        ${CMAKE_BINARY_DIR}/spectrum_rom.s
    ARM_SOURCES
        ${spectrum_dir}/machine.c
        ${spectrum_dir}/beeper.c
        ${spectrum_dir}/keyboard.c
        ${spectrum_dir}/snapshot.c
    LIBS z80)

# start.c replaces the menu's weak actions: as an object of the image its strong definitions win.
list(APPEND TAPELOOM_TPL_SOURCES ${spectrum_dir}/start.c)
list(APPEND TAPELOOM_TPL_LIBS tapeloom_spectrum)
