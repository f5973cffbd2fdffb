# Each folder of the tree is a library of its own. A folder's headers are
# reached as "folder/name.h" through a view of the tree that holds that folder
# alone (build/include/<folder>), never through the source tree's root: a
# source can include only from its own folder and the folders its library
# links, so an include against the layering fails to build.

# Makes the view of `folder` and puts it on `target`'s include path.
function(quib_view target folder visibility)
  string(REPLACE "/" "_" name ${folder})
  set(view ${PROJECT_BINARY_DIR}/include/${name})
  set(link ${view}/${folder})
  get_filename_component(parent ${link} DIRECTORY)
  file(MAKE_DIRECTORY ${parent})
  file(REMOVE ${link})
  file(CREATE_LINK ${PROJECT_SOURCE_DIR}/${folder} ${link} SYMBOLIC)
  target_include_directories(${target} ${visibility} ${view})
endfunction()

# quib_folder_library(TARGET FOLDER [TOOLKIT] [SOURCES files...] [LINKS targets...])
# A static library of the folder's sources (an interface library when there
# are none) that links LINKS publicly: what its headers include. Its sources
# meet the strict warnings, unless TOOLKIT says they are written against a
# toolkit's headers and macros.
function(quib_folder_library target folder)
  cmake_parse_arguments(PARSE_ARGV 2 arg "TOOLKIT" "" "SOURCES;LINKS")
  if(arg_SOURCES)
    add_library(${target} STATIC ${arg_SOURCES})
    set(visibility PUBLIC)
    if(arg_TOOLKIT)
      target_link_libraries(${target} PRIVATE quib_warnings)
    else()
      target_link_libraries(${target} PRIVATE quib_strict_warnings)
    endif()
  else()
    add_library(${target} INTERFACE)
    set(visibility INTERFACE)
  endif()
  quib_view(${target} ${folder} ${visibility})
  if(arg_LINKS)
    target_link_libraries(${target} ${visibility} ${arg_LINKS})
  endif()
endfunction()
