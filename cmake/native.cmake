# Native (Linux) build: the program logic for unit tests, tools and benchmarks.
find_package(Threads REQUIRED)
find_package(GTest REQUIRED)
target_link_libraries(quorlex_platform PUBLIC Threads::Threads)
# zlib's archive where the system has one, so that no program loads libz at start-up (the
# command line starts for every small job); its shared library otherwise.
find_library(QUORLEX_ZLIB_ARCHIVE NAMES libz.a)
if(QUORLEX_ZLIB_ARCHIVE)
  target_link_libraries(quorlex_store PUBLIC ${QUORLEX_ZLIB_ARCHIVE})
else()
  find_package(ZLIB REQUIRED)
  target_link_libraries(quorlex_store PUBLIC ZLIB::ZLIB)
endif()
# libcurl is not linked: the native HTTP layer loads it when the first request is prepared, so
# that a process that never fetches does not load it and the libraries under it. Its headers
# are used, and the name the loader knows it by (its SONAME, e.g. libcurl.so.4).
find_package(CURL REQUIRED)
target_include_directories(quorlex_platform PRIVATE ${CURL_INCLUDE_DIRS})
target_link_libraries(quorlex_platform PUBLIC ${CMAKE_DL_LIBS})
execute_process(COMMAND objdump -p ${CURL_LIBRARY_RELEASE} OUTPUT_VARIABLE curl_headers ERROR_QUIET)
if(curl_headers MATCHES "SONAME +([^\n ]+)")
  set(QUORLEX_CURL_SONAME "${CMAKE_MATCH_1}")
else()
  set(QUORLEX_CURL_SONAME "libcurl.so.4")
endif()
target_compile_definitions(quorlex_platform PRIVATE QUORLEX_CURL_LIBRARY="${QUORLEX_CURL_SONAME}")

enable_testing()
file(GLOB UNIT_TESTS CONFIGURE_DEPENDS tests/unit/*.cpp)
add_executable(quorlex_tests ${UNIT_TESTS})
target_link_libraries(quorlex_tests PRIVATE quorlex_plugin GTest::gtest GTest::gtest_main)
target_compile_definitions(quorlex_tests PRIVATE QUORLEX_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
include(GoogleTest)
gtest_discover_tests(quorlex_tests DISCOVERY_TIMEOUT 60)

# The command-line converter: the plug-in's start-up and everything below the window (it
# includes no ui/ header, and none of the window's code is linked in).
file(GLOB CLI_SOURCES CONFIGURE_DEPENDS tools/cli/*.cpp)
add_executable(quorlex ${CLI_SOURCES})
target_link_libraries(quorlex PRIVATE quorlex_plugin)
# One small job per process: with libstdc++, libgcc and (see above) zlib linked in, it loads
# libc alone; binding the C++ library's symbols at every start cost more than converting a
# short list.
target_link_options(quorlex PRIVATE -static-libstdc++ -static-libgcc)
add_dependencies(quorlex_tests quorlex)
target_compile_definitions(quorlex_tests PRIVATE QUORLEX_CLI="$<TARGET_FILE:quorlex>")
include(cmake/tools.cmake)

# The generator of the native UTF-8 to code page 936 table (scripts/make-gbk-table.sh).
add_executable(make_gbk_table tools/codepage/make_gbk_table.cpp)
target_link_libraries(make_gbk_table PRIVATE quorlex_platform)
set_target_properties(make_gbk_table PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tools)

# Benchmarks of the converters and the removal of redundant rules (not run by ctest).
find_package(benchmark REQUIRED)
file(GLOB BENCH_SOURCES CONFIGURE_DEPENDS tests/bench/*.cpp)
add_executable(quorlex_bench ${BENCH_SOURCES})
target_link_libraries(quorlex_bench PRIVATE quorlex_sources benchmark::benchmark)
