# libFuzzer targets (tests/fuzz/<target>.cpp), with AddressSanitizer and UBSan. Configure with
#   cmake -S . -B build/fuzz -DQUORLEX_FUZZ=ON -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++
# and build the target "fuzz_targets"; scripts/fuzz.sh does both and runs them.
#
# The targets link the same layer libraries as the tests, built here with clang: their sources are
# the ones the layers are made of, with one change. clang has no CP936 execution character set,
# so every file is first copied with its non-ASCII string literals written as GBK byte escapes
# (tests/fuzz/gbk_literals.py), which gives the literals the bytes g++ gives them with
# -fexec-charset=CP936; the layers then compile those copies.
if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  message(FATAL_ERROR "QUORLEX_FUZZ needs clang: -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++")
endif()
find_package(Python3 REQUIRED COMPONENTS Interpreter)

set(QUORLEX_FUZZ_SANITIZERS -fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
set(QUORLEX_GBK_DIR ${CMAKE_BINARY_DIR}/gbk)
set(QUORLEX_GBK_SCRIPT ${CMAKE_SOURCE_DIR}/tests/fuzz/gbk_literals.py)

# The copies of `files` (absolute, or relative to the source root) under build/fuzz/gbk, each
# remade when its original changes.
function(quorlex_gbk_copies out_var)
  set(copies)
  foreach(file IN LISTS ARGN)
    if(NOT IS_ABSOLUTE "${file}")
      set(file "${CMAKE_SOURCE_DIR}/${file}")
    endif()
    file(RELATIVE_PATH relative "${CMAKE_SOURCE_DIR}" "${file}")
    set(copy "${QUORLEX_GBK_DIR}/${relative}")
    add_custom_command(OUTPUT "${copy}"
      COMMAND Python3::Interpreter "${QUORLEX_GBK_SCRIPT}" "${file}" "${copy}"
      DEPENDS "${file}" "${QUORLEX_GBK_SCRIPT}" VERBATIM)
    get_source_file_property(object_depends "${file}" OBJECT_DEPENDS)
    if(object_depends)
      set_source_files_properties("${copy}" PROPERTIES OBJECT_DEPENDS "${object_depends}")
    endif()
    list(APPEND copies "${copy}")
  endforeach()
  set(${out_var} ${copies} PARENT_SCOPE)
endfunction()

# No target of this build may ask clang for the CP936 execution character set: neither those
# made so far nor the fuzz targets made below.
get_property(options DIRECTORY PROPERTY COMPILE_OPTIONS)
list(FILTER options EXCLUDE REGEX "exec-charset")
set_property(DIRECTORY PROPERTY COMPILE_OPTIONS ${options})
get_property(all_targets DIRECTORY PROPERTY BUILDSYSTEM_TARGETS)
foreach(target IN LISTS all_targets)
  get_target_property(options ${target} COMPILE_OPTIONS)
  if(options)
    list(FILTER options EXCLUDE REGEX "exec-charset")
    set_property(TARGET ${target} PROPERTY COMPILE_OPTIONS ${options})
  endif()
endforeach()

# Every layer's library from the converted copies of its own sources, and every header below src/
# converted for all of them.
file(GLOB_RECURSE core_headers CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/src/*.h)
quorlex_gbk_copies(header_copies ${core_headers})
add_custom_target(quorlex_gbk_headers DEPENDS ${header_copies})
get_property(layers GLOBAL PROPERTY QUORLEX_LAYERS)
foreach(layer IN LISTS layers)
  get_target_property(layer_sources ${layer} SOURCES)
  quorlex_gbk_copies(layer_copies ${layer_sources})
  set_property(TARGET ${layer} PROPERTY SOURCES ${layer_copies})
  foreach(property INCLUDE_DIRECTORIES INTERFACE_INCLUDE_DIRECTORIES)
    get_target_property(directories ${layer} ${property})
    list(TRANSFORM directories REPLACE "^${CMAKE_SOURCE_DIR}/src$" "${QUORLEX_GBK_DIR}/src")
    set_property(TARGET ${layer} PROPERTY ${property} ${directories})
  endforeach()
  add_dependencies(${layer} quorlex_gbk_headers)
  target_compile_options(${layer} PRIVATE -fsanitize=fuzzer-no-link ${QUORLEX_FUZZ_SANITIZERS})
endforeach()

# One executable per target file; helpers are headers.
file(GLOB fuzz_sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/fuzz/*.cpp)
file(GLOB fuzz_headers CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/fuzz/*.h)
quorlex_gbk_copies(fuzz_header_copies ${fuzz_headers})
add_custom_target(fuzz_targets)
foreach(source IN LISTS fuzz_sources)
  get_filename_component(name "${source}" NAME_WE)
  quorlex_gbk_copies(copy "${source}")
  add_executable(fuzz_${name} ${copy} ${fuzz_header_copies})
  target_include_directories(fuzz_${name} PRIVATE ${QUORLEX_GBK_DIR}/tests/fuzz)
  target_compile_options(fuzz_${name} PRIVATE -fsanitize=fuzzer ${QUORLEX_FUZZ_SANITIZERS})
  target_link_options(fuzz_${name} PRIVATE -fsanitize=fuzzer ${QUORLEX_FUZZ_SANITIZERS})
  target_link_libraries(fuzz_${name} PRIVATE quorlex_plugin)
  set_target_properties(fuzz_${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
  add_dependencies(fuzz_targets fuzz_${name})
endforeach()
