# Included by the GBA cross build (gba/cross.cmake): images that run the Z80 core's GBA build in
# mGBA for z80_gba_test.cpp. The instruction vectors are converted at build time, the benchmark
# workload is assembled with pasmo; both are linked in with .incbin.
set(z80_tests_dir ${CMAKE_CURRENT_LIST_DIR}/..)
find_program(TAPELOOM_PASMO pasmo REQUIRED)

# The vectors come from the shared test material beside the checkout; without it (a plain clone
# built only to run Tapeloom) the vectors image is left out and only its test misses it.
set(z80_have_vectors OFF)
if(EXISTS ${TAPELOOM_SHARED_DIR}/z80-tests/tests.in)
    set(z80_have_vectors ON)
else()
    message(STATUS "No Z80 test vectors in ${TAPELOOM_SHARED_DIR}: z80_vectors.gba is not built")
endif()
if(z80_have_vectors)
    set(z80_vectors_bin ${CMAKE_BINARY_DIR}/z80_vectors.bin)
    add_custom_command(OUTPUT ${z80_vectors_bin}
        COMMAND ${TAPELOOM_PYTHON3} ${TAPELOOM_ROOT}/tools/z80_vectors.py
            ${TAPELOOM_SHARED_DIR}/z80-tests/tests.in ${TAPELOOM_SHARED_DIR}/z80-tests/tests.expected
            ${z80_vectors_bin}
        DEPENDS ${TAPELOOM_ROOT}/tools/z80_vectors.py ${TAPELOOM_SHARED_DIR}/z80-tests/tests.in
            ${TAPELOOM_SHARED_DIR}/z80-tests/tests.expected
        COMMENT "Converting the Z80 instruction vectors"
        VERBATIM)
endif()
set(z80_bench_bin ${CMAKE_BINARY_DIR}/z80_bench.bin)
add_custom_command(OUTPUT ${z80_bench_bin}
    COMMAND ${TAPELOOM_PASMO} --bin ${z80_tests_dir}/bench.asm ${z80_bench_bin}
    DEPENDS ${z80_tests_dir}/bench.asm
    COMMENT "Assembling the Z80 benchmark"
    VERBATIM)

# Binary data linked in with .incbin under a symbol (and <symbol>_end).
function(z80_embed_binary source symbol binary)
    file(WRITE ${source} "\t.section .rodata.${symbol},\"a\"\n\t.balign 4\n\t.global ${symbol}\n"
        "\t.global ${symbol}_end\n${symbol}:\n\t.incbin \"${binary}\"\n${symbol}_end:\n")
    set_source_files_properties(${source} PROPERTIES OBJECT_DEPENDS ${binary})
endfunction()
z80_embed_binary(${CMAKE_BINARY_DIR}/z80_bench_data.s z80_bench_program ${z80_bench_bin})
add_custom_target(z80_test_data DEPENDS ${z80_bench_bin})
if(z80_have_vectors)
    z80_embed_binary(${CMAKE_BINARY_DIR}/z80_vectors_data.s z80_vectors ${z80_vectors_bin})
    add_custom_target(z80_vectors_data DEPENDS ${z80_vectors_bin})
    add_dependencies(z80_test_data z80_vectors_data)
    add_gba_image(NAME z80_vectors
        SOURCES ${CMAKE_CURRENT_LIST_DIR}/vectors_main.c ${z80_tests_dir}/z80_checks.c
            ${CMAKE_BINARY_DIR}/z80_vectors_data.s
        LIBS tapeloom_zx)
    target_include_directories(z80_vectors PRIVATE ${CMAKE_CURRENT_LIST_DIR} ${z80_tests_dir})
    add_dependencies(z80_vectors z80_test_data)
endif()
add_gba_image(NAME z80_bench
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/bench_main.c ${z80_tests_dir}/bench_driver.c
        ${CMAKE_BINARY_DIR}/z80_bench_data.s
    LIBS tapeloom_zx)
target_include_directories(z80_bench PRIVATE ${CMAKE_CURRENT_LIST_DIR} ${z80_tests_dir})
add_dependencies(z80_bench z80_test_data)
