# Cross builds: the array client's libcurl and nlohmann/json for the target.
# Debian's ppc64 is a ports architecture, outside the package mirror, so
# neither can be installed for it here. The client still cross-builds:
# - nlohmann/json is header-only;
# - libcurl's headers are the same for every architecture (curl/system.h
#   picks its types from the compiler's own macros), and linking needs only
#   libcurl's SONAME and function names: a link stub named libcurl.so.4,
#   built from cmake/curl-link-stub.c. The stub is never installed or run;
#   the client needs the target's libcurl.so.4 at run time, as any program
#   linked against libcurl does. The linker checks (-Wl,--no-undefined) that
#   the stub names every libcurl function the client calls.
# The build machine's headers are reached through links in a directory of
# their own, so that no other host header enters the cross build.
if(NOT CMAKE_CROSSCOMPILING)
  return()
endif()

set(hnas_cross_headers ${CMAKE_BINARY_DIR}/cross-headers)
file(MAKE_DIRECTORY ${hnas_cross_headers})

find_package(nlohmann_json QUIET)
if(NOT nlohmann_json_FOUND)
  if(NOT EXISTS /usr/include/nlohmann/json.hpp)
    message(FATAL_ERROR "nlohmann/json.hpp not found (install nlohmann-json3-dev)")
  endif()
  file(CREATE_LINK /usr/include/nlohmann ${hnas_cross_headers}/nlohmann SYMBOLIC)
  add_library(nlohmann_json::nlohmann_json INTERFACE IMPORTED)
  set_target_properties(nlohmann_json::nlohmann_json PROPERTIES
    INTERFACE_SYSTEM_INCLUDE_DIRECTORIES ${hnas_cross_headers}
    INTERFACE_INCLUDE_DIRECTORIES ${hnas_cross_headers})
endif()

find_package(CURL QUIET)
if(NOT CURL_FOUND)
  file(GLOB hnas_curl_headers /usr/include/*/curl/curl.h /usr/include/curl/curl.h)
  if(NOT hnas_curl_headers)
    message(FATAL_ERROR "curl/curl.h not found (install libcurl4-openssl-dev)")
  endif()
  list(GET hnas_curl_headers 0 hnas_curl_header)
  get_filename_component(hnas_curl_dir ${hnas_curl_header} DIRECTORY)
  file(CREATE_LINK ${hnas_curl_dir} ${hnas_cross_headers}/curl SYMBOLIC)

  set(hnas_curl_stub ${CMAKE_BINARY_DIR}/curl-link-stub/libcurl.so.4)
  file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/curl-link-stub)
  execute_process(
    COMMAND ${CMAKE_C_COMPILER} -shared -fPIC -nostdlib -Wl,-soname,libcurl.so.4
            -o ${hnas_curl_stub} ${CMAKE_CURRENT_LIST_DIR}/curl-link-stub.c
    RESULT_VARIABLE hnas_stub_rc ERROR_VARIABLE hnas_stub_error)
  if(NOT hnas_stub_rc EQUAL 0)
    message(FATAL_ERROR "could not build the libcurl link stub: ${hnas_stub_error}")
  endif()
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
    ${CMAKE_CURRENT_LIST_DIR}/curl-link-stub.c)
  add_library(CURL::libcurl SHARED IMPORTED)
  set_target_properties(CURL::libcurl PROPERTIES
    IMPORTED_LOCATION ${hnas_curl_stub}
    IMPORTED_SONAME libcurl.so.4
    INTERFACE_SYSTEM_INCLUDE_DIRECTORIES ${hnas_cross_headers}
    INTERFACE_INCLUDE_DIRECTORIES ${hnas_cross_headers})
endif()
