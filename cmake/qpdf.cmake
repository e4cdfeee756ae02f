# qpdf, which the worker links to count and join page ranges, and xtview to count pages: Debian's
# libqpdf natively, a static build for Windows made by scripts/build-qpdf (its install prefix in
# QUILLMEND_WINDOWS_QPDF). Gives the interface target quillmend_qpdf.
add_library(quillmend_qpdf INTERFACE)
# qpdf's headers warn about PointerHolder unless told which interface the code uses.
target_compile_definitions(quillmend_qpdf INTERFACE POINTERHOLDER_TRANSITION=4)
if(WIN32)
  set(QUILLMEND_WINDOWS_QPDF "" CACHE PATH
    "Install prefix of the static qpdf for Windows, as scripts/build-qpdf prints it")
  if(NOT EXISTS "${QUILLMEND_WINDOWS_QPDF}/include/qpdf/QPDF.hh")
    message(FATAL_ERROR "QUILLMEND_WINDOWS_QPDF must name the install prefix of a static qpdf "
      "for Windows (scripts/build-qpdf builds one and prints it); it is '${QUILLMEND_WINDOWS_QPDF}'")
  endif()
  find_library(QUILLMEND_QPDF_LIBRARY NAMES qpdf libqpdf PATHS "${QUILLMEND_WINDOWS_QPDF}/lib"
    NO_DEFAULT_PATH REQUIRED)
  find_library(QUILLMEND_JPEG_LIBRARY NAMES jpeg-static jpeg PATHS "${QUILLMEND_WINDOWS_QPDF}/lib"
    NO_DEFAULT_PATH REQUIRED)
  find_package(ZLIB REQUIRED)
  target_include_directories(quillmend_qpdf SYSTEM INTERFACE "${QUILLMEND_WINDOWS_QPDF}/include")
  target_link_libraries(quillmend_qpdf INTERFACE ${QUILLMEND_QPDF_LIBRARY} ${QUILLMEND_JPEG_LIBRARY}
    ZLIB::ZLIB advapi32)
else()
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(QPDF REQUIRED IMPORTED_TARGET libqpdf)
  target_link_libraries(quillmend_qpdf INTERFACE PkgConfig::QPDF)
endif()
