# The warnings, as targets of their own. Every target of ours links
# quib_warnings; the core's folders link quib_strict_warnings, the stricter
# set that the code without a toolkit meets. QUIB_WERROR (on in ./test.sh)
# makes any of them an error.
option(QUIB_WERROR "Treat warnings as errors" OFF)

add_library(quib_warnings INTERFACE)
# Designated initializers name only the members an event or a row sets, the
# rest keeping their defaults; GCC 12 would warn of every member left out.
target_compile_options(quib_warnings INTERFACE -Wall -Wextra -Wpedantic
  -Wno-missing-field-initializers)
if(QUIB_WERROR)
  target_compile_options(quib_warnings INTERFACE -Werror)
endif()

add_library(quib_strict_warnings INTERFACE)
target_link_libraries(quib_strict_warnings INTERFACE quib_warnings)
target_compile_options(quib_strict_warnings INTERFACE
  -Wconversion -Wsign-conversion -Wold-style-cast -Wshadow -Wcast-qual -Wformat=2
  -Wimplicit-fallthrough -Woverloaded-virtual -Wnull-dereference -Wdouble-promotion
  $<$<CXX_COMPILER_ID:GNU>:-Wuseless-cast -Wduplicated-cond -Wlogical-op>)
