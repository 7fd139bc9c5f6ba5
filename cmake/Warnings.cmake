# hnas_warnings(<target> [BASIC]): the project's warning set on one target.
#
# The wide set adds shadowing, narrowing conversions, non-virtual destructors
# in classes with virtual functions, and C-style casts. BASIC keeps only the
# basic set (-Wall -Wextra and the format checks).
#
# The targets defined under these folders get the basic set whatever they
# ask for; drop a folder from the list once its code is clean under the wide
# set.
set(HNAS_BASIC_WARNING_DIRS harness tests)

# Sign changes are left out of -Wconversion, as GCC leaves them out in C++;
# clang, which builds the fuzz targets, would put them in. What they find here
# is the byte loop `for (unsigned char c : text)`, written so on purpose for
# the character tests, which a cast would only obscure.
# host/ is never compiled on its own: its headers are checked with the set of
# the code that includes them, and they hold no C-style cast.
set(HNAS_WIDE_WARNINGS -Wshadow -Wconversion -Wno-sign-conversion -Wnon-virtual-dtor
    -Wold-style-cast)

function(hnas_warnings target)
  cmake_parse_arguments(PARSE_ARGV 1 arg "BASIC" "" "")
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wformat -Wformat-security)
  get_target_property(dir ${target} SOURCE_DIR)
  file(RELATIVE_PATH dir ${PROJECT_SOURCE_DIR} ${dir})
  string(REGEX REPLACE "/.*" "" folder "${dir}")
  if(NOT arg_BASIC AND NOT folder IN_LIST HNAS_BASIC_WARNING_DIRS)
    target_compile_options(${target} PRIVATE ${HNAS_WIDE_WARNINGS})
  endif()
  if(HNAS_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()
