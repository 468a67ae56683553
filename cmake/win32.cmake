# Windows build (mingw-w64): the plug-in DLL, the browser stand-in host and the Wine test driver.
# zlib goes in statically too: the DLL may import system DLLs only.
set(ZLIB_USE_STATIC_LIBS ON)
find_package(ZLIB REQUIRED)
target_link_libraries(quorlex_store PUBLIC ZLIB::ZLIB)
target_link_libraries(quorlex_platform PUBLIC user32 gdi32 comctl32 kernel32 advapi32 wininet shell32)
# The same definitions for every layer, so that all of them see the Windows headers alike.
target_compile_definitions(quorlex_base PUBLIC UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601)

# Static run time: the DLL must load into a browser with nothing beside it.
set(QUORLEX_STATIC_LINK -static -static-libgcc -static-libstdc++)

# Exports with the standard calling convention under their plain names; on i686 the compiler's
# names carry the argument size (NP_Initialize@4).
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(ARGS4 "@4")
  set(ARGS0 "@0")
else()
  set(ARGS4 "")
  set(ARGS0 "")
endif()
configure_file(src/plugin/win32/tqnx.def.in ${CMAKE_BINARY_DIR}/tqnx.def @ONLY)

add_library(tqnx SHARED
  src/plugin/win32/dll_main.cpp
  ${CMAKE_BINARY_DIR}/tqnx.def
  src/plugin/win32/version.rc
  src/plugin/win32/manifest.rc)
set_source_files_properties(src/plugin/win32/manifest.rc PROPERTIES
  OBJECT_DEPENDS ${CMAKE_SOURCE_DIR}/src/plugin/win32/tqnx.manifest)
set_target_properties(tqnx PROPERTIES PREFIX "" OUTPUT_NAME tqnx)
target_link_libraries(tqnx PRIVATE quorlex_plugin ${QUORLEX_STATIC_LINK})

add_executable(host tools/host/host.cpp)
target_link_libraries(host PRIVATE ${QUORLEX_STATIC_LINK})
target_compile_definitions(host PRIVATE UNICODE _UNICODE)
target_link_options(host PRIVATE -municode)

# The end-to-end driver: GoogleTest built from Debian's sources for this target.
set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
file(GLOB E2E_SOURCES CONFIGURE_DEPENDS tests/wine/*.cpp)
add_executable(e2e_tests ${E2E_SOURCES})
target_include_directories(e2e_tests PRIVATE src)
target_compile_definitions(e2e_tests PRIVATE UNICODE _UNICODE)
# The driver links the program logic too, to work out the rules it expects in the boxes.
target_link_libraries(e2e_tests PRIVATE quorlex_plugin gtest ${QUORLEX_STATIC_LINK})
target_compile_definitions(e2e_tests PRIVATE QUORLEX_FIXTURE_DIR="Z:${CMAKE_SOURCE_DIR}/tests/mirror/fixtures")

# Holds a file open from another process, for the end-to-end tests of the profile locator.
add_executable(holdopen tools/holdopen/holdopen.cpp)
target_link_libraries(holdopen PRIVATE ${QUORLEX_STATIC_LINK})
target_compile_definitions(holdopen PRIVATE UNICODE _UNICODE)
target_link_options(holdopen PRIVATE -municode)
add_dependencies(e2e_tests holdopen)

# Shutdown under load and write safety: drives host.exe with the plug-in, many times over.
add_executable(stress tests/wine/stress/stress_main.cpp)
target_include_directories(stress PRIVATE src)
target_compile_definitions(stress PRIVATE UNICODE _UNICODE)
target_link_libraries(stress PRIVATE quorlex_plugin ${QUORLEX_STATIC_LINK})
target_link_options(stress PRIVATE -municode)
add_dependencies(stress host holdopen tqnx)

# The command-line converter, beside tqnx.dll: as natively, without the window's code.
file(GLOB CLI_SOURCES CONFIGURE_DEPENDS tools/cli/*.cpp)
add_executable(quorlex ${CLI_SOURCES})
target_link_libraries(quorlex PRIVATE quorlex_plugin ${QUORLEX_STATIC_LINK})
target_link_options(quorlex PRIVATE -municode)
include(cmake/tools.cmake)
