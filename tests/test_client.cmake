# quib_test_client: the client side that the tests and the benchmarks share,
# without GoogleTest: the requests of the road, client sockets, entering the
# map, the road leg by leg (client_support), and on Linux the built server as
# a child process (server_process). Included by tests/ and bench/.
include_guard(GLOBAL)
set(sources ${CMAKE_CURRENT_LIST_DIR}/client_support.cpp)
if(NOT WIN32)
  list(APPEND sources ${CMAKE_CURRENT_LIST_DIR}/server_process.cpp)
endif()
add_library(quib_test_client STATIC ${sources})
target_link_libraries(quib_test_client PUBLIC quib_core PRIVATE quib_warnings)
quib_view(quib_test_client tests PUBLIC)
target_compile_definitions(quib_test_client PRIVATE
  QUIB_SERVER_BINARY="$<TARGET_FILE:quib-server>")
