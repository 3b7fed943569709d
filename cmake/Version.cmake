# The version named in project() is the only place it is written: the programs read it from a
# generated header, the package, the manual pages and the AppStream release from the variables.
file(CONFIGURE OUTPUT ${CMAKE_BINARY_DIR}/generated/version_number.h CONTENT
"// Generated from the project's version in CMakeLists.txt.
#pragma once
#define TAPELOOM_VERSION \"@PROJECT_VERSION@\"
" @ONLY)
include_directories(${CMAKE_BINARY_DIR}/generated)
