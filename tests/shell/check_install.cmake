# SPDX-License-Identifier: GPL-3.0-or-later
# Installs the build into a fresh prefix and checks that the program, its data
# folder, the desktop entry and the theme icons land where the desktop and
# the program itself look for them.
set(prefix "${BINARY_DIR}/install-check")
file(REMOVE_RECURSE "${prefix}")
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BINARY_DIR}" --prefix "${prefix}"
                RESULT_VARIABLE result OUTPUT_QUIET)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "cmake --install failed: ${result}")
endif()
set(expected
  bin/pictavo
  share/applications/pictavo.desktop
  share/pictavo/icons/pictavo.png
  share/icons/hicolor/16x16/apps/pictavo.png
  share/icons/hicolor/48x48/apps/pictavo.png
  share/icons/hicolor/256x256/apps/pictavo.png
  share/icons/hicolor/48x48/mimetypes/image-png.png
  share/icons/hicolor/256x256/mimetypes/image-vnd.microsoft.icon.png)
foreach(icon jpg gif bmp dib png psd tif pcx tga wbmb wmf ico emf icon)
  list(APPEND expected share/pictavo/icons/${icon}.ico)
endforeach()
# Files beside the program that other parts ship, once they are in the tree.
foreach(data PVXMain.skn viewer.spl)
  if(EXISTS "${SOURCE_DIR}/resources/data/${data}")
    list(APPEND expected share/pictavo/${data})
  endif()
endforeach()
foreach(f IN LISTS expected)
  if(NOT EXISTS "${prefix}/${f}")
    message(FATAL_ERROR "not installed: ${f}")
  endif()
endforeach()
if(EXISTS "${prefix}/share/pictavo/.keep")
  message(FATAL_ERROR "a placeholder file was installed")
endif()
file(REMOVE_RECURSE "${prefix}")
message(STATUS "installed layout complete (${prefix})")
