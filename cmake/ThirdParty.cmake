# TinyXML, minizip, zlib and GoogleTest. For Windows they are compiled from
# the Debian sources that scripts/bootstrap fetches; the host build uses the
# machine's own libraries.
set(TW_THIRD_PARTY ${PROJECT_SOURCE_DIR}/third_party)

if(WIN32)
  if(NOT EXISTS ${TW_THIRD_PARTY}/tinyxml/tinyxml.h OR NOT EXISTS ${TW_THIRD_PARTY}/minizip/unzip.h)
    message(FATAL_ERROR "third-party sources missing: run scripts/bootstrap")
  endif()

  set(ZLIB_USE_STATIC_LIBS ON)
  find_package(ZLIB REQUIRED)

  add_library(tinyxml STATIC
    ${TW_THIRD_PARTY}/tinyxml/tinyxml.cpp
    ${TW_THIRD_PARTY}/tinyxml/tinystr.cpp
    ${TW_THIRD_PARTY}/tinyxml/tinyxmlerror.cpp
    ${TW_THIRD_PARTY}/tinyxml/tinyxmlparser.cpp)
  target_compile_definitions(tinyxml PUBLIC TIXML_USE_STL)
  target_include_directories(tinyxml SYSTEM PUBLIC ${TW_THIRD_PARTY}/tinyxml)
  target_compile_options(tinyxml PRIVATE -w)

  add_library(minizip STATIC
    ${TW_THIRD_PARTY}/minizip/ioapi.c
    ${TW_THIRD_PARTY}/minizip/unzip.c
    ${TW_THIRD_PARTY}/minizip/zip.c
    ${TW_THIRD_PARTY}/minizip/iowin32.c)
  target_include_directories(minizip SYSTEM PUBLIC ${TW_THIRD_PARTY}/minizip)
  target_link_libraries(minizip PUBLIC ZLIB::ZLIB)
  target_compile_options(minizip PRIVATE -w)

  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
else()
  find_package(ZLIB REQUIRED)
  find_package(GTest REQUIRED)

  find_path(TINYXML_INCLUDE tinyxml.h REQUIRED)
  find_library(TINYXML_LIB tinyxml REQUIRED)
  add_library(tinyxml INTERFACE)
  target_compile_definitions(tinyxml INTERFACE TIXML_USE_STL)
  target_include_directories(tinyxml SYSTEM INTERFACE ${TINYXML_INCLUDE})
  target_link_libraries(tinyxml INTERFACE ${TINYXML_LIB})

  find_path(MINIZIP_INCLUDE unzip.h PATH_SUFFIXES minizip REQUIRED)
  find_library(MINIZIP_LIB minizip REQUIRED)
  add_library(minizip INTERFACE)
  target_include_directories(minizip SYSTEM INTERFACE ${MINIZIP_INCLUDE})
  target_link_libraries(minizip INTERFACE ${MINIZIP_LIB} ZLIB::ZLIB)
endif()
