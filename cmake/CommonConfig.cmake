# Flags shared by every target of the project.
add_library(orvik_common INTERFACE)
target_compile_features(orvik_common INTERFACE cxx_std_17)
target_compile_options(orvik_common INTERFACE -Wall -Wextra)
target_compile_definitions(orvik_common INTERFACE
  QT_NO_CAST_FROM_ASCII QT_NO_CAST_TO_ASCII QT_NO_KEYWORDS
  ORVIK_VERSION="${PROJECT_VERSION}")

option(ORVIK_SANITIZE "Build with AddressSanitizer and UBSan" OFF)
if(ORVIK_SANITIZE)
  target_compile_options(orvik_common INTERFACE -fsanitize=address,undefined -fno-omit-frame-pointer)
  target_link_options(orvik_common INTERFACE -fsanitize=address,undefined)
endif()

# orvik_add_test(NAME SOURCES... LIBS ...): one QtTest executable, run offscreen.
function(orvik_add_test name)
  cmake_parse_arguments(T "" "TIMEOUT" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE orvik_common Qt6::Test ${T_LIBS})
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  add_test(NAME ${name} COMMAND ${name})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 120)
  endif()
  # No Orvik_control.ini of the user's or the system's reaches a test.
  set(_env "QT_QPA_PLATFORM=offscreen;ORVIK_SIM=${CMAKE_BINARY_DIR}/orvik-sim"
      "XDG_CONFIG_HOME=${CMAKE_BINARY_DIR}/tests/no-config"
      "XDG_CONFIG_DIRS=${CMAKE_BINARY_DIR}/tests/no-config")
  if(ORVIK_FONTCONFIG_FILE)
    # Only the fonts of the install list are visible (cmake/Fonts.cmake).
    list(APPEND _env "FONTCONFIG_FILE=${ORVIK_FONTCONFIG_FILE}")
  endif()
  set_tests_properties(${name} PROPERTIES TIMEOUT ${T_TIMEOUT} ENVIRONMENT "${_env}")
endfunction()
