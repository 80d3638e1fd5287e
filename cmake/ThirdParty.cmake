# TinyXML, minizip, zlib, libsodium, libzstd and GoogleTest. TinyXML and minizip are compiled
# from the Debian sources that scripts/bootstrap fetches, for every build: the
# host build's sanitizers and the fuzzer then see inside them too. zlib is the
# machine's (libz-mingw-w64-dev for Windows); GoogleTest is compiled for
# Windows from /usr/src/googletest.
set(TW_THIRD_PARTY ${PROJECT_SOURCE_DIR}/third_party)

if(NOT EXISTS ${TW_THIRD_PARTY}/tinyxml/tinyxml.h OR NOT EXISTS ${TW_THIRD_PARTY}/minizip/unzip.h)
  message(FATAL_ERROR "third-party sources missing: run scripts/bootstrap")
endif()

if(WIN32)
  set(ZLIB_USE_STATIC_LIBS ON)
endif()
find_package(ZLIB REQUIRED)

add_library(tinyxml STATIC
  ${TW_THIRD_PARTY}/tinyxml/tinyxml.cpp
  ${TW_THIRD_PARTY}/tinyxml/tinystr.cpp
  ${TW_THIRD_PARTY}/tinyxml/tinyxmlerror.cpp
  ${TW_THIRD_PARTY}/tinyxml/tinyxmlparser.cpp)
target_compile_definitions(tinyxml PUBLIC TIXML_USE_STL)
target_include_directories(tinyxml SYSTEM PUBLIC ${TW_THIRD_PARTY}/tinyxml)
target_compile_options(tinyxml PRIVATE -w)

set(TW_MINIZIP ${TW_THIRD_PARTY}/minizip/ioapi.c ${TW_THIRD_PARTY}/minizip/unzip.c ${TW_THIRD_PARTY}/minizip/zip.c)
if(WIN32)
  list(APPEND TW_MINIZIP ${TW_THIRD_PARTY}/minizip/iowin32.c)
endif()
add_library(minizip STATIC ${TW_MINIZIP})
target_include_directories(minizip SYSTEM PUBLIC ${TW_THIRD_PARTY}/minizip)
target_link_libraries(minizip PUBLIC ZLIB::ZLIB)
target_compile_options(minizip PRIVATE -w)

# libsodium: cross-built static for Windows by scripts/bootstrap, the
# machine's libsodium-dev natively.
add_library(sodium INTERFACE)
if(WIN32)
  set(TW_SODIUM ${TW_THIRD_PARTY}/libsodium-win32)
  if(NOT EXISTS ${TW_SODIUM}/lib/libsodium.a)
    message(FATAL_ERROR "libsodium for Windows missing: run scripts/bootstrap")
  endif()
  target_include_directories(sodium SYSTEM INTERFACE ${TW_SODIUM}/include)
  target_compile_definitions(sodium INTERFACE SODIUM_STATIC=1)
  # advapi32: its random source.
  target_link_libraries(sodium INTERFACE ${TW_SODIUM}/lib/libsodium.a advapi32)
else()
  find_library(TW_SODIUM_LIBRARY sodium REQUIRED)
  find_path(TW_SODIUM_INCLUDE sodium.h REQUIRED)
  target_include_directories(sodium SYSTEM INTERFACE ${TW_SODIUM_INCLUDE})
  target_link_libraries(sodium INTERFACE ${TW_SODIUM_LIBRARY})
endif()

# libzstd (delta packages) the same way.
add_library(zstd INTERFACE)
if(WIN32)
  set(TW_ZSTD ${TW_THIRD_PARTY}/libzstd-win32)
  if(NOT EXISTS ${TW_ZSTD}/lib/libzstd.a)
    message(FATAL_ERROR "libzstd for Windows missing: run scripts/bootstrap")
  endif()
  target_include_directories(zstd SYSTEM INTERFACE ${TW_ZSTD}/include)
  target_link_libraries(zstd INTERFACE ${TW_ZSTD}/lib/libzstd.a)
else()
  find_library(TW_ZSTD_LIBRARY zstd REQUIRED)
  find_path(TW_ZSTD_INCLUDE zstd.h REQUIRED)
  target_include_directories(zstd SYSTEM INTERFACE ${TW_ZSTD_INCLUDE})
  target_link_libraries(zstd INTERFACE ${TW_ZSTD_LIBRARY})
endif()

# liblzma (the streams of difference deltas) the same way.
add_library(lzma INTERFACE)
if(WIN32)
  set(TW_LZMA ${TW_THIRD_PARTY}/liblzma-win32)
  if(NOT EXISTS ${TW_LZMA}/lib/liblzma.a)
    message(FATAL_ERROR "liblzma for Windows missing: run scripts/bootstrap")
  endif()
  target_include_directories(lzma SYSTEM INTERFACE ${TW_LZMA}/include)
  target_link_libraries(lzma INTERFACE ${TW_LZMA}/lib/liblzma.a)
  target_compile_definitions(lzma INTERFACE LZMA_API_STATIC)
else()
  find_library(TW_LZMA_LIBRARY lzma REQUIRED)
  find_path(TW_LZMA_INCLUDE lzma.h REQUIRED)
  target_include_directories(lzma SYSTEM INTERFACE ${TW_LZMA_INCLUDE})
  target_link_libraries(lzma INTERFACE ${TW_LZMA_LIBRARY})
endif()

if(WIN32)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
elseif(NOT TW_FUZZ)
  find_package(GTest REQUIRED)
endif()
