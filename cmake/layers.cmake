# The program's layers: one static library per folder of src/, each linking only the layers right
# below it (and so, through them, every layer further down). scripts/check-layers.py reads the
# quorlex_layer lines below, so this list is the one description of the layers: the build runs the
# script before any layer is compiled, and it fails on an #include that points up or sideways.
#
#   quorlex_layer(NAME FOLDER [ON LAYER...] [SOURCES GLOB...])
#
# makes the library quorlex_NAME from FOLDER/*.cpp (or from the given globs, relative to FOLDER).
find_package(Python3 REQUIRED COMPONENTS Interpreter)

set(QUORLEX_LAYER_SCRIPT ${CMAKE_SOURCE_DIR}/scripts/check-layers.py)
file(GLOB_RECURSE QUORLEX_CHECKED_FILES CONFIGURE_DEPENDS
  ${CMAKE_SOURCE_DIR}/src/*.h ${CMAKE_SOURCE_DIR}/src/*.cpp ${CMAKE_SOURCE_DIR}/tools/cli/*.h
  ${CMAKE_SOURCE_DIR}/tools/cli/*.cpp)
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/layers.checked
  COMMAND Python3::Interpreter ${QUORLEX_LAYER_SCRIPT} --quiet ${CMAKE_SOURCE_DIR}
  COMMAND ${CMAKE_COMMAND} -E touch ${CMAKE_BINARY_DIR}/layers.checked
  DEPENDS ${QUORLEX_CHECKED_FILES} ${QUORLEX_LAYER_SCRIPT} ${CMAKE_CURRENT_LIST_FILE}
  COMMENT "Checking that every include points down the layers" VERBATIM)
add_custom_target(quorlex_layer_check DEPENDS ${CMAKE_BINARY_DIR}/layers.checked)

function(quorlex_layer name folder)
  cmake_parse_arguments(PARSE_ARGV 2 layer "" "" "ON;SOURCES")
  if(NOT layer_SOURCES)
    set(layer_SOURCES *.cpp)
  endif()
  list(TRANSFORM layer_SOURCES PREPEND ${CMAKE_SOURCE_DIR}/${folder}/)
  file(GLOB sources CONFIGURE_DEPENDS ${layer_SOURCES})
  add_library(quorlex_${name} STATIC ${sources})
  target_include_directories(quorlex_${name} PUBLIC ${CMAKE_SOURCE_DIR}/src)
  foreach(below IN LISTS layer_ON)
    target_link_libraries(quorlex_${name} PUBLIC quorlex_${below})
  endforeach()
  add_dependencies(quorlex_${name} quorlex_layer_check)
  set_property(GLOBAL APPEND PROPERTY QUORLEX_LAYERS quorlex_${name})
endfunction()

if(WIN32)
  set(QUORLEX_PLATFORM win32)
else()
  set(QUORLEX_PLATFORM native)
endif()

# Bottom to top.
quorlex_layer(base     src/base)
quorlex_layer(platform src/platform      ON base     SOURCES ${QUORLEX_PLATFORM}/*.cpp)
quorlex_layer(common   src/common        ON platform)
quorlex_layer(engine   src/rules/engine  ON common)
quorlex_layer(web      src/web           ON engine)
quorlex_layer(store    src/store         ON engine)
quorlex_layer(archive  src/archive       ON engine)
quorlex_layer(sources  src/rules/sources ON web store archive)
quorlex_layer(ui       src/ui            ON sources)
quorlex_layer(flash    src/flash         ON sources)
quorlex_layer(plugin   src/plugin        ON ui flash)
