# Warning flags applied to every target of the project through orlix_warnings().
add_library(orlix_warnings INTERFACE)
target_compile_options(orlix_warnings INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Wold-style-cast -Wcast-align
  -Woverloaded-virtual -Wconversion -Wsign-conversion -Wnull-dereference -Wdouble-promotion
  -Wformat=2 -Wimplicit-fallthrough)
if(ORLIX_WERROR)
  target_compile_options(orlix_warnings INTERFACE -Werror)
endif()
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
  # GCC 12 at -O3 reports overlapping copies and overflows inside std::string's own operator+
  # (GCC bugs 105329 and 105651); they are false positives that would stop a Release build.
  target_compile_options(orlix_warnings INTERFACE -Wno-restrict -Wno-stringop-overflow)
endif()
