# The outside tools the plug-in carries (the console extractor myrar and the 7z library) and
# their embedding into the program's read-only data as RarToolImage and SevenZipImage.
# Windows: both are built with this toolchain and linked statically with libarchive and liblzma
# from scripts/build-deps.sh (cached under ~/.cache/quorlex/deps/<arch>) and mingw's zlib.
# Native: myrar is built on the system's libarchive; there is no 7z library image (empty).
add_library(extract_core STATIC tools/extract/extract.c)
target_include_directories(extract_core PUBLIC tools/extract)

if(WIN32)
  if(DEFINED ENV{QUORLEX_CACHE})
    set(QUORLEX_DEPS_DIR "$ENV{QUORLEX_CACHE}/deps/${CMAKE_SYSTEM_PROCESSOR}")
  else()
    set(QUORLEX_DEPS_DIR "$ENV{HOME}/.cache/quorlex/deps/${CMAKE_SYSTEM_PROCESSOR}")
  endif()
  if(NOT EXISTS "${QUORLEX_DEPS_DIR}/lib/libarchive.a")
    message(FATAL_ERROR "libarchive for ${CMAKE_SYSTEM_PROCESSOR} missing: run scripts/build-deps.sh ${CMAKE_SYSTEM_PROCESSOR}")
  endif()
  target_include_directories(extract_core PUBLIC "${QUORLEX_DEPS_DIR}/include")
  target_compile_definitions(extract_core PUBLIC LIBARCHIVE_STATIC LZMA_API_STATIC)
  target_link_libraries(extract_core PUBLIC "${QUORLEX_DEPS_DIR}/lib/libarchive.a"
    "${QUORLEX_DEPS_DIR}/lib/liblzma.a" "${CMAKE_FIND_ROOT_PATH}/lib/libz.a" advapi32 kernel32)

  add_executable(myrar tools/myrar/myrar.c)
  target_link_libraries(myrar PRIVATE extract_core -static -static-libgcc -municode -s)

  add_library(sevenzip SHARED tools/sevenzip/sevenzip.c)
  set_target_properties(sevenzip PROPERTIES PREFIX "" OUTPUT_NAME sevenzip)
  target_link_libraries(sevenzip PRIVATE extract_core -static -static-libgcc -Wl,--kill-at -s)
  set_target_properties(sevenzip PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tools)
  set(QUORLEX_SEVEN_ZIP_FILE "${CMAKE_BINARY_DIR}/tools/sevenzip.dll")
  set(QUORLEX_RODATA ".rdata,\\\"dr\\\"")
else()
  find_package(LibArchive REQUIRED)
  target_link_libraries(extract_core PUBLIC LibArchive::LibArchive)
  add_executable(myrar tools/myrar/myrar.c)
  target_link_libraries(myrar PRIVATE extract_core)
  target_link_libraries(quorlex_tests PRIVATE extract_core)  # the core's bounds, tested directly
  set(QUORLEX_SEVEN_ZIP_FILE "")
  set(QUORLEX_RODATA ".rodata")
endif()

set_target_properties(myrar PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tools)
set(QUORLEX_RAR_TOOL_FILE "${CMAKE_BINARY_DIR}/tools/myrar${CMAKE_EXECUTABLE_SUFFIX}")

set(QUORLEX_IMAGES_SOURCE ${CMAKE_SOURCE_DIR}/src/plugin/embed/tool_images.cpp)
target_sources(quorlex_plugin PRIVATE ${QUORLEX_IMAGES_SOURCE})
set_source_files_properties(${QUORLEX_IMAGES_SOURCE} PROPERTIES
  OBJECT_DEPENDS "${QUORLEX_RAR_TOOL_FILE};${QUORLEX_SEVEN_ZIP_FILE}")
target_compile_definitions(quorlex_plugin PRIVATE
  "QUORLEX_RAR_TOOL_FILE=\"${QUORLEX_RAR_TOOL_FILE}\""
  "QUORLEX_SEVEN_ZIP_FILE=\"${QUORLEX_SEVEN_ZIP_FILE}\""
  "QUORLEX_RODATA=\"${QUORLEX_RODATA}\"")
add_dependencies(quorlex_plugin myrar)
if(WIN32)
  add_dependencies(quorlex_plugin sevenzip)
endif()
