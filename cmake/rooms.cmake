# The rooms of the house and the programs on them. Every room is a library
# named pedsim::<room> whose headers are included by folder from the
# repository root (#include "pedigree/pedigree_reader.h"), so that a file
# names the room of every header it reads; a room links only the rooms below
# it, and the options every target shares.

# pedsim_add_library(<room> SOURCES <file>... [DEPENDS <target>...]
#                    [PRIVATE <target>...] [VERSIONED])
# DEPENDS are the rooms and libraries its headers use, PRIVATE those only its
# sources use; VERSIONED passes the project's version as PEDSIM_VERSION.
function(pedsim_add_library room)
  cmake_parse_arguments(PARSE_ARGV 1 arg "VERSIONED" "" "SOURCES;DEPENDS;PRIVATE")
  add_library(pedsim_${room} ${arg_SOURCES})
  add_library(pedsim::${room} ALIAS pedsim_${room})
  target_include_directories(pedsim_${room} PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(pedsim_${room} PUBLIC ${arg_DEPENDS} pedsim_options PRIVATE ${arg_PRIVATE})
  if(arg_VERSIONED)
    target_compile_definitions(pedsim_${room} PRIVATE PEDSIM_VERSION="${PROJECT_VERSION}")
  endif()
endfunction()

# pedsim_add_program(<program> <main.cpp> <library>...)
# A program is a thin main on its libraries; it stands at the top of the build
# tree (build/pedsim-stats), where the tests and the README's commands find it.
function(pedsim_add_program program main)
  add_executable(${program} ${main})
  set_target_properties(${program} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR})
  target_link_libraries(${program} PRIVATE ${ARGN})
  install(TARGETS ${program} RUNTIME DESTINATION bin)
endfunction()
