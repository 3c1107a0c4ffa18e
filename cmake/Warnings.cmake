# Strict warnings for the targets we write; third-party code is left alone.
function(korvanteslin_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wno-sign-conversion)
  # When optimising, GCC 12 reports impossible overlaps and uninitialised
  # members inside std::string (its bugs 105329 and 107138); those warnings
  # say nothing about our code there.
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
    target_compile_options(${target} PRIVATE -Wno-restrict -Wno-maybe-uninitialized)
  endif()
  if(KORVANTESLIN_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()
