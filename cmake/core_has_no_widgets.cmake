# Fails the build when a core source includes a Qt Widgets header.
#
# The core library (every room but the widgets/ folders) is built on QtCore and
# QtGui only, so that its tests need no display and the commands stay testable
# through the screen port. Run as a script before the core is compiled:
#   cmake -DSOURCE_DIR=... -DWIDGETS_HEADERS=<QtWidgets include folder> -P core_has_no_widgets.cmake
file(GLOB_RECURSE sources RELATIVE "${SOURCE_DIR}"
     "${SOURCE_DIR}/*.h" "${SOURCE_DIR}/*.cpp")
set(offences "")
foreach(source IN LISTS sources)
  if(source MATCHES "(^|/)widgets/" OR source MATCHES "^(tests|bench|build[^/]*|cmake)/")
    continue()
  endif()
  file(STRINGS "${SOURCE_DIR}/${source}" includes REGEX "^[ \t]*#[ \t]*include[ \t]*<")
  foreach(line IN LISTS includes)
    string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*<([^>]+)>.*" "\\1" header "${line}")
    if(header MATCHES "^QtWidgets(/|$)" OR EXISTS "${WIDGETS_HEADERS}/${header}")
      string(APPEND offences "  ${source}: <${header}>\n")
    endif()
  endforeach()
endforeach()
if(offences)
  message(FATAL_ERROR "A core source includes Qt Widgets; widget code belongs in a widgets/ folder:\n${offences}")
endif()
