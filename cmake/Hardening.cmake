# The hardening Debian's dpkg-buildflags gives its packages (hardening=+all):
# fortified libc calls, stack protector, read-only relocations bound at start
# and a position-independent executable. The sanitizer build leaves it off:
# glibc fortifies nothing without optimisation, and the sanitizers check the
# same faults more closely.
option(KORVANTESLIN_HARDEN "Build with the hardening flags of a Debian package" OFF)

if(KORVANTESLIN_HARDEN)
  include(CheckPIESupported)
  check_pie_supported(LANGUAGES CXX)
  set(CMAKE_POSITION_INDEPENDENT_CODE ON)
  add_compile_options(-U_FORTIFY_SOURCE -D_FORTIFY_SOURCE=2 -fstack-protector-strong
    -Wformat -Werror=format-security)
  add_link_options(LINKER:-z,relro LINKER:-z,now)
endif()
