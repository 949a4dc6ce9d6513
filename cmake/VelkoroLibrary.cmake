# velkoro_library(<name> STATIC|OBJECT|INTERFACE
#                 [SOURCES <files...>] [HEADERS <files...>]
#                 [LINKS <targets...>] [PRIVATE_LINKS <targets...>])
#
# A library offers its users the headers under HEADERS and nothing else. Each
# is linked into an include folder of the library's own, under the folder it
# lives in (probe/frame.h), and that folder is the library's only include path.
# A file that includes a header of a library its target does not link fails to
# compile, so the layers stay as they are drawn: a link is the only way down.
#
# velkoro_private_headers(<target> <files...>) gives one target the headers of
# its folder that nobody else includes (a program's own parts, say).
function(velkoro_stage_headers root)
  file(RELATIVE_PATH folder ${PROJECT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR})
  foreach(header ${ARGN})
    set(link ${root}/${folder}/${header})
    get_filename_component(dir ${link} DIRECTORY)
    file(MAKE_DIRECTORY ${dir})
    if(NOT EXISTS ${link})
      file(CREATE_LINK ${CMAKE_CURRENT_SOURCE_DIR}/${header} ${link} SYMBOLIC)
    endif()
  endforeach()
endfunction()

function(velkoro_library name kind)
  cmake_parse_arguments(L "" "" "SOURCES;HEADERS;LINKS;PRIVATE_LINKS" ${ARGN})
  set(root ${CMAKE_BINARY_DIR}/include/${name})
  velkoro_stage_headers(${root} ${L_HEADERS})
  if(kind STREQUAL "INTERFACE")
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${root})
    target_link_libraries(${name} INTERFACE ${L_LINKS})
  else()
    add_library(${name} ${kind} ${L_SOURCES})
    target_include_directories(${name} PUBLIC ${root})
    target_link_libraries(${name} PUBLIC ${L_LINKS} PRIVATE ${L_PRIVATE_LINKS})
  endif()
endfunction()

function(velkoro_private_headers target)
  set(root ${CMAKE_BINARY_DIR}/include-private/${target})
  velkoro_stage_headers(${root} ${ARGN})
  target_include_directories(${target} PRIVATE ${root})
endfunction()
