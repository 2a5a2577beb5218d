# Qt Widgets (and the modules built on it) belong to the operator's window alone: the libraries
# under src/ui, the program and the test programs may link them; every other library must
# stay usable without a display. Configuration fails naming the library and the path through
# which it reaches Widgets, whether it links it directly or through the link interface of
# another library.

set(_tarvo_widget_modules Widgets Charts OpenGLWidgets PrintSupport SvgWidgets QuickWidgets
  ChartsQml)
list(JOIN _tarvo_widget_modules "|" _tarvo_widget_alternatives)
set(_tarvo_widget_pattern
  "^Qt6?::(${_tarvo_widget_alternatives})$|(^|/|-l)(lib)?Qt6(${_tarvo_widget_alternatives})([.]|$)")

function(_tarvo_collect_targets directory out)
  get_property(targets DIRECTORY ${directory} PROPERTY BUILDSYSTEM_TARGETS)
  get_property(children DIRECTORY ${directory} PROPERTY SUBDIRECTORIES)
  foreach(child ${children})
    _tarvo_collect_targets(${child} child_targets)
    list(APPEND targets ${child_targets})
  endforeach()
  set(${out} ${targets} PARENT_SCOPE)
endfunction()

# The link items of a target that reach its users or its own link line.
function(_tarvo_link_items target out)
  get_target_property(type ${target} TYPE)
  set(items)
  if(NOT type STREQUAL "INTERFACE_LIBRARY")
    get_target_property(own ${target} LINK_LIBRARIES)
    if(own)
      list(APPEND items ${own})
    endif()
  endif()
  get_target_property(interface ${target} INTERFACE_LINK_LIBRARIES)
  if(interface)
    list(APPEND items ${interface})
  endif()
  set(cleaned)
  foreach(item ${items})
    # $<LINK_ONLY:x> and similar wrappers still link x.
    string(REGEX REPLACE "^\\$<LINK_ONLY:(.*)>$" "\\1" item "${item}")
    string(REGEX REPLACE "^\\$<[A-Z_]+:(.*)>$" "\\1" item "${item}")
    if(NOT item STREQUAL "")
      list(APPEND cleaned "${item}")
    endif()
  endforeach()
  set(${out} ${cleaned} PARENT_SCOPE)
endfunction()

# Sets out to the chain "a -> b -> Qt6::Widgets" when target reaches a module matching
# _tarvo_widget_pattern (or the pattern the caller set), else empty.
function(_tarvo_widget_path target visited out)
  set(${out} "" PARENT_SCOPE)
  _tarvo_link_items(${target} items)
  foreach(item ${items})
    if(item MATCHES "${_tarvo_widget_pattern}")
      set(${out} "${target} -> ${item}" PARENT_SCOPE)
      return()
    endif()
  endforeach()
  foreach(item ${items})
    if(NOT TARGET ${item})
      continue()
    endif()
    get_target_property(aliased ${item} ALIASED_TARGET)
    if(aliased)
      set(item ${aliased})
    endif()
    if(item IN_LIST visited)
      continue()
    endif()
    list(APPEND visited ${item})
    _tarvo_widget_path(${item} "${visited}" path)
    if(path)
      set(${out} "${target} -> ${path}" PARENT_SCOPE)
      return()
    endif()
  endforeach()
endfunction()

# Sets out to the widget paths ("  a -> b -> Qt6::Widgets" lines) of the targets given.
function(_tarvo_offending_paths out)
  set(offenders)
  foreach(target ${ARGN})
    _tarvo_widget_path(${target} "${target}" path)
    if(path)
      list(APPEND offenders "  ${path}")
    endif()
  endforeach()
  list(JOIN offenders "\n" listing)
  set(${out} "${listing}" PARENT_SCOPE)
endfunction()

function(tarvo_check_widgets_only_in_ui)
  _tarvo_collect_targets(${PROJECT_SOURCE_DIR} targets)
  set(ui_dir "${PROJECT_SOURCE_DIR}/src/ui")
  set(tests_dir "${PROJECT_SOURCE_DIR}/tests")
  set(checked)
  foreach(target ${targets})
    get_target_property(type ${target} TYPE)
    if(NOT type MATCHES "_LIBRARY$")
      continue()
    endif()
    get_target_property(source_dir ${target} SOURCE_DIR)
    cmake_path(IS_PREFIX ui_dir "${source_dir}" NORMALIZE in_ui)
    cmake_path(IS_PREFIX tests_dir "${source_dir}" NORMALIZE in_tests)
    if(NOT in_ui AND NOT in_tests)
      list(APPEND checked ${target})
    endif()
  endforeach()
  _tarvo_offending_paths(listing ${checked})
  if(listing)
    message(FATAL_ERROR
      "Only the libraries under src/ui, the program and the tests may link Qt Widgets "
      "(or a module built on it, such as Qt Charts); "
      "these libraries link it (directly or through their link interface):\n${listing}\n"
      "Move the widget code into src/ui or drop the link.")
  endif()
endfunction()

# The programs that run without a display (the service's tarvo-collectd) link no GUI library at
# all: not Qt Gui either, so that a server needs none of the desktop's libraries.
function(tarvo_check_headless_programs)
  set(gui_modules Gui ${_tarvo_widget_modules} OpenGL Svg Quick Qml)
  list(JOIN gui_modules "|" gui_alternatives)
  set(_tarvo_widget_pattern
    "^Qt6?::(${gui_alternatives})$|(^|/|-l)(lib)?Qt6(${gui_alternatives})([.]|$)")
  _tarvo_offending_paths(listing tarvo-collectd)
  if(listing)
    message(FATAL_ERROR
      "The headless programs must link no GUI library; these reach one:\n${listing}")
  endif()
endfunction()

tarvo_check_widgets_only_in_ui()
tarvo_check_headless_programs()
