# Host build of the emulator's portable C (snapshot loaders, keyboard, beeper, machine), for the
# tests and the loader fuzz target in tests/spectrum.
set(spectrum_host_dir ${CMAKE_CURRENT_LIST_DIR})
add_library(tapeloom_spectrum_host STATIC
    ${spectrum_host_dir}/snapshot.c
    ${spectrum_host_dir}/keyboard.c
    ${spectrum_host_dir}/beeper.c
    ${spectrum_host_dir}/machine.c)
target_include_directories(tapeloom_spectrum_host PUBLIC ${spectrum_host_dir})
target_link_libraries(tapeloom_spectrum_host PUBLIC tapeloom_z80)
tapeloom_warnings(tapeloom_spectrum_host)
