# Host build of the Z80 core, for the tests (tests/z80).
add_library(tapeloom_z80 STATIC ${CMAKE_CURRENT_LIST_DIR}/z80.c)
target_include_directories(tapeloom_z80 PUBLIC ${CMAKE_CURRENT_LIST_DIR})
tapeloom_warnings(tapeloom_z80)
