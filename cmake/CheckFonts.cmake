# SPDX-License-Identifier: GPL-3.0-or-later
# ctest script: fontconfig, set up by cmake/Fonts.cmake, sees fonts and only
# the files linked under ROOT (those of the declared font packages).
#   cmake -DFC_LIST=fc-list -DCONF=build/fonts/fonts.conf -DROOT=build/fonts/files -P CheckFonts.cmake
set(ENV{FONTCONFIG_FILE} ${CONF})
execute_process(COMMAND ${FC_LIST} --format "%{file}\\n" OUTPUT_VARIABLE _out RESULT_VARIABLE _rc)
if(NOT _rc EQUAL 0)
  message(FATAL_ERROR "fc-list failed (${_rc})")
endif()
string(STRIP "${_out}" _out)
if(_out STREQUAL "")
  message(FATAL_ERROR "fontconfig sees no font at all under ${CONF}")
endif()
string(REPLACE "\n" ";" _files "${_out}")
list(LENGTH _files _n)
foreach(f ${_files})
  string(FIND "${f}" "${ROOT}/" _at)
  if(NOT _at EQUAL 0)
    message(FATAL_ERROR "a font outside the declared packages is visible: ${f}")
  endif()
endforeach()
message(STATUS "${_n} font files, all from the declared packages")
