# Z80 core for the GBA: z80_fast.s (ARM, IWRAM) runs the frequent instructions and hands the
# rest to the C loop in z80.c (see its section attributes; DEFINES Z80_C_LOOP builds the C loop
# alone, for comparison). Link the library `z80` and include z80.h.
find_program(TAPELOOM_PYTHON3 python3 REQUIRED)
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/z80_fast.s
    COMMAND ${TAPELOOM_PYTHON3} ${CMAKE_CURRENT_LIST_DIR}/z80_fast.py ${CMAKE_BINARY_DIR}/z80_fast.s
    DEPENDS ${CMAKE_CURRENT_LIST_DIR}/z80_fast.py
    COMMENT "Generating the Z80 fast path"
    VERBATIM)
add_gba_library(NAME z80 SOURCES ${CMAKE_BINARY_DIR}/z80_fast.s
    ARM_SOURCES ${CMAKE_CURRENT_LIST_DIR}/z80.c)
target_include_directories(z80 PUBLIC ${CMAKE_CURRENT_LIST_DIR})

# Test images for tests/z80: the instruction vectors, converted at build time, and the
# benchmark workload, assembled with pasmo.
set(z80_tests_dir ${TAPELOOM_GBA_DIR}/../tests/z80)
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
        COMMAND ${TAPELOOM_PYTHON3} ${TAPELOOM_GBA_DIR}/../tools/z80_vectors.py
            ${TAPELOOM_SHARED_DIR}/z80-tests/tests.in ${TAPELOOM_SHARED_DIR}/z80-tests/tests.expected
            ${z80_vectors_bin}
        DEPENDS ${TAPELOOM_GBA_DIR}/../tools/z80_vectors.py ${TAPELOOM_SHARED_DIR}/z80-tests/tests.in
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
        SOURCES ${z80_tests_dir}/gba/vectors_main.c ${CMAKE_BINARY_DIR}/z80_vectors_data.s
        INCLUDES ${z80_tests_dir}/gba
        LIBS z80)
    add_dependencies(z80_vectors z80_test_data)
endif()
add_gba_image(NAME z80_bench
    SOURCES ${z80_tests_dir}/gba/bench_main.c ${z80_tests_dir}/bench_driver.c
        ${CMAKE_BINARY_DIR}/z80_bench_data.s
    INCLUDES ${z80_tests_dir}/gba ${z80_tests_dir}
    LIBS z80)
add_dependencies(z80_bench z80_test_data)
