# Fails when a source declares a thread_local object. With mingw-w64 a
# thread_local's storage may be freed before its destructor runs at thread
# exit, which crashes the Windows build now and then; per-thread state is
# passed along or kept on the stack instead.
# Usage: cmake -DROOT=<source folder> -P check_thread_locals.cmake
set(faults "")
foreach(folder app core engines operations platform ui)
  file(GLOB_RECURSE sources RELATIVE ${ROOT} ${ROOT}/${folder}/*.cpp ${ROOT}/${folder}/*.h)
  foreach(source ${sources})
    file(STRINGS ${ROOT}/${source} lines REGEX "(^|[^_a-z])thread_local[ \t]")
    foreach(line ${lines})
      if(NOT line MATCHES "^[ \t]*//")
        string(APPEND faults "  ${source}: ${line}\n")
      endif()
    endforeach()
  endforeach()
endforeach()
if(faults)
  message(FATAL_ERROR "thread_local objects, which the Windows build cannot destroy safely:\n${faults}")
endif()
