# The build's version: the project version from project() and the git
# revision the tree was configured from ("unknown" outside a git checkout,
# or HNAS_SOURCE_REVISION when a source archive states its own). Every
# program and the client report both through one generated header.
set(HNAS_SOURCE_REVISION "" CACHE STRING "Revision to report when the source is not a git checkout")
set(HNAS_GIT_REVISION "unknown")
if(HNAS_SOURCE_REVISION)
  set(HNAS_GIT_REVISION ${HNAS_SOURCE_REVISION})
endif()
find_package(Git QUIET)
if(GIT_FOUND)
  execute_process(COMMAND ${GIT_EXECUTABLE} rev-parse --short=12 HEAD
    WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
    RESULT_VARIABLE hnas_git_rc OUTPUT_VARIABLE hnas_git_rev
    OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  if(hnas_git_rc EQUAL 0 AND hnas_git_rev)
    set(HNAS_GIT_REVISION ${hnas_git_rev})
    # Configure again when HEAD moves (a commit, a checkout), so that the
    # revision the programs report stays the one they were built from.
    execute_process(COMMAND ${GIT_EXECUTABLE} rev-parse --path-format=absolute
        --git-path HEAD --git-path logs/HEAD
      WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
      OUTPUT_VARIABLE hnas_git_paths OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
    string(REPLACE "\n" ";" hnas_git_paths "${hnas_git_paths}")
    foreach(path ${hnas_git_paths})
      if(EXISTS ${path})
        set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${path})
      endif()
    endforeach()
  endif()
endif()

configure_file(${CMAKE_CURRENT_LIST_DIR}/BuildVersion.h.in
  ${CMAKE_BINARY_DIR}/generated/hnas/BuildVersion.h @ONLY)
add_library(hnas_build_version INTERFACE)
target_include_directories(hnas_build_version INTERFACE ${CMAKE_BINARY_DIR}/generated)
