# Included by the GBA cross build (gba/cross.cmake): beeper_cases.gba, the beeper's renderer run
# in mGBA by beeper_gba_test.cpp against the host's.
set(spectrum_tests_dir ${CMAKE_CURRENT_LIST_DIR}/..)
add_gba_image(NAME beeper_cases
    SOURCES
        ${CMAKE_CURRENT_LIST_DIR}/beeper_cases_main.c
        ${spectrum_tests_dir}/beeper_cases.c
    LIBS tapeloom_zx)
target_include_directories(beeper_cases PRIVATE ${spectrum_tests_dir})
