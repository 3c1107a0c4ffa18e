# Strict warnings for the targets we write; third-party code is left alone.
function(korvanteslin_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wno-sign-conversion)
  if(KORVANTESLIN_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()
