# Where `cmake --install` puts things (GNUInstallDirs):
#   plug-in and client        <libdir>                    what a production host receives
#   hnas-host, hnas-arraysim  <bindir>
#   stand-in libraries        <libdir>/qzsnapenginehnas/standins   the harness's alone
#   certificate script        <libexecdir>/qzsnapenginehnas        the demo's helper
#   docs, sample settings     <docdir> (one per package)
# The harness finds the plug-in and its helper relative to its own binary, so
# the same paths relative to <bindir> are handed to it at compile time.
set(CMAKE_INSTALL_DOCDIR share/doc/qzsnapenginehnas CACHE PATH "Documentation of the plug-in package")
include(GNUInstallDirs)

set(HNAS_STANDIN_INSTALL_DIR ${CMAKE_INSTALL_LIBDIR}/qzsnapenginehnas/standins)
set(HNAS_HELPER_INSTALL_DIR ${CMAKE_INSTALL_LIBEXECDIR}/qzsnapenginehnas)
set(HNAS_HARNESS_DOCDIR ${CMAKE_INSTALL_DATAROOTDIR}/doc/qzsnapenginehnas-harness)

# Components, one per package: what a production host receives, and the
# harness with its simulator.
set(HNAS_COMPONENT_PLUGIN plugin)
set(HNAS_COMPONENT_HARNESS harness)

file(RELATIVE_PATH HNAS_LIBDIR_FROM_BINDIR
  ${CMAKE_INSTALL_FULL_BINDIR} ${CMAKE_INSTALL_FULL_LIBDIR})
file(RELATIVE_PATH HNAS_STANDINDIR_FROM_BINDIR
  ${CMAKE_INSTALL_FULL_BINDIR} ${CMAKE_INSTALL_PREFIX}/${HNAS_STANDIN_INSTALL_DIR})
file(RELATIVE_PATH HNAS_HELPERDIR_FROM_BINDIR
  ${CMAKE_INSTALL_FULL_BINDIR} ${CMAKE_INSTALL_PREFIX}/${HNAS_HELPER_INSTALL_DIR})
