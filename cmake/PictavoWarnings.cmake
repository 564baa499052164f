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
