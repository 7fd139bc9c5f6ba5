# hnas_warnings(<target>): the project's warning set on one target.
function(hnas_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wformat -Wformat-security)
  if(HNAS_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()
