# qpdf, which the worker links to count and join page ranges, and xtview to count pages: Debian's
# libqpdf natively, a static build for Windows made by scripts/build-qpdf (its install prefix in
# QUILLMEND_WINDOWS_QPDF). Gives the interface target quillmend_qpdf and QUILLMEND_QPDF_VERSION,
# the version linked, for the version resources of the binaries that link it.
add_library(quillmend_qpdf INTERFACE)
# qpdf's headers warn about PointerHolder unless told which interface the code uses.
target_compile_definitions(quillmend_qpdf INTERFACE POINTERHOLDER_TRANSITION=4)

if(NOT WIN32)
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(QPDF REQUIRED IMPORTED_TARGET libqpdf)
  target_link_libraries(quillmend_qpdf INTERFACE PkgConfig::QPDF)
  set(QUILLMEND_QPDF_VERSION ${QPDF_VERSION})
  return()
endif()

# Windows: a static qpdf, so that a program linked with -static (or MSVC's static runtime)
# imports only Windows system DLLs.
set(QUILLMEND_WINDOWS_QPDF "" CACHE PATH
  "Install prefix of the static qpdf for Windows, as scripts/build-qpdf prints it")
if(NOT EXISTS "${QUILLMEND_WINDOWS_QPDF}/include/qpdf/QPDF.hh")
  message(FATAL_ERROR "QUILLMEND_WINDOWS_QPDF must name the install prefix of a static qpdf for "
    "Windows; it is '${QUILLMEND_WINDOWS_QPDF}'. scripts/build-qpdf builds one from Debian's "
    "source and prints it: cmake --preset windows "
    "-DQUILLMEND_WINDOWS_QPDF=\"$(scripts/build-qpdf --print-path)\"")
endif()

# A new prefix finds its libraries anew.
if(NOT QUILLMEND_WINDOWS_QPDF STREQUAL "${QUILLMEND_QPDF_LIBRARIES_FROM}")
  unset(QUILLMEND_QPDF_LIBRARY CACHE)
  unset(QUILLMEND_JPEG_LIBRARY CACHE)
  unset(QUILLMEND_ZLIB_LIBRARY CACHE)
endif()
set(QUILLMEND_QPDF_LIBRARIES_FROM "${QUILLMEND_WINDOWS_QPDF}" CACHE INTERNAL
  "The prefix that the cached qpdf libraries were found in")

# The prefix's own static libraries, not MinGW's or the system's. The prefix lies outside the
# cross-compiler's root, so it is not re-rooted. MinGW names them libqpdf.a and libjpeg.a; qpdf's
# and libjpeg-turbo's MSVC builds qpdf.lib (qpdf_static.lib beside a DLL) and jpeg-static.lib.
set(quillmend_qpdf_prefix_only PATHS "${QUILLMEND_WINDOWS_QPDF}/lib" NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
find_library(QUILLMEND_QPDF_LIBRARY NAMES qpdf_static qpdf ${quillmend_qpdf_prefix_only} REQUIRED)
find_library(QUILLMEND_JPEG_LIBRARY NAMES jpeg-static jpeg ${quillmend_qpdf_prefix_only} REQUIRED)
# zlib's static library: from the prefix if it holds one, else the toolchain's (MinGW's libz.a
# from Debian's libz-mingw-w64-dev). Named by file first, since MinGW's plain "z" would find the
# import library libz.dll.a first and the program would need zlib1.dll. zlib's own MSVC builds
# name it zlibstatic.lib, or zs.lib from 1.3.1 on.
set(quillmend_zlib_names libz.a zlibstatic zs)
find_library(QUILLMEND_ZLIB_LIBRARY NAMES ${quillmend_zlib_names} ${quillmend_qpdf_prefix_only})
find_library(QUILLMEND_ZLIB_LIBRARY NAMES ${quillmend_zlib_names} REQUIRED)
if(QUILLMEND_ZLIB_LIBRARY MATCHES "\\.dll\\.a$")
  message(FATAL_ERROR "QUILLMEND_ZLIB_LIBRARY is the import library ${QUILLMEND_ZLIB_LIBRARY}; "
    "the programs would need zlib1.dll. Name the static libz.a instead.")
endif()

target_include_directories(quillmend_qpdf SYSTEM INTERFACE "${QUILLMEND_WINDOWS_QPDF}/include")
# In link order: qpdf needs libjpeg and zlib, and its crypto's random numbers come from advapi32.
target_link_libraries(quillmend_qpdf INTERFACE
  "${QUILLMEND_QPDF_LIBRARY}" "${QUILLMEND_JPEG_LIBRARY}" "${QUILLMEND_ZLIB_LIBRARY}" advapi32)

file(STRINGS "${QUILLMEND_WINDOWS_QPDF}/include/qpdf/DLL.h" quillmend_qpdf_version_line
  REGEX "^#define QPDF_VERSION \"[0-9.]+\"$")
if(NOT quillmend_qpdf_version_line MATCHES "\"([0-9.]+)\"")
  message(FATAL_ERROR "found no QPDF_VERSION in ${QUILLMEND_WINDOWS_QPDF}/include/qpdf/DLL.h")
endif()
set(QUILLMEND_QPDF_VERSION ${CMAKE_MATCH_1})
message(STATUS "qpdf ${QUILLMEND_QPDF_VERSION} for Windows: ${QUILLMEND_QPDF_LIBRARY}, "
  "${QUILLMEND_JPEG_LIBRARY}, ${QUILLMEND_ZLIB_LIBRARY}")

# The package holds these libraries inside its programs, so it carries their licences.
install(FILES ${PROJECT_SOURCE_DIR}/THIRD-PARTY-LICENSES.txt DESTINATION . COMPONENT package)
