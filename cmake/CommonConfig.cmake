# SPDX-License-Identifier: GPL-3.0-or-later
# Flags shared by every target of the project.
add_library(orvik_common INTERFACE)
target_compile_features(orvik_common INTERFACE cxx_std_17)
target_compile_options(orvik_common INTERFACE -Wall -Wextra)
target_compile_definitions(orvik_common INTERFACE
  QT_NO_CAST_FROM_ASCII QT_NO_CAST_TO_ASCII QT_NO_KEYWORDS
  ORVIK_VERSION="${PROJECT_VERSION}" ORVIK_HOMEPAGE="${ORVIK_HOMEPAGE}")

option(ORVIK_SANITIZE "Build with AddressSanitizer and UBSan" OFF)
if(ORVIK_SANITIZE)
  target_compile_options(orvik_common INTERFACE -fsanitize=address,undefined -fno-omit-frame-pointer)
  target_link_options(orvik_common INTERFACE -fsanitize=address,undefined)
endif()

# Debian's hardening flags (dpkg-buildflags with every hardening feature):
# fortified functions, stack protector, relocations read-only and bound at
# start. The build type keeps choosing optimisation and debug information,
# and source paths stay as they are (tests find their data by them). Left
# out under the sanitizers, which bring their own checks.
option(ORVIK_DEB_HARDENING "Build with Debian's hardening flags (dpkg-buildflags)" ON)
find_program(ORVIK_DPKG_BUILDFLAGS dpkg-buildflags)
if(ORVIK_DEB_HARDENING AND ORVIK_DPKG_BUILDFLAGS AND NOT ORVIK_SANITIZE AND NOT ORVIK_FUZZ
   AND NOT CMAKE_CXX_FLAGS MATCHES "-fsanitize")
  foreach(kind CPPFLAGS CXXFLAGS LDFLAGS)
    execute_process(
      COMMAND ${CMAKE_COMMAND} -E env DEB_BUILD_MAINT_OPTIONS=hardening=+all
              ${ORVIK_DPKG_BUILDFLAGS} --get ${kind}
      OUTPUT_VARIABLE _flags OUTPUT_STRIP_TRAILING_WHITESPACE)
    separate_arguments(_flags UNIX_COMMAND "${_flags}")
    list(FILTER _flags EXCLUDE REGEX "^-(O|g|ffile-prefix-map|fdebug-prefix-map)")
    foreach(flag ${_flags})
      if(kind STREQUAL "LDFLAGS")
        target_link_options(orvik_common INTERFACE ${flag})
      elseif(flag MATCHES "^-D_FORTIFY_SOURCE")
        # It needs an optimised build (glibc warns without one).
        target_compile_options(orvik_common INTERFACE
          $<$<CONFIG:Release,RelWithDebInfo,MinSizeRel>:${flag}>)
      else()
        target_compile_options(orvik_common INTERFACE ${flag})
      endif()
    endforeach()
  endforeach()
endif()

# orvik_add_test(NAME SOURCES... LIBS ...): one QtTest executable, run offscreen.
function(orvik_add_test name)
  cmake_parse_arguments(T "" "TIMEOUT" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE orvik_common Qt6::Test ${T_LIBS})
  # Where the tests find what the build made beside the program (the History
  # window's module).
  target_compile_definitions(${name} PRIVATE ORVIK_BUILD_DIR="${CMAKE_BINARY_DIR}")
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  add_test(NAME ${name} COMMAND ${name})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 120)
  endif()
  # No Orvik_control.ini of the user's or the system's reaches a test, and
  # no test records into the user's history.
  set(_env "QT_QPA_PLATFORM=offscreen;ORVIK_SIM=${CMAKE_BINARY_DIR}/orvik-sim"
      "XDG_CONFIG_HOME=${CMAKE_BINARY_DIR}/tests/no-config"
      "XDG_CONFIG_DIRS=${CMAKE_BINARY_DIR}/tests/no-config"
      "XDG_STATE_HOME=${CMAKE_BINARY_DIR}/tests/state")
  if(ORVIK_FONTCONFIG_FILE)
    # Only the fonts of the install list are visible (cmake/Fonts.cmake).
    list(APPEND _env "FONTCONFIG_FILE=${ORVIK_FONTCONFIG_FILE}")
  endif()
  set_tests_properties(${name} PROPERTIES TIMEOUT ${T_TIMEOUT} ENVIRONMENT "${_env}")
endfunction()
