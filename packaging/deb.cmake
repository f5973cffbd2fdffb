# The Debian packages (scripts/package.sh deb builds them), one per
# component:
#   server  quib-server: the program in /usr/bin, packet_db.txt in
#           /usr/share/quib-server (the program looks beside itself first,
#           then in ../share/quib-server) with the journal's schema, the
#           manual page, the dissector and
#           its tables in Wireshark's global plugin folder, the README, the
#           copyright and the examples (the example client, the CI recipe).
#           It needs no Qt.
#   window  quib-server-window: the Qt window's module in
#           /usr/lib/<multiarch>/quib-server (ui/qt/CMakeLists.txt), the
#           desktop entry and the icons; it depends on this very version of
#           quib-server, and on Qt through dpkg-shlibdeps.

set(QUIB_PACKAGE_COMPONENTS server)
set(QUIB_DESKTOP_COMPONENT server)
if(QUIB_HAVE_GUI)
  list(APPEND QUIB_PACKAGE_COMPONENTS window)
  set(QUIB_DESKTOP_COMPONENT window)
endif()
set(QUIB_PACKAGE_MAINTAINER "Quib-Server developers <quib-server@example.org>"
    CACHE STRING "The Maintainer field of the Debian package")

set(quib_linux ${CMAKE_CURRENT_LIST_DIR}/linux)
set(quib_docdir ${CMAKE_INSTALL_DATADIR}/doc/quib-server)
set(quib_packaged ${PROJECT_BINARY_DIR}/packaging)

# Documentation goes compressed, as Debian wants it: gzip -9n, no name or
# time stamp inside, so the same page makes the same bytes.
set(QUIB_PACKAGE_GZIPPED)
foreach(source quib-server.1 changelog)
  add_custom_command(OUTPUT ${quib_packaged}/${source}.gz
    COMMAND ${CMAKE_COMMAND} -E copy ${quib_linux}/${source} ${quib_packaged}/${source}
    COMMAND gzip -9nf ${quib_packaged}/${source}
    DEPENDS ${quib_linux}/${source}
    VERBATIM)
  list(APPEND QUIB_PACKAGE_GZIPPED ${quib_packaged}/${source}.gz)
endforeach()
add_custom_target(quib_package_docs ALL DEPENDS ${QUIB_PACKAGE_GZIPPED})

# The changelog's newest entry is the version packed.
file(STRINGS ${quib_linux}/changelog quib_newest LIMIT_COUNT 1)
if(NOT quib_newest MATCHES "^quib-server \\(${PROJECT_VERSION}\\) ")
  message(WARNING "packaging/linux/changelog does not start with version ${PROJECT_VERSION}")
endif()

# packet_db.txt goes to the place of an install in the one list of the places
# the program looks in (packetdb/packet_database_places.h), each relative to
# the program's folder: the one that leaves it, taken from the folder the
# program is installed in (bin/../share/quib-server/packet_db.txt).
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
             ${PROJECT_SOURCE_DIR}/packetdb/packet_database_places.h)
file(STRINGS ${PROJECT_SOURCE_DIR}/packetdb/packet_database_places.h quib_places
     REGEX "^ *\"\\.\\./[^\"]*\",")
if(NOT quib_places MATCHES "\"([^\"]+)\"")
  message(FATAL_ERROR "packetdb/packet_database_places.h names no place outside the program's folder")
endif()
cmake_path(SET QUIB_PACKET_DB_INSTALLED NORMALIZE "${CMAKE_INSTALL_BINDIR}/${CMAKE_MATCH_1}")
cmake_path(GET QUIB_PACKET_DB_INSTALLED PARENT_PATH quib_packet_db_folder)
cmake_path(GET QUIB_PACKET_DB_INSTALLED FILENAME quib_packet_db_name)
install(FILES ${PROJECT_SOURCE_DIR}/data/packet_db.txt DESTINATION ${quib_packet_db_folder}
        RENAME ${quib_packet_db_name} COMPONENT server)
# The journal's schema beside it, not under share/doc: minimal systems leave
# that out, and a client's tests validate journals against this file.
install(FILES ${PROJECT_SOURCE_DIR}/docs/journal.schema.json DESTINATION ${quib_packet_db_folder}
        COMPONENT server)
install(FILES ${quib_packaged}/quib-server.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1
        COMPONENT server)
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${quib_linux}/copyright ${quib_packaged}/changelog.gz
        DESTINATION ${quib_docdir} COMPONENT server)
# The example client and the CI recipe, where Debian keeps examples: the two
# scripts stay executable, so that a CI job runs them where they are.
# The README's links into docs/ hold where it is installed.
install(FILES ${PROJECT_SOURCE_DIR}/docs/reference.md ${PROJECT_SOURCE_DIR}/docs/building.md
              ${PROJECT_SOURCE_DIR}/docs/performance.md
        DESTINATION ${quib_docdir}/docs COMPONENT server)
install(PROGRAMS ${PROJECT_SOURCE_DIR}/examples/road_client.py DESTINATION ${quib_docdir}/examples
        COMPONENT server)
install(PROGRAMS ${PROJECT_SOURCE_DIR}/examples/ci/client-test.sh
        DESTINATION ${quib_docdir}/examples/ci COMPONENT server)
install(FILES ${PROJECT_SOURCE_DIR}/examples/ci/github-actions.yml
        DESTINATION ${quib_docdir}/examples/ci COMPONENT server)
if(QUIB_HAVE_GUI)
  # Every package carries its own copyright and changelog.
  install(FILES ${quib_linux}/copyright ${quib_packaged}/changelog.gz
          DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/quib-server-window COMPONENT window)
  install(FILES ${quib_linux}/lintian-overrides-window
          DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides RENAME quib-server-window
          COMPONENT window)
endif()
configure_file(${quib_linux}/lintian-overrides.in ${quib_packaged}/lintian-overrides @ONLY)
install(FILES ${quib_packaged}/lintian-overrides DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides
        RENAME quib-server COMPONENT server)
install(FILES ${quib_linux}/quib-server.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications COMPONENT ${QUIB_DESKTOP_COMPONENT})
set(quib_hicolor ${CMAKE_INSTALL_DATADIR}/icons/hicolor)
install(FILES ${QUIB_ICON_SVG} DESTINATION ${quib_hicolor}/scalable/apps
        COMPONENT ${QUIB_DESKTOP_COMPONENT})
foreach(size IN LISTS QUIB_ICON_SIZES)
  if(QUIB_ICON_PNG_${size})
    install(FILES ${QUIB_ICON_PNG_${size}} DESTINATION ${quib_hicolor}/${size}x${size}/apps
            COMPONENT ${QUIB_DESKTOP_COMPONENT})
  endif()
endforeach()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quib-server)
set(CPACK_PACKAGE_VENDOR "Quib-Server developers")
set(CPACK_PACKAGE_CONTACT "${QUIB_PACKAGE_MAINTAINER}")
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_COMPONENTS_ALL ${QUIB_PACKAGE_COMPONENTS})
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${QUIB_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)

set(CPACK_DEBIAN_SERVER_PACKAGE_NAME quib-server)
# Each description's first line is its synopsis; CPack would put a
# CPACK_PACKAGE_DESCRIPTION_SUMMARY before every component's, so none is set.
set(CPACK_DEBIAN_SERVER_DESCRIPTION "test server for a game client, with a log of every packet
Quib-Server plays in turn the login, character and map server of an online
game on one TCP port, well enough for a client on the same machine to log in,
pick a character, enter a map, walk, chat and show emotions. It validates
nothing and stores nothing: its value is a log of the client's progress and
of every packet it does not know, the bytes behind those packets, and pcapng
captures that a packet analyser reads.
.
It runs in a window, or in the console with the log on standard output and
commands on standard input.")

set(CPACK_DEBIAN_WINDOW_PACKAGE_NAME quib-server-window)
set(CPACK_DEBIAN_WINDOW_PACKAGE_DEPENDS "quib-server (= ${PROJECT_VERSION})")
set(CPACK_DEBIAN_WINDOW_DESCRIPTION "window of Quib-Server, a test server for a game client
The Qt window of Quib-Server, with its desktop menu entry and icon: the log
with its context menu, the map and start cell sent to the client, and the
commands for clients in the map. Without it the server runs in the console.")

include(CPack)
