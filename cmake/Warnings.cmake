# Every target of the project builds with the same strict warnings. They stop
# the build only where the project's own developers build (the presets and CI
# set DORVANE_WERROR): a packager's compiler or build type may warn about
# things nobody here has seen, and that must not break their build.
option(DORVANE_WERROR "Treat compiler warnings as errors" OFF)

function(dorvane_warnings target)
  if(MSVC)
    target_compile_options(${target} PRIVATE /W4 $<$<BOOL:${DORVANE_WERROR}>:/WX>)
  else()
    target_compile_options(${target} PRIVATE
      -Wall -Wextra -Wpedantic $<$<BOOL:${DORVANE_WERROR}>:-Werror>
      -Wshadow -Wnon-virtual-dtor -Wold-style-cast -Wcast-align
      -Woverloaded-virtual -Wconversion -Wsign-conversion
      -Wnull-dereference -Wdouble-promotion -Wformat=2 -Wimplicit-fallthrough)
  endif()
endfunction()
