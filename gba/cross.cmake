# GBA images, built with Debian's arm-none-eabi-gcc (configured by gba/CMakeLists.txt as an
# ExternalProject with toolchain-arm-none-eabi.cmake; its binary folder is <build>/gba-cross).
#
# Functions for every part of gba/ (each gba/<part>/cross.cmake is included below):
#
#   add_gba_library(NAME <name> SOURCES <files...> [ARM_SOURCES <files...>]
#                   [DEFINES ...] [INCLUDES ...] [LIBS ...])
#       A static library of GBA objects. SOURCES are Thumb C (or assembly, which chooses its own
#       state with .arm/.thumb); ARM_SOURCES are compiled with -marm (whole files in ARM state).
#       Links gba_base (gba.h, font/text, interrupt set-up) publicly.
#
#   add_gba_image(NAME <name> SOURCES <files...> [ARM_SOURCES <files...>]
#                 [DEFINES ...] [INCLUDES ...] [LIBS ...] [WHOLE_LIBS ...] [LINK_OPTIONS ...])
#       Compiles, links with crt0.s + gba.ld, writes ${CMAKE_BINARY_DIR}/<name>.gba, fails the
#       build unless __image_end - 0x08000000 equals the file size and the cartridge header
#       (logo, 0x96, complement) is valid. WHOLE_LIBS are linked with --whole-archive so their
#       strong definitions replace weak defaults of the image (unused code is still dropped by
#       --gc-sections). LINK_OPTIONS go to the linker driver, e.g.
#       -Wl,--defsym=__sys_stack_size=0x400 to give the System-mode stack less IWRAM.
#       Also writes <name>.elf and <name>.map next to it.
#
# Code in IWRAM (ARM state, full speed): in C use IWRAM_CODE from gba.h, which expands to
#   __attribute__((section(".iwram"), target("arm"), noinline, long_call))
# (long_call because a Thumb branch from ROM cannot reach 0x03000000; give the declaration that
# callers see the same attribute). In assembly put the code in a section named .iwram or
# .iwram.<something> ("ax", %progbits) and call it from ROM with ldr rX, =fn; bx/mov lr,pc.
# Data: IWRAM_DATA (.iwram.data), EWRAM_DATA (.ewram, initialised), EWRAM_BSS (.ewram_bss).
#
# The main image tpl.gba: parts add to it from their cross.cmake with
#   list(APPEND TAPELOOM_TPL_SOURCES ...) / TAPELOOM_TPL_ARM_SOURCES / TAPELOOM_TPL_DEFINES /
#   TAPELOOM_TPL_INCLUDES / TAPELOOM_TPL_LIBS / TAPELOOM_TPL_WHOLE_LIBS
# (these are plain variables, so set them at the top level of the cross.cmake file, not inside
# a function). tpl_pick_entry() and tpl_start_plugin() in menu.c are weak defaults (show the
# entry's details); an emulator library in TAPELOOM_TPL_WHOLE_LIBS overrides them.

set(TAPELOOM_GBA_DIR ${CMAKE_CURRENT_LIST_DIR})
set(TAPELOOM_GBA_LINKER_SCRIPT ${TAPELOOM_GBA_DIR}/gba.ld)
set(TAPELOOM_GBA_ARCH -mcpu=arm7tdmi -mtune=arm7tdmi -mthumb-interwork)
set(TAPELOOM_GBA_CFLAGS
    -O2 -ffreestanding -fno-common -ffunction-sections -fdata-sections -fomit-frame-pointer
    -Wall -Wextra -Wno-unused-parameter -Wshadow)
set(CMAKE_C_STANDARD 11)
set(CMAKE_C_EXTENSIONS ON)
find_program(TAPELOOM_GBA_OBJCOPY NAMES ${CMAKE_OBJCOPY} arm-none-eabi-objcopy REQUIRED)
find_program(TAPELOOM_GBA_NM NAMES ${CMAKE_NM} arm-none-eabi-nm REQUIRED)

# Per-target compile settings shared by libraries and images.
function(_gba_compile_settings target)
    cmake_parse_arguments(G "" "" "ARM_SOURCES;DEFINES;INCLUDES" ${ARGN})
    target_compile_options(${target} PRIVATE ${TAPELOOM_GBA_ARCH}
        $<$<COMPILE_LANGUAGE:C>:${TAPELOOM_GBA_CFLAGS}>)
    # Thumb unless the file is listed as ARM; -marm comes last so it wins.
    target_compile_options(${target} PRIVATE $<$<COMPILE_LANGUAGE:C>:-mthumb>)
    foreach(src IN LISTS G_ARM_SOURCES)
        set_property(SOURCE ${src} TARGET_DIRECTORY ${target} APPEND PROPERTY COMPILE_OPTIONS -marm)
    endforeach()
    target_compile_definitions(${target} PRIVATE ${G_DEFINES})
    target_include_directories(${target} PRIVATE ${G_INCLUDES})
endfunction()

function(add_gba_library)
    cmake_parse_arguments(G "" "NAME" "SOURCES;ARM_SOURCES;DEFINES;INCLUDES;LIBS" ${ARGN})
    add_library(${G_NAME} STATIC ${G_SOURCES} ${G_ARM_SOURCES})
    _gba_compile_settings(${G_NAME} ARM_SOURCES ${G_ARM_SOURCES} DEFINES ${G_DEFINES}
        INCLUDES ${G_INCLUDES})
    if(NOT G_NAME STREQUAL "gba_base")
        target_link_libraries(${G_NAME} PUBLIC gba_base)
    endif()
    target_link_libraries(${G_NAME} PUBLIC ${G_LIBS})
endfunction()

function(add_gba_image)
    cmake_parse_arguments(G "" "NAME"
        "SOURCES;ARM_SOURCES;DEFINES;INCLUDES;LIBS;WHOLE_LIBS;LINK_OPTIONS" ${ARGN})
    set(elf ${G_NAME})
    add_executable(${elf} ${TAPELOOM_GBA_DIR}/crt0.s ${G_SOURCES} ${G_ARM_SOURCES})
    set_target_properties(${elf} PROPERTIES SUFFIX .elf)
    _gba_compile_settings(${elf} ARM_SOURCES ${G_ARM_SOURCES} DEFINES ${G_DEFINES}
        INCLUDES ${G_INCLUDES})
    set(whole "")
    foreach(lib IN LISTS G_WHOLE_LIBS)
        list(APPEND whole "$<LINK_LIBRARY:WHOLE_ARCHIVE,${lib}>")
    endforeach()
    target_link_libraries(${elf} PRIVATE ${whole} ${G_LIBS} gba_base)
    target_link_options(${elf} PRIVATE ${TAPELOOM_GBA_ARCH} -mthumb -nostartfiles
        -specs=nosys.specs -T ${TAPELOOM_GBA_LINKER_SCRIPT} -Wl,--gc-sections
        -Wl,-Map=${CMAKE_BINARY_DIR}/${G_NAME}.map -Wl,--no-warn-rwx-segments
        ${G_LINK_OPTIONS})
    set_property(TARGET ${elf} APPEND PROPERTY LINK_DEPENDS ${TAPELOOM_GBA_LINKER_SCRIPT})
    set(gba ${CMAKE_BINARY_DIR}/${G_NAME}.gba)
    add_custom_command(TARGET ${elf} POST_BUILD
        COMMAND ${TAPELOOM_GBA_OBJCOPY} -O binary $<TARGET_FILE:${elf}> ${gba}
        COMMAND ${CMAKE_COMMAND} -DELF=$<TARGET_FILE:${elf}> -DGBA=${gba}
            -DNM=${TAPELOOM_GBA_NM} -P ${TAPELOOM_GBA_DIR}/check_image.cmake
        BYPRODUCTS ${gba}
        COMMENT "Making ${G_NAME}.gba"
        VERBATIM)
endfunction()

# gba_base: what every image and part shares.
add_gba_library(NAME gba_base SOURCES
    ${TAPELOOM_GBA_DIR}/irq.c
    ${TAPELOOM_GBA_DIR}/text.c
    ${TAPELOOM_GBA_DIR}/font.c)
target_include_directories(gba_base PUBLIC ${TAPELOOM_GBA_DIR})

# The parts (Z80 core, Spectrum machine, ...) add their libraries, test images and their share
# of tpl.gba.
set(TAPELOOM_TPL_SOURCES "")
set(TAPELOOM_TPL_ARM_SOURCES "")
set(TAPELOOM_TPL_DEFINES "")
set(TAPELOOM_TPL_INCLUDES "")
set(TAPELOOM_TPL_LIBS "")
set(TAPELOOM_TPL_WHOLE_LIBS "")
file(GLOB gba_parts CONFIGURE_DEPENDS ${TAPELOOM_GBA_DIR}/*/cross.cmake)
foreach(part IN LISTS gba_parts)
    include(${part})
endforeach()
# The 128K machine's sound chip, kept beside the portable emulator code.
include(${TAPELOOM_GBA_DIR}/../tests/zx/ay_cross.cmake)

# tpl.gba: start-up, catalogue, menu; the emulator joins through the variables above.
add_gba_image(NAME tpl
    SOURCES
        ${TAPELOOM_GBA_DIR}/main.c
        ${TAPELOOM_GBA_DIR}/catalogue.c
        ${TAPELOOM_GBA_DIR}/menu.c
        ${TAPELOOM_TPL_SOURCES}
    ARM_SOURCES ${TAPELOOM_TPL_ARM_SOURCES}
    DEFINES ${TAPELOOM_TPL_DEFINES}
    INCLUDES ${TAPELOOM_TPL_INCLUDES}
    LIBS ${TAPELOOM_TPL_LIBS}
    WHOLE_LIBS ${TAPELOOM_TPL_WHOLE_LIBS})

# tpl_menu.gba: the same start-up and menu without the emulator, so the menu's own tests keep
# seeing the details view that the emulator's actions replace in tpl.gba.
add_gba_image(NAME tpl_menu
    SOURCES
        ${TAPELOOM_GBA_DIR}/main.c
        ${TAPELOOM_GBA_DIR}/catalogue.c
        ${TAPELOOM_GBA_DIR}/menu.c)
