# Packages (CPack), split by where they go:
#   qzsnapenginehnas          the plug-in and the array client: what a
#                             production host receives
#   qzsnapenginehnas-harness  hnas-host, hnas-arraysim and the stand-in
#                             libraries the harness runs the plug-in on;
#                             depends on the first
# Native builds make both .debs; the cross build (HNAS_PLUGIN_ONLY) makes the
# first as a .tar.gz and a .deb for its architecture. scripts/build-packages.sh
# builds both targets' packages.
set(hnas_packaging ${PROJECT_SOURCE_DIR}/packaging)
set(hnas_generated ${CMAKE_BINARY_DIR}/packaging)
file(MAKE_DIRECTORY ${hnas_generated})

# The architecture the binaries are for, in Debian's words.
if(CMAKE_CROSSCOMPILING)
  if(CMAKE_SYSTEM_PROCESSOR STREQUAL "ppc64")
    set(HNAS_PACKAGE_ARCH ppc64)
  else()
    set(HNAS_PACKAGE_ARCH ${CMAKE_SYSTEM_PROCESSOR})
  endif()
else()
  execute_process(COMMAND dpkg --print-architecture OUTPUT_VARIABLE HNAS_PACKAGE_ARCH
    OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  if(NOT HNAS_PACKAGE_ARCH)
    set(HNAS_PACKAGE_ARCH ${CMAKE_SYSTEM_PROCESSOR})
  endif()
endif()

# The dynamic loader a library may name among its needs.
if(HNAS_PACKAGE_ARCH STREQUAL "ppc64")
  set(HNAS_LOADER_NEEDED "ld64.so.1 => glibc's dynamic loader")
elseif(HNAS_PACKAGE_ARCH STREQUAL "amd64")
  set(HNAS_LOADER_NEEDED "ld-linux-x86-64.so.2 => glibc's dynamic loader")
endif()
# Where the libraries are in the archive or package, e.g. "usr/lib".
string(REGEX REPLACE "^/" "" HNAS_PACKAGE_LIBDIR "${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_LIBDIR}")

# The host README (where the files go, what they link against), the
# changelog compressed as Debian keeps it (no name, no time stamp), and the
# copyright file, in each package's doc directory.
configure_file(${hnas_packaging}/README.host.in ${hnas_generated}/README.host @ONLY)
set(hnas_changelog ${hnas_generated}/changelog.gz)
execute_process(COMMAND gzip -9nc ${hnas_packaging}/changelog
  OUTPUT_FILE ${hnas_changelog} RESULT_VARIABLE hnas_gzip_rc)
if(NOT hnas_gzip_rc EQUAL 0)
  message(FATAL_ERROR "gzip of packaging/changelog failed")
endif()
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${hnas_packaging}/changelog)
install(FILES ${hnas_changelog} ${hnas_packaging}/copyright
  DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT ${HNAS_COMPONENT_PLUGIN})
# The lintian tags the plug-in package overrides, each with its reason.
install(FILES ${hnas_packaging}/lintian-overrides RENAME qzsnapenginehnas
  DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/lintian/overrides COMPONENT ${HNAS_COMPONENT_PLUGIN})
set(hnas_components ${HNAS_COMPONENT_PLUGIN})
if(TARGET hnas-host)
  install(FILES ${hnas_changelog} ${hnas_packaging}/copyright
    DESTINATION ${HNAS_HARNESS_DOCDIR} COMPONENT ${HNAS_COMPONENT_HARNESS})
  list(APPEND hnas_components ${HNAS_COMPONENT_HARNESS})
  # The shape of hnas-host's --json output, for the scripts that read it.
  install(FILES ${PROJECT_SOURCE_DIR}/docs/json-output.md
    DESTINATION ${HNAS_HARNESS_DOCDIR} COMPONENT ${HNAS_COMPONENT_HARNESS})
  foreach(page hnas-host.1 hnas-arraysim.1)
    execute_process(COMMAND gzip -9nc ${hnas_packaging}/man/${page}
      OUTPUT_FILE ${hnas_generated}/${page}.gz)
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${hnas_packaging}/man/${page})
    install(FILES ${hnas_generated}/${page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1
      COMPONENT ${HNAS_COMPONENT_HARNESS})
  endforeach()
endif()

set(CPACK_PACKAGE_NAME qzsnapenginehnas)
set(CPACK_PACKAGE_VENDOR "QzSnapEngineHNAS developers")
set(CPACK_PACKAGE_CONTACT "QzSnapEngineHNAS developers <qzsnapenginehnas@example.org>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/packages)
set(CPACK_STRIP_FILES ON)
set(CPACK_COMPONENTS_ALL ${hnas_components})
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})

# Debian packages, one per component.
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE ${HNAS_PACKAGE_ARCH})
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SOURCE qzsnapenginehnas)
set(CPACK_DEBIAN_PLUGIN_PACKAGE_NAME qzsnapenginehnas)
set(CPACK_DEBIAN_PLUGIN_PACKAGE_SECTION libs)
# Derived from the built libraries when CPack runs (PackageDepends.cmake);
# the host README names the same versions (scripts/check-packages.sh holds
# them together).
set(CPACK_HNAS_SHLIB_DEPENDS ${hnas_packaging}/shlib-depends.sh)
set(CPACK_HNAS_PLUGIN_LIBRARIES
  ${CMAKE_LIBRARY_OUTPUT_DIRECTORY}/libQzSnapEngineHNAS.so ${CMAKE_LIBRARY_OUTPUT_DIRECTORY}/libQzManageHNAS.so)
set(CPACK_HNAS_PLUGIN_FIXED_DEPENDS "libcurl4 (>= 7.85)")
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_CURRENT_LIST_DIR}/PackageDepends.cmake)
# Public shared libraries: ldconfig runs after installation and removal.
set(CPACK_DEBIAN_PLUGIN_PACKAGE_CONTROL_EXTRA ${hnas_packaging}/triggers)
set(CPACK_DEBIAN_PLUGIN_DESCRIPTION
"Hitachi NAS snapshot-engine plug-in and its array client
libQzSnapEngineHNAS.so is the snapshot-engine plug-in a backup framework
loads with dlopen to snapshot, map, revert and delete file-system snapshots
on Hitachi NAS (HNAS) file servers. libQzManageHNAS.so is the array client
it calls: JSON over HTTPS to the array's management API.

Both run inside the host framework's process and need its libQzLib,
libWbNetwork and libWbUtils on the library path.")
set(CPACK_DEBIAN_HARNESS_PACKAGE_NAME qzsnapenginehnas-harness)
set(CPACK_DEBIAN_HARNESS_PACKAGE_SECTION devel)
set(CPACK_DEBIAN_HARNESS_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_HARNESS_PACKAGE_DEPENDS "qzsnapenginehnas (= ${PROJECT_VERSION}), openssl")
set(CPACK_DEBIAN_HARNESS_DESCRIPTION
"Host harness and array simulator for the Hitachi NAS snapshot plug-in
hnas-host plays the backup framework: it loads libQzSnapEngineHNAS.so, keeps
descriptors, arrays and settings in a store and runs one plug-in operation
per process. hnas-arraysim serves simulated HNAS arrays over HTTPS.
'hnas-host demo' runs the plug-in's whole lifecycle against the simulator.

The stand-in libraries the harness runs the plug-in on (libQzLib,
libWbNetwork, libWbUtils) are kept in a private directory that only
hnas-host's own library search path names.")

# The archive for a production host of another architecture: the plug-in
# component alone, with the host README at its top.
set(CPACK_ARCHIVE_COMPONENT_INSTALL OFF)
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/PackageArchiveStaging.cmake)


if(CMAKE_CROSSCOMPILING)
  set(CPACK_GENERATOR TGZ DEB)
  set(CPACK_PACKAGE_FILE_NAME qzsnapenginehnas-${PROJECT_VERSION}-linux-${HNAS_PACKAGE_ARCH})
else()
  set(CPACK_GENERATOR DEB)
endif()
# Read by PackageArchiveStaging.cmake when CPack runs.
set(CPACK_HNAS_HOST_README ${hnas_generated}/README.host)
include(CPack)
