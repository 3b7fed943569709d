# The AY-3-8912 in the GBA cross build (included from gba/cross.cmake): the chip as a library for
# the emulator (whole file in ARM state; the write and render paths go to IWRAM), and the
# benchmark image that tests/zx/ay_gba_test.cpp runs in mGBA.
set(zx_ay_source_dir ${TAPELOOM_GBA_DIR}/../zx)
set(zx_ay_tests_dir ${TAPELOOM_GBA_DIR}/../tests/zx)

add_gba_library(NAME zx_ay SOURCES ${zx_ay_source_dir}/ay.c)
target_include_directories(zx_ay PUBLIC ${zx_ay_source_dir})

add_gba_image(NAME ay_bench
    SOURCES
        ${zx_ay_tests_dir}/gba/ay_bench_main.c
        ${zx_ay_tests_dir}/gba/psg_sketch.c
        ${zx_ay_tests_dir}/ay_tune.c
    INCLUDES ${zx_ay_tests_dir} ${zx_ay_tests_dir}/gba
    LIBS zx_ay)
