# Build settings shared by every target: warnings, runtime linkage, sanitizers, Wine.

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

if(QUILLMEND_SANITIZE)
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
