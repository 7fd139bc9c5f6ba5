# Read by CPack for each generator, after the build: the plug-in package's
# dependencies on glibc, libstdc++ and libgcc are derived from the built
# libraries' symbol versions (packaging/shlib-depends.sh), so they follow the
# toolchain that built them. dpkg-shlibdeps cannot serve here: the plug-in
# also needs the host framework's libraries, which no Debian package
# provides, and the cross build's libraries are not of this machine's
# architecture. libcurl's floor is the client's own: its versioned symbols do
# not tell which release brought the options it sets.
if(CPACK_GENERATOR STREQUAL "DEB")
  execute_process(COMMAND ${CPACK_HNAS_SHLIB_DEPENDS} ${CPACK_HNAS_PLUGIN_LIBRARIES}
    OUTPUT_VARIABLE hnas_derived RESULT_VARIABLE hnas_rc ERROR_VARIABLE hnas_error)
  if(NOT hnas_rc EQUAL 0 OR hnas_derived STREQUAL "")
    message(FATAL_ERROR "the plug-in package's dependencies could not be derived: ${hnas_error}")
  endif()
  string(STRIP "${hnas_derived}" hnas_derived)
  string(REPLACE "\n" ";" hnas_depends "${hnas_derived}")
  list(APPEND hnas_depends ${CPACK_HNAS_PLUGIN_FIXED_DEPENDS})
  list(SORT hnas_depends)
  list(JOIN hnas_depends ", " CPACK_DEBIAN_PLUGIN_PACKAGE_DEPENDS)
endif()
