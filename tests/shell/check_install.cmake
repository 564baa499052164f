# SPDX-License-Identifier: GPL-3.0-or-later
# Installs the build into a fresh prefix and checks that the program, its data
# folder, its helper, the desktop entry and the theme icons land where the
# desktop and the program itself look for them, and that the installed
# program finds its helper off the PATH.
set(prefix "${BINARY_DIR}/install-check")
file(REMOVE_RECURSE "${prefix}")
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BINARY_DIR}" --prefix "${prefix}"
                RESULT_VARIABLE result OUTPUT_QUIET)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "cmake --install failed: ${result}")
endif()
set(expected
  ${BINDIR}/pictavo
  ${BINDIR}/pictavo-convert
  ${LIBEXECDIR}/pictavo/pictavo-magick
  ${DATADIR}/applications/pictavo.desktop
  ${DATADIR}/pictavo/icons/pictavo.png
  ${DATADIR}/icons/hicolor/16x16/apps/pictavo.png
  ${DATADIR}/icons/hicolor/48x48/apps/pictavo.png
  ${DATADIR}/icons/hicolor/256x256/apps/pictavo.png
  ${DATADIR}/icons/hicolor/48x48/mimetypes/image-png.png
  ${DATADIR}/icons/hicolor/256x256/mimetypes/image-vnd.microsoft.icon.png)
foreach(icon jpg gif bmp dib png psd tif pcx tga wbmb wmf ico emf icon)
  list(APPEND expected ${DATADIR}/pictavo/icons/${icon}.ico)
endforeach()
# Files beside the program that other parts ship, once they are in the tree.
foreach(data PVXMain.skn viewer.spl help/index.html)
  if(EXISTS "${SOURCE_DIR}/resources/data/${data}")
    list(APPEND expected ${DATADIR}/pictavo/${data})
  endif()
endforeach()
foreach(f IN LISTS expected)
  if(NOT EXISTS "${prefix}/${f}")
    message(FATAL_ERROR "not installed: ${f}")
  endif()
endforeach()
if(EXISTS "${prefix}/${DATADIR}/pictavo/.keep")
  message(FATAL_ERROR "a placeholder file was installed")
endif()
if(EXISTS "${prefix}/${BINDIR}/pictavo-magick")
  message(FATAL_ERROR "the helper was installed on the PATH")
endif()

# Writing a PSD takes the helper: the installed program must find it.
set(psd "${prefix}/check.psd")
execute_process(COMMAND "${prefix}/${BINDIR}/pictavo-convert" convert
                        "${prefix}/${DATADIR}/pictavo/icons/pictavo.png" "${psd}" 9
                RESULT_VARIABLE result ERROR_VARIABLE error)
if(NOT result EQUAL 0 OR NOT EXISTS "${psd}")
  message(FATAL_ERROR "the installed program did not find its helper: ${error}")
endif()
execute_process(COMMAND "${prefix}/${BINDIR}/pictavo-convert" info "${psd}"
                RESULT_VARIABLE result OUTPUT_VARIABLE info ERROR_VARIABLE error)
if(NOT result EQUAL 0 OR NOT info MATCHES "^[0-9]+ [0-9]+ [0-9]+ 9 ")
  message(FATAL_ERROR "the installed program cannot read the PSD it wrote: ${info}${error}")
endif()
file(REMOVE_RECURSE "${prefix}")
message(STATUS "installed layout complete (${prefix})")
