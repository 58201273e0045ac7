# The Release build, which `make package` packages, is hardened with the
# flags Debian builds its own packages with: dpkg-buildflags with every
# hardening feature on (fortified functions, stack protector, read-only
# relocations bound at start-up, format-string checks). Its optimisation,
# debug and path options are left out: the build type decides those.
# Sanitizer and fuzzing builds are not hardened; their checks go further.
option(VOCALITH_HARDEN "Harden the Release build as Debian's packages are" ON)
if(NOT VOCALITH_HARDEN OR NOT CMAKE_BUILD_TYPE STREQUAL "Release" OR VOCALITH_SANITIZE
   OR VOCALITH_TSAN OR VOCALITH_FUZZ)
  return()
endif()

find_program(VOCALITH_DPKG_BUILDFLAGS dpkg-buildflags)
if(VOCALITH_DPKG_BUILDFLAGS)
  set(harden_flags)
  foreach(kind CPPFLAGS CXXFLAGS LDFLAGS)
    execute_process(
      COMMAND ${CMAKE_COMMAND} -E env DEB_BUILD_MAINT_OPTIONS=hardening=+all
              ${VOCALITH_DPKG_BUILDFLAGS} --get ${kind}
      OUTPUT_VARIABLE flags OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
    separate_arguments(flags UNIX_COMMAND "${flags}")
    list(FILTER flags EXCLUDE REGEX "^-(g|O|ffile-prefix-map=|fdebug-prefix-map=)")
    set(harden_${kind} ${flags})
  endforeach()
else()
  # What dpkg-buildflags gives on Debian 12 for amd64, for machines without it.
  set(harden_CPPFLAGS -Wdate-time -D_FORTIFY_SOURCE=2)
  set(harden_CXXFLAGS -fstack-protector-strong -Wformat -Werror=format-security)
  set(harden_LDFLAGS -Wl,-z,relro -Wl,-z,now)
endif()
add_compile_options(${harden_CPPFLAGS} ${harden_CXXFLAGS})
add_link_options(${harden_LDFLAGS})
list(JOIN harden_CPPFLAGS " " cpp)
list(JOIN harden_CXXFLAGS " " cxx)
list(JOIN harden_LDFLAGS " " ld)
message(STATUS "Hardened build: ${cpp} ${cxx} ${ld}")
