# Run after linking a GBA image: -DELF=<image.elf> -DGBA=<image.gba> -DNM=<nm>.
# Fails unless the image knows its own length (__image_end) and its cartridge header is one that
# real hardware accepts: the standard logo, 0xEA at byte 3, 0x96 at 0xB2, the complement at 0xBD.
file(SIZE ${GBA} size)
execute_process(COMMAND ${NM} ${ELF} OUTPUT_VARIABLE symbols COMMAND_ERROR_IS_FATAL ANY)
if(NOT symbols MATCHES "([0-9a-fA-F]+) [A-Za-z] __image_end\n")
    message(FATAL_ERROR "${ELF}: no __image_end symbol")
endif()
math(EXPR end "0x${CMAKE_MATCH_1} - 0x08000000")
if(NOT end EQUAL size)
    message(FATAL_ERROR "${GBA}: __image_end says ${end} bytes, the file has ${size}")
endif()

set(logo "24ffae51699aa2213d84820a84e409ad11248b98c0817f21a352be199309ce20"
         "10464a4af82731ec58c7e83382e3cebf85f4df94ce4b09c194568ac01372a7fc"
         "9f844d73a3ca9a615897a327fc039876231dc7610304ae56bf38840040a70efd"
         "ff52fe036f9530f197fbc08560d68025a963be03014e38e2f9a234ffbb3e0344"
         "780090cb88113a9465c07c6387f03cafd625e48b380aac7221d4f807")
string(JOIN "" logo ${logo})
file(READ ${GBA} header LIMIT 192 HEX)
string(TOLOWER "${header}" header)
string(SUBSTRING "${header}" 8 312 actual_logo)
if(NOT actual_logo STREQUAL logo)
    message(FATAL_ERROR "${GBA}: the boot logo is not the standard one")
endif()
string(SUBSTRING "${header}" 6 2 branch)
string(SUBSTRING "${header}" 356 2 fixed)
if(NOT branch STREQUAL "ea" OR NOT fixed STREQUAL "96")
    message(FATAL_ERROR "${GBA}: byte 3 is 0x${branch} (want 0xea), byte 0xB2 is 0x${fixed} (want 0x96)")
endif()
set(sum 0)
foreach(offset RANGE 160 188)
    math(EXPR pos "${offset} * 2")
    string(SUBSTRING "${header}" ${pos} 2 byte)
    math(EXPR sum "${sum} + 0x${byte}")
endforeach()
math(EXPR want "(0 - ${sum} - 0x19) & 0xFF")
string(SUBSTRING "${header}" 378 2 complement)
math(EXPR complement "0x${complement}")
if(NOT complement EQUAL want)
    message(FATAL_ERROR "${GBA}: header complement is ${complement}, want ${want}")
endif()
