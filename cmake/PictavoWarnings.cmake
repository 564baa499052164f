# SPDX-License-Identifier: GPL-3.0-or-later
# Every target of the project builds without warnings; third-party headers come
# in as SYSTEM includes through their imported targets.
function(pictavo_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow
                         -Wnon-virtual-dtor -Wcast-align -Woverloaded-virtual
                         -Wnull-dereference -Wformat=2 -Werror=return-type)
  target_compile_definitions(${target} PRIVATE QT_NO_URL_CAST_FROM_STRING QT_NO_FOREACH)
endfunction()

# pictavo_library(name SOURCES...): one static library per folder.
function(pictavo_library name)
  add_library(${name} STATIC ${ARGN})
  target_include_directories(${name} PUBLIC ${CMAKE_CURRENT_SOURCE_DIR}/..)
  pictavo_warnings(${name})
endfunction()
