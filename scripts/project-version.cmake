# Prints the project's version as a configured build has it, on standard
# output: the version project() gives, which CPack's configuration carries.
#   cmake -DBUILD=build/PRESET -P scripts/project-version.cmake
include(${BUILD}/CPackConfig.cmake)
execute_process(COMMAND ${CMAKE_COMMAND} -E echo ${CPACK_PACKAGE_VERSION})
