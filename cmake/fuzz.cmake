# libFuzzer targets (tests/fuzz/<target>.cpp), with AddressSanitizer and UBSan. Configure with
#   cmake -S . -B build/fuzz -DQUORLEX_FUZZ=ON -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++
# and build the target "fuzz_targets"; scripts/fuzz.sh does both and runs them.
#
# The targets link the same core library as the tests, built here with clang: its sources are the
# ones the core is made of, with one change. clang has no CP936 execution character set, so every
# file is first copied with its non-ASCII string literals written as GBK byte escapes
# (tests/fuzz/gbk_literals.py), which gives the literals the bytes g++ gives them with
# -fexec-charset=CP936; the core then compiles those copies.
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

# The core library from the converted copies of its own sources and of every header below src/.
get_target_property(core_sources quorlex_core SOURCES)
file(GLOB_RECURSE core_headers CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/src/*.h)
quorlex_gbk_copies(core_copies ${core_sources} ${core_headers})
set_property(TARGET quorlex_core PROPERTY SOURCES ${core_copies})
set_property(TARGET quorlex_core PROPERTY INCLUDE_DIRECTORIES ${QUORLEX_GBK_DIR}/src)
set_property(TARGET quorlex_core PROPERTY INTERFACE_INCLUDE_DIRECTORIES ${QUORLEX_GBK_DIR}/src)
target_compile_options(quorlex_core PRIVATE -fsanitize=fuzzer-no-link ${QUORLEX_FUZZ_SANITIZERS})

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
  target_link_libraries(fuzz_${name} PRIVATE quorlex_core)
  set_target_properties(fuzz_${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
  add_dependencies(fuzz_targets fuzz_${name})
endforeach()
