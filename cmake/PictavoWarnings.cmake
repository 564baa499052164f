# SPDX-License-Identifier: GPL-3.0-or-later
# Every target of the project builds without warnings; third-party headers come
# in as SYSTEM includes through their imported targets.
# With PICTAVO_WERROR (make test) a warning fails the build.
function(pictavo_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow
                         -Wnon-virtual-dtor -Wcast-align -Woverloaded-virtual
                         -Wnull-dereference -Wformat=2 -Werror=return-type
                         $<$<BOOL:${PICTAVO_WERROR}>:-Werror>)
  target_compile_definitions(${target} PRIVATE QT_NO_URL_CAST_FROM_STRING QT_NO_FOREACH)
endfunction()

# pictavo_library(folder SOURCES...): the static library pictavo_<folder> of
# the current source folder. Its headers are reached as "<folder>/Name.h"
# through <build>/include/<folder>, which holds nothing but a link to this
# folder, so that a library sees its own headers and those of the libraries
# it links, and a wrong-way include fails to compile.
function(pictavo_library folder)
  set(target pictavo_${folder})
  add_library(${target} STATIC ${ARGN})
  pictavo_include_root(${target} ${folder})
  pictavo_warnings(${target})
endfunction()

# pictavo_include_root(target folder): makes the current source folder
# reachable as "<folder>/..." for target and whatever links it.
function(pictavo_include_root target folder)
  set(root ${CMAKE_BINARY_DIR}/include/${folder})
  file(MAKE_DIRECTORY ${root})
  file(CREATE_LINK ${CMAKE_CURRENT_SOURCE_DIR} ${root}/${folder} SYMBOLIC)
  target_include_directories(${target} PUBLIC $<BUILD_INTERFACE:${root}>)
endfunction()

# pictavo_button_icons(target prefix tool key...): the normal and hover
# pictures icons/<key>[_hover][@2x].png as resources under /<prefix>, and the
# program that redraws them from icons/make_icons.cpp:
#   ninja <prefix>_icons && bin/<tool> <folder>/icons
function(pictavo_button_icons target prefix tool)
  set(files)
  foreach(key IN LISTS ARGN)
    foreach(variant "" "_hover")
      list(APPEND files icons/${key}${variant}.png icons/${key}${variant}@2x.png)
    endforeach()
  endforeach()
  qt_add_resources(${target} ${prefix}_icons PREFIX /${prefix} FILES ${files})
  qt_add_executable(${tool} EXCLUDE_FROM_ALL icons/make_icons.cpp)
  pictavo_warnings(${tool})
  target_include_directories(${tool} PRIVATE ${CMAKE_SOURCE_DIR}/resources)
  target_link_libraries(${tool} PRIVATE Qt6::Gui)
  add_custom_target(${prefix}_icons DEPENDS ${tool})
endfunction()
