# The program's icon, drawn once as packaging/icons/quib-server.svg: PNGs of
# each size the desktop asks for (rsvg-convert, from librsvg2-bin) and a
# Windows .ico holding them (icotool, from icoutils), made at build time in
# ${PROJECT_BINARY_DIR}/icons. Without the tools no icon is made; with
# QUIB_REQUIRE_ICONS (the package build) that is an error.
#   QUIB_ICON_SVG, QUIB_ICON_SIZES   the drawing and the sizes made from it
#   QUIB_ICON_PNG_<size>              each PNG, when made
#   QUIB_ICON_ICO                     the .ico, when made
option(QUIB_REQUIRE_ICONS "Fail when the icon cannot be made (rsvg-convert, icotool)" OFF)

set(QUIB_ICON_SVG ${CMAKE_CURRENT_LIST_DIR}/icons/quib-server.svg)
set(QUIB_ICON_SIZES 16 32 48 64 128 256)
set(QUIB_ICON_DIR ${PROJECT_BINARY_DIR}/icons)
find_program(QUIB_RSVG_CONVERT rsvg-convert)
find_program(QUIB_ICOTOOL icotool)

set(QUIB_ICON_FILES)
if(QUIB_RSVG_CONVERT)
  foreach(size IN LISTS QUIB_ICON_SIZES)
    set(QUIB_ICON_PNG_${size} ${QUIB_ICON_DIR}/${size}x${size}/quib-server.png)
    add_custom_command(OUTPUT ${QUIB_ICON_PNG_${size}}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${QUIB_ICON_DIR}/${size}x${size}
      COMMAND ${QUIB_RSVG_CONVERT} --width ${size} --height ${size}
              --output ${QUIB_ICON_PNG_${size}} ${QUIB_ICON_SVG}
      DEPENDS ${QUIB_ICON_SVG}
      COMMENT "Icon: ${size}x${size} PNG"
      VERBATIM)
    list(APPEND QUIB_ICON_FILES ${QUIB_ICON_PNG_${size}})
  endforeach()
  if(QUIB_ICOTOOL)
    # Every size as a bitmap, but the largest as PNG, as Windows keeps them.
    set(QUIB_ICON_ICO ${QUIB_ICON_DIR}/quib-server.ico)
    set(quib_bitmaps ${QUIB_ICON_FILES})
    list(REMOVE_ITEM quib_bitmaps ${QUIB_ICON_PNG_256})
    add_custom_command(OUTPUT ${QUIB_ICON_ICO}
      COMMAND ${QUIB_ICOTOOL} --create --output ${QUIB_ICON_ICO} ${quib_bitmaps}
              --raw=${QUIB_ICON_PNG_256}
      DEPENDS ${QUIB_ICON_FILES}
      COMMENT "Icon: quib-server.ico"
      VERBATIM)
    list(APPEND QUIB_ICON_FILES ${QUIB_ICON_ICO})
  endif()
endif()

if(NOT QUIB_RSVG_CONVERT OR NOT QUIB_ICOTOOL)
  set(quib_message
      "rsvg-convert (librsvg2-bin) or icotool (icoutils) not found: the icon is not made")
  if(QUIB_REQUIRE_ICONS)
    message(FATAL_ERROR "${quib_message}")
  endif()
  message(STATUS "${quib_message}")
endif()
add_custom_target(quib_icons ALL DEPENDS ${QUIB_ICON_FILES})
