# Run by CPack after it has installed into its staging directory. An archive
# (for a host that is not managed by dpkg) gets the host README at its top,
# where an integrator looks first, and leaves out what only dpkg reads.
if(CPACK_GENERATOR STREQUAL "TGZ")
  file(COPY_FILE ${CPACK_HNAS_HOST_README} ${CPACK_TEMPORARY_INSTALL_DIRECTORY}/README)
  file(REMOVE_RECURSE
    ${CPACK_TEMPORARY_INSTALL_DIRECTORY}${CPACK_PACKAGING_INSTALL_PREFIX}/share/lintian)
endif()
