# Third-party headers and test frameworks, found the same way natively and in
# cross builds.

# Boost: only the header-only string algorithms and tokenizer are used.
if(HNAS_BOOST_INCLUDE_DIR)
  set(HNAS_BOOST_INCLUDE ${HNAS_BOOST_INCLUDE_DIR})
else()
  find_path(HNAS_BOOST_INCLUDE boost/tokenizer.hpp REQUIRED)
endif()
add_library(hnas_boost INTERFACE)
target_include_directories(hnas_boost SYSTEM INTERFACE ${HNAS_BOOST_INCLUDE})

# GoogleTest and GoogleMock.
if(HNAS_GTEST_FROM_SOURCE OR CMAKE_CROSSCOMPILING)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  add_library(hnas_gtest INTERFACE)
  target_link_libraries(hnas_gtest INTERFACE gmock gtest_main)
else()
  find_package(GTest REQUIRED)
  add_library(hnas_gtest INTERFACE)
  target_link_libraries(hnas_gtest INTERFACE GTest::gmock GTest::gtest_main)
endif()
