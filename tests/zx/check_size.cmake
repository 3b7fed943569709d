# cmake -DFILE=<path> -DSIZE=<bytes> -P check_size.cmake: fails unless the file has that size.
file(SIZE "${FILE}" actual)
if(NOT actual EQUAL SIZE)
    file(REMOVE "${FILE}")
    message(FATAL_ERROR "${FILE} is ${actual} bytes, not ${SIZE}")
endif()
