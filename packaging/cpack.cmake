# Packages of an installation: `cpack` in the build folder makes
#   Linux:   dorvane_<version>_<arch>.deb, and with the Qt window
#            dorvane-window_<version>_<arch>.deb, from the install components
#            "dorvane" and "window" (any configured prefix: the packages
#            install under /usr)
#   Windows: dorvane-<version>-win64.zip (the mingw build), everything in one
# Only what the install() rules name goes in; the tests have none.

set(CPACK_PACKAGE_NAME dorvane)
set(CPACK_PACKAGE_VENDOR "Dorvane")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_STRIP_FILES ON)

if(WIN32)
  set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "compacts and backs up the databases of the Zentro products")
  set(CPACK_GENERATOR ZIP)
  set(CPACK_SYSTEM_NAME win64)
else()
  set(CPACK_GENERATOR DEB)
  set(CPACK_DEB_COMPONENT_INSTALL ON)
  set(CPACK_COMPONENTS_ALL dorvane)
  set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${DORVANE_PACKAGE_MAINTAINER}")
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION utils)
  # The libraries the programs link (unixODBC and the C++ runtime; Qt for the
  # window) come from dpkg-shlibdeps, per package.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  # First line: the synopsis; Debian wants the rest in lines of at most 80.
  set(CPACK_DEBIAN_DORVANE_PACKAGE_NAME dorvane)
  set(CPACK_DEBIAN_DORVANE_DESCRIPTION [[compacts, repairs and backs up the databases of the Zentro products
Dorvane keeps the databases of the Zentro products Alveto, Bresk and Cindral
healthy: it compacts and repairs their Access front-ends and back-ends in
place with its own Access engine, keeps a time-stamped compacted backup, or
has a SQL Server write a backup through ODBC, and logs every step.
.
This package runs it unattended (dorvane /silent /PRODUCT), from a systemd
user timer or by hand, and holds dorvane-jet and dorvane-settings. The window
is in the package dorvane-window.]])
  set(CPACK_DEBIAN_DORVANE_PACKAGE_SUGGESTS "dorvane-window, tdsodbc, systemd")
  if(TARGET dorvane-window)
    list(APPEND CPACK_COMPONENTS_ALL window)
    set(CPACK_DEBIAN_WINDOW_PACKAGE_NAME dorvane-window)
    set(CPACK_DEBIAN_WINDOW_DESCRIPTION [[window of Dorvane, the Zentro products' database maintenance
The window of Dorvane, drawn with Qt: the product, where its databases, its
backups and its log are, a choice of backup folder and a Run button. The
command dorvane opens it when it is started without /silent.]])
    set(CPACK_DEBIAN_WINDOW_PACKAGE_DEPENDS "dorvane (= ${PROJECT_VERSION})")
    set(CPACK_DEBIAN_WINDOW_PACKAGE_RECOMMENDS "qt6-qpa-plugins")  # the window's display plug-ins
  endif()
endif()

include(CPack)
