# Strict warnings for the targets we write; third-party code is left alone.
function(korvanteslin_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wno-sign-conversion)
  # GCC 12 reports impossible overlaps inside std::string when optimising
  # (its bug 105329); the warning says nothing about our code there.
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
    target_compile_options(${target} PRIVATE -Wno-restrict)
  endif()
  if(KORVANTESLIN_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()
