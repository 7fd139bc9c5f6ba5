# Run by CPack after it has installed into its staging directory. An archive
# (for a host that is not managed by dpkg) gets the host README at its top,
# where an integrator looks first, and leaves out what only dpkg reads.
if(CPACK_GENERATOR STREQUAL "TGZ")
  file(COPY_FILE ${CPACK_HNAS_HOST_README} ${CPACK_TEMPORARY_INSTALL_DIRECTORY}/README)
  file(GLOB_RECURSE hnas_lintian_dirs LIST_DIRECTORIES true
    ${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*/lintian)
  foreach(dir ${hnas_lintian_dirs})
    if(IS_DIRECTORY ${dir})
      file(REMOVE_RECURSE ${dir})
    endif()
  endforeach()
endif()
