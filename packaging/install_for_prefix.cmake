# Run at install time (install(CODE), see CMakeLists.txt beside it): installs
# one file whose text names installed paths, naming them as the prefix it is
# installed under gives them, however that prefix was given (configured,
# `cmake --install --prefix`, CPack's /usr; DESTDIR as well). Set before:
#   dorvane_source   the file as built; DORVANEBINDIR and DORVANEUSERUNITDIR
#                    in its text stand for the folders of the programs and
#                    units, DORVANEWINDOW for the window program
#   dorvane_name     its installed name
#   dorvane_folder, dorvane_bindir, dorvane_unitdir, dorvane_windowdir
#                    the folders, relative to the prefix or absolute
#   dorvane_gzip     a gzip to compress it with (manual pages), or empty
foreach(dorvane_kind folder bindir unitdir windowdir)
  if(NOT IS_ABSOLUTE "${dorvane_${dorvane_kind}}")
    set(dorvane_${dorvane_kind} "${CMAKE_INSTALL_PREFIX}/${dorvane_${dorvane_kind}}")
  endif()
endforeach()
file(READ "${dorvane_source}" dorvane_text)
string(REPLACE "DORVANEBINDIR" "${dorvane_bindir}" dorvane_text "${dorvane_text}")
string(REPLACE "DORVANEUSERUNITDIR" "${dorvane_unitdir}" dorvane_text "${dorvane_text}")
string(REPLACE "DORVANEWINDOW" "${dorvane_windowdir}/dorvane-window" dorvane_text "${dorvane_text}")
set(dorvane_target "$ENV{DESTDIR}${dorvane_folder}/${dorvane_name}")
file(MAKE_DIRECTORY "$ENV{DESTDIR}${dorvane_folder}")
file(WRITE "${dorvane_target}" "${dorvane_text}")
if(dorvane_gzip)
  # -n: no name or time stamp, so the file is the same from one build to the next
  execute_process(COMMAND "${dorvane_gzip}" -9nf "${dorvane_target}" RESULT_VARIABLE dorvane_failed)
  if(dorvane_failed)
    message(FATAL_ERROR "gzip failed on ${dorvane_target}")
  endif()
  string(APPEND dorvane_target ".gz")
endif()
file(CHMOD "${dorvane_target}" PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
message(STATUS "Installing: ${dorvane_target}")
# The manifest names installed files as the prefix does, without DESTDIR.
string(LENGTH "$ENV{DESTDIR}" dorvane_staging)
string(SUBSTRING "${dorvane_target}" ${dorvane_staging} -1 dorvane_installed)
list(APPEND CMAKE_INSTALL_MANIFEST_FILES "${dorvane_installed}")
