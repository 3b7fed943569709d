# Included by the GBA cross build (gba/cross.cmake): ay_bench.gba, the AY's benchmark run in mGBA
# by ay_gba_test.cpp (the test tunes through the GBA build of zx/ay.c, and the PSG sketch).
set(ay_tests_dir ${CMAKE_CURRENT_LIST_DIR}/..)
add_gba_image(NAME ay_bench
    SOURCES
        ${CMAKE_CURRENT_LIST_DIR}/ay_bench_main.c
        ${CMAKE_CURRENT_LIST_DIR}/psg_sketch.c
        ${ay_tests_dir}/ay_tune.c
    LIBS tapeloom_zx)
target_include_directories(ay_bench PRIVATE ${CMAKE_CURRENT_LIST_DIR} ${ay_tests_dir})
