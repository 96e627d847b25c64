# ZUV_HARDEN: the Linux release build is hardened as Debian builds its
# packages. The flags come from dpkg-buildflags with every hardening feature
# on (fortified functions, strong stack protector, read-only relocations bound
# at start, PIE); without dpkg-buildflags the same flags are given by hand.
# dpkg-buildflags runs in the source folder, so the path map it adds is the
# one the reproducible build already uses and two builds stay byte for byte
# the same.
option(ZUV_HARDEN "Harden the programs as Debian's packages are (release builds)" OFF)
if(NOT ZUV_HARDEN OR WIN32)
  return()
endif()

find_program(ZUV_DPKG_BUILDFLAGS dpkg-buildflags)
if(ZUV_DPKG_BUILDFLAGS)
  foreach(kind CPPFLAGS CFLAGS CXXFLAGS LDFLAGS)
    execute_process(
      COMMAND "${CMAKE_COMMAND}" -E env DEB_BUILD_MAINT_OPTIONS=hardening=+all
              "${ZUV_DPKG_BUILDFLAGS}" --get ${kind}
      WORKING_DIRECTORY "${PROJECT_SOURCE_DIR}"
      OUTPUT_VARIABLE flags OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
    separate_arguments(ZUV_HARDEN_${kind} UNIX_COMMAND "${flags}")
  endforeach()
else()
  set(ZUV_HARDEN_CPPFLAGS -D_FORTIFY_SOURCE=2)
  set(ZUV_HARDEN_CFLAGS -O2 -fstack-protector-strong -Wformat -Werror=format-security -fPIE)
  set(ZUV_HARDEN_CXXFLAGS ${ZUV_HARDEN_CFLAGS})
  set(ZUV_HARDEN_LDFLAGS -Wl,-z,relro -Wl,-z,now -pie)
endif()
message(STATUS "Hardened build: ${ZUV_HARDEN_CPPFLAGS} ${ZUV_HARDEN_CXXFLAGS} ${ZUV_HARDEN_LDFLAGS}")

set(CMAKE_POSITION_INDEPENDENT_CODE ON)
include(CheckPIESupported)
check_pie_supported()
add_compile_options("$<$<COMPILE_LANGUAGE:C,CXX>:${ZUV_HARDEN_CPPFLAGS}>"
                    "$<$<COMPILE_LANGUAGE:C>:${ZUV_HARDEN_CFLAGS}>"
                    "$<$<COMPILE_LANGUAGE:CXX>:${ZUV_HARDEN_CXXFLAGS}>")
add_link_options(${ZUV_HARDEN_LDFLAGS})
