# Checks that no library the tests load at run time has thread-local storage of its own. A
# dlopen'ed library's thread-local block is found by __tls_get_addr, and the AddressSanitizer of
# GCC 12 guesses that block's bounds from the 16 bytes before it when it starts 16 bytes past a
# page boundary; under glibc 2.34 and later those bytes are heap data, and LeakSanitizer then
# crashes at exit scanning what it guessed. Whether it happens depends on the heap's layout (even
# on the length of the folder the tests run in), so it is ruled out here, on every machine.
# Usage: cmake -DTOOL=readelf -DLIBRARIES="A;B" -P check_no_thread_storage.cmake
foreach(library IN LISTS LIBRARIES)
  execute_process(COMMAND ${TOOL} -lW ${library} OUTPUT_VARIABLE headers RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${TOOL} failed on ${library}")
  endif()
  if(headers MATCHES "\n +TLS ")
    message(FATAL_ERROR "${library} has thread-local storage (a TLS program header)")
  endif()
endforeach()
