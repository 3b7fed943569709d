# The Spectrum 128's AY-3-8912 (zx/ay.c) and its ROM 0 (zx/rom0/rom0.asm): the host library,
# the ROM build and their tests. Included from tests/CMakeLists.txt.
set(zx_dir ${CMAKE_SOURCE_DIR}/zx)

add_library(zx_ay STATIC ${zx_dir}/ay.c)
target_include_directories(zx_ay PUBLIC ${zx_dir})
tapeloom_warnings(zx_ay)

add_executable(zx_ay_tests ${CMAKE_CURRENT_LIST_DIR}/ay_test.cpp)
target_link_libraries(zx_ay_tests PRIVATE zx_ay GTest::gtest_main)
tapeloom_warnings(zx_ay_tests)
gtest_discover_tests(zx_ay_tests TEST_PREFIX "zx." DISCOVERY_TIMEOUT 60)

# ROM 0 of the 128K machine, assembled with pasmo (the image will embed it from here).
find_program(TAPELOOM_PASMO pasmo REQUIRED)
set(ZX_ROM0_IMAGE ${CMAKE_BINARY_DIR}/zx/rom0.rom)
add_custom_command(OUTPUT ${ZX_ROM0_IMAGE}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/zx
    COMMAND ${TAPELOOM_PASMO} --bin ${zx_dir}/rom0/rom0.asm ${ZX_ROM0_IMAGE}
    COMMAND ${CMAKE_COMMAND} -DFILE=${ZX_ROM0_IMAGE} -DSIZE=16384
        -P ${CMAKE_CURRENT_LIST_DIR}/check_size.cmake
    DEPENDS ${zx_dir}/rom0/rom0.asm ${CMAKE_CURRENT_LIST_DIR}/check_size.cmake
    COMMENT "Assembling ROM 0 of the 128K machine"
    VERBATIM)
add_custom_target(zx_rom0 ALL DEPENDS ${ZX_ROM0_IMAGE})

add_executable(zx_rom0_tests ${CMAKE_CURRENT_LIST_DIR}/rom0_test.cpp)
target_link_libraries(zx_rom0_tests PRIVATE tapeloom_z80 GTest::gtest_main)
target_compile_definitions(zx_rom0_tests PRIVATE
    ZX_ROM0_IMAGE="${ZX_ROM0_IMAGE}"
    TAPELOOM_OPENSE_ROM="${TAPELOOM_OPENSE_ROM}")
add_dependencies(zx_rom0_tests zx_rom0)
tapeloom_warnings(zx_rom0_tests)
gtest_discover_tests(zx_rom0_tests TEST_PREFIX "zx." DISCOVERY_TIMEOUT 60)

# The chip built for the GBA in mGBA: the benchmark image from the cross build
# (tests/zx/ay_cross.cmake) against the host build of the same tunes.
add_executable(zx_ay_gba_tests ${CMAKE_CURRENT_LIST_DIR}/ay_gba_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ay_tune.c)
target_include_directories(zx_ay_gba_tests PRIVATE ${CMAKE_CURRENT_LIST_DIR}
    ${CMAKE_CURRENT_LIST_DIR}/gba)
target_link_libraries(zx_ay_gba_tests PRIVATE zx_ay gba_harness GTest::gtest_main)
target_compile_definitions(zx_ay_gba_tests PRIVATE ZX_GBA_IMAGES_DIR="${TAPELOOM_GBA_BINARY_DIR}")
add_dependencies(zx_ay_gba_tests gba_images)
tapeloom_warnings(zx_ay_gba_tests)
gtest_discover_tests(zx_ay_gba_tests TEST_PREFIX "zx." DISCOVERY_TIMEOUT 60)
