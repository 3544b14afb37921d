# Warning flags applied to every target of the project through orlix_warnings().
add_library(orlix_warnings INTERFACE)
target_compile_options(orlix_warnings INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Wold-style-cast -Wcast-align
  -Woverloaded-virtual -Wconversion -Wsign-conversion -Wnull-dereference -Wdouble-promotion
  -Wformat=2 -Wimplicit-fallthrough)
if(ORLIX_WERROR)
  target_compile_options(orlix_warnings INTERFACE -Werror)
endif()
