# Checks that no source uses what libstdc++ 12 builds on std::atomic's wait and notify: std::latch,
# std::barrier, the semaphores, std::jthread's stop tokens and atomic waits themselves. Where the
# platform has no futex, as with MinGW, a notify can miss a thread that is just going to sleep,
# and the waiter then sleeps for good: under Wine, four threads behind a std::latch hung one run
# in thirty. A mutex and a condition variable do the same work without the fault.
# Usage: cmake -DROOT=source-folder -P check_no_atomic_waits.cmake
set(sources)
foreach(folder
    bench fuzz ghostscript host host_emulator pdf platform plugin tests view worker xtview)
  file(GLOB_RECURSE found ${ROOT}/${folder}/*.cpp ${ROOT}/${folder}/*.h)
  list(APPEND sources ${found})
endforeach()
set(pattern "#include <(latch|barrier|semaphore|stop_token)>|std::jthread|\\.wait\\([^)]*std::memory_order|atomic_(flag_)?(wait|notify)")
foreach(source IN LISTS sources)
  file(STRINGS ${source} lines REGEX "${pattern}")
  if(lines)
    message(FATAL_ERROR "${source} waits on an atomic: ${lines}")
  endif()
endforeach()
