# hnas_warnings(<target>): the project's warning set on one target: -Wall
# -Wextra and the format checks, then shadowing, narrowing conversions,
# non-virtual destructors in classes with virtual functions, and C-style casts.

# Sign changes are left out of -Wconversion, as GCC leaves them out in C++;
# clang, which builds the fuzz targets, would put them in. What they find here
# is the byte loop `for (unsigned char c : text)`, written so on purpose for
# the character tests, which a cast would only obscure.
# host/ is never compiled on its own: its headers are checked with the set of
# the code that includes them, and they hold no C-style cast.
set(HNAS_WIDE_WARNINGS -Wshadow -Wconversion -Wno-sign-conversion -Wnon-virtual-dtor
    -Wold-style-cast)

function(hnas_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wformat -Wformat-security
                         ${HNAS_WIDE_WARNINGS})
  if(HNAS_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()
