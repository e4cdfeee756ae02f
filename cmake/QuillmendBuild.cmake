# Build settings shared by every target: warnings, runtime linkage, the shipped binaries'
# reproducibility and version resources, sanitizers, Wine.

# Product code: every warning is an error.
function(quillmend_strict_warnings target)
  if(MSVC)
    target_compile_options(${target} PRIVATE /W4 /WX /permissive-)
  else()
    target_compile_options(${target} PRIVATE
      -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wsign-conversion -Werror)
  endif()
endfunction()

# Tests and tools: the usual warnings, still errors.
function(quillmend_warnings target)
  if(MSVC)
    target_compile_options(${target} PRIVATE /W4 /WX)
  else()
    target_compile_options(${target} PRIVATE -Wall -Wextra -Werror)
  endif()
endfunction()

# Code that runs inside the host: no exceptions can cross the boundary and no RTTI is needed.
function(quillmend_no_exceptions target)
  if(MSVC)
    target_compile_options(${target} PRIVATE /GR- /EHs-c-)
    target_compile_definitions(${target} PRIVATE _HAS_EXCEPTIONS=0)
  else()
    target_compile_options(${target} PRIVATE -fno-exceptions -fno-rtti)
  endif()
endfunction()

# Windows binaries carry their compiler runtime inside, so they need only system DLLs.
function(quillmend_static_runtime target)
  if(MINGW)
    target_link_options(${target} PRIVATE -static)
  elseif(MSVC)
    set_property(TARGET ${target} PROPERTY MSVC_RUNTIME_LIBRARY "MultiThreaded$<$<CONFIG:Debug>:Debug>")
  endif()
endfunction()

# Objects that go into a shipped binary: no build folder in the code or its debug information.
# Compiler options only: the resource compiler takes none of them.
function(quillmend_reproducible_objects target)
  if(MSVC)
    target_compile_options(${target} PRIVATE $<$<COMPILE_LANGUAGE:C,CXX>:/Brepro>)
  else()
    # Both folders become "."; the build folder's map comes last, so it wins inside the source.
    target_compile_options(${target} PRIVATE
      "$<$<COMPILE_LANGUAGE:C,CXX>:-ffile-prefix-map=${PROJECT_SOURCE_DIR}=.>"
      "$<$<COMPILE_LANGUAGE:C,CXX>:-ffile-prefix-map=${PROJECT_BINARY_DIR}=.>")
  endif()
endfunction()

# A binary that ships: the plug-in, its worker and xtview. The same source gives the same bytes
# whatever folder it is built in and whenever: no build folder in the code or its debug
# information, no link time stamp. On Windows it carries a version resource (the project's
# version and names, from version.rc.in, compiled by windres or by rc.exe under MSVC), and a
# MinGW release build links it without symbols, so that the package holds the very bytes built
# and tested. COMMENTS, when given, becomes the resource's Comments string: a binary that
# carries third-party code names it there, e.g. "Uses qpdf 11.3.0 (Apache License 2.0)". It is
# kept in the target's property QUILLMEND_RC_COMMENTS too, for the release checks.
# Usage: quillmend_shipped_binary(target description [COMMENTS text])
function(quillmend_shipped_binary target description)
  cmake_parse_arguments(PARSE_ARGV 2 arg "" "COMMENTS" "")
  if(arg_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "quillmend_shipped_binary: unknown arguments ${arg_UNPARSED_ARGUMENTS}")
  endif()
  set_property(TARGET ${target} PROPERTY QUILLMEND_RC_COMMENTS "${arg_COMMENTS}")
  quillmend_reproducible_objects(${target})
  if(MSVC)
    target_link_options(${target} PRIVATE /Brepro)
  elseif(MINGW)
    target_link_options(${target} PRIVATE
      -Wl,--no-insert-timestamp $<$<CONFIG:Release,MinSizeRel>:-s>)
  endif()
  if(NOT WIN32)
    return()
  endif()
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "EXECUTABLE")
    set(QUILLMEND_RC_FILE_TYPE VFT_APP)
  else()
    set(QUILLMEND_RC_FILE_TYPE VFT_DLL)
  endif()
  set(QUILLMEND_RC_DESCRIPTION "${description}")
  # A resource script doubles a quote inside a string.
  set(QUILLMEND_RC_COMMENTS "")
  if(NOT "${arg_COMMENTS}" STREQUAL "")
    string(REPLACE "\"" "\"\"" comments "${arg_COMMENTS}")
    set(QUILLMEND_RC_COMMENTS "\n      VALUE \"Comments\", \"${comments}\"")
  endif()
  # The names as built, output names included, once the build is generated.
  set(QUILLMEND_RC_NAME "$<TARGET_FILE_BASE_NAME:${target}>")
  set(QUILLMEND_RC_FILE_NAME "$<TARGET_FILE_NAME:${target}>")
  set(resource ${CMAKE_CURRENT_BINARY_DIR}/${target}_version.rc)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/version.rc.in ${resource}.in @ONLY)
  file(GENERATE OUTPUT ${resource} INPUT ${resource}.in)
  target_sources(${target} PRIVATE ${resource})
endfunction()

if(QUILLMEND_SANITIZE)
  if(MSVC)
    message(FATAL_ERROR "QUILLMEND_SANITIZE takes GCC and Clang sanitizers; not for MSVC")
  endif()
  add_compile_options(-fsanitize=${QUILLMEND_SANITIZE} -fno-omit-frame-pointer
                      -fno-sanitize-recover=all)
  add_link_options(-fsanitize=${QUILLMEND_SANITIZE})
endif()

# Windows programs built here run their tests under Wine, in a prefix inside the build tree.
if(CMAKE_CROSSCOMPILING AND WIN32)
  set(QUILLMEND_WINE_PREFIX ${CMAKE_BINARY_DIR}/wine-prefix)
  set(CMAKE_CROSSCOMPILING_EMULATOR
    ${CMAKE_SOURCE_DIR}/cmake/run-under-wine ${QUILLMEND_WINE_PREFIX})
endif()
