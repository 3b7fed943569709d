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
