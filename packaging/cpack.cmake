# Packages of an installation: `cpack` in the build folder makes
#   Linux:   dorvane_<version>_<arch>.deb (configure with -DCMAKE_INSTALL_PREFIX=/usr)
#   Windows: dorvane-<version>-win64.zip (the mingw build)
# Only what the install() rules name goes in; the tests have none.

set(CPACK_PACKAGE_NAME dorvane)
set(CPACK_PACKAGE_VENDOR "Dorvane")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "compacts and backs up the databases of the Zentro products")
set(CPACK_PACKAGE_DESCRIPTION
    "Dorvane keeps the databases of the Zentro products Alveto, Bresk and Cindral healthy: "
    "it compacts their Access front-ends and back-ends in place with its own Access engine, "
    "keeps a time-stamped compacted backup, or has a SQL Server write a backup through ODBC, "
    "and logs every step. It runs unattended from a scheduler or through a small window.")
string(REPLACE ";" "" CPACK_PACKAGE_DESCRIPTION "${CPACK_PACKAGE_DESCRIPTION}")
set(CPACK_STRIP_FILES ON)

if(WIN32)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_SYSTEM_NAME win64)
else()
  set(CPACK_GENERATOR DEB)
  set(DORVANE_PACKAGE_MAINTAINER "Dorvane maintainers <maintainers@dorvane.invalid>"
      CACHE STRING "Maintainer field of the .deb")
  set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${DORVANE_PACKAGE_MAINTAINER}")
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION utils)
  # The libraries the programs link (Qt, unixODBC, the C++ runtime) come from
  # dpkg-shlibdeps; the rest are only needed for some sites or for the window.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  if(TARGET dorvane_ui_qt)
    set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-qpa-plugins")  # the window's display plug-ins
  endif()
  set(CPACK_DEBIAN_PACKAGE_SUGGESTS "tdsodbc, systemd")
endif()

include(CPack)
