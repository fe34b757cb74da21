# Checks the include graph between the top-level folders against the layering below: every
# #include "folder/..." in the tracked sources must be an allowed edge. Run by CTest:
#   cmake -DSOURCE_DIR=<repository> -P check_layers.cmake            the tree
#   cmake -P check_layers.cmake -DSELF_TEST=ON ...                    the rule on fixed cases
# Needs nothing but CMake (and git to list the tracked files, when there is a checkout).
cmake_minimum_required(VERSION 3.25)

# Folder: what it may include besides itself. A folder name allows all of it, a path one header.
# render/ is the engine and depends on nothing; host/ is declarations only; libzavol/ (the C
# interface) sits on render/ alone; python/ (the Python module) on libzavol/, beside io/, and
# gegl/ on libzavol/ alone: the faces enter the engine through its C interface.
set(_zavol_layers
  "host:"
  "render:"
  "resources: render/version.h"
  "dialogs: host render resources"
  "shell: host render dialogs"
  "standin: host render/hsv.h io/netpbm.h io/atomic_file.h"
  "libzavol: render"
  "io: render"
  "cli: io render"
  "gegl: libzavol"
  "python: libzavol io"
  "web: libzavol render io/netpbm.h"
  "bench: render tests libzavol io shell"
  "fuzz: io render cli libzavol shell"
  "tests: host render resources dialogs shell standin libzavol io cli fuzz bench gegl")

foreach(_row IN LISTS _zavol_layers)
  string(REGEX MATCH "^([a-z]+):(.*)$" _ "${_row}")
  set(_folder ${CMAKE_MATCH_1})
  string(STRIP "${CMAKE_MATCH_2}" _allowed)
  separate_arguments(_allowed)
  list(APPEND _zavol_folders ${_folder})
  set(_zavol_allowed_${_folder} ${_allowed})
endforeach()

# Sets out to "" when `file` (a path from the repository root) may include "`included`", else
# to the reason it may not.
function(zavol_layer_verdict file included out)
  string(REGEX MATCH "^[^/]+" from "${file}")
  if(NOT from IN_LIST _zavol_folders)
    set(${out} "folder ${from}/ is not in the layering table" PARENT_SCOPE)
    return()
  endif()
  if(included MATCHES "(^|/)\\.\\.(/|$)")
    set(${out} "\"${included}\" climbs out of its folder: name it from the repository root"
      PARENT_SCOPE)
    return()
  endif()
  string(REGEX MATCH "^[^/]+" to "${included}")
  # A name without a known folder in front is the including file's neighbour.
  if(NOT included MATCHES "/" OR NOT to IN_LIST _zavol_folders OR to STREQUAL from)
    set(${out} "" PARENT_SCOPE)
    return()
  endif()
  if(to IN_LIST _zavol_allowed_${from} OR included IN_LIST _zavol_allowed_${from})
    set(${out} "" PARENT_SCOPE)
  else()
    set(${out} "${from}/ may not include ${to}/ (\"${included}\")" PARENT_SCOPE)
  endif()
endfunction()

if(SELF_TEST)
  # file | included | whether the edge is allowed
  set(_cases
    "render/frame.h|render/settings.h|yes"
    "render/frame.h|shell/settings.h|no"
    "render/frame.h|../shell/settings.h|no"
    "cli/main.cpp|render/version.h|yes"
    "cli/render_job.cpp|standin/hsv.h|no"
    "standin/core.cpp|render/hsv.h|yes"
    "standin/host/main.cpp|render/settings.h|no"
    "standin/host/main.cpp|standin/host/slots.h|yes"
    "resources/zavol.rc|ids.h|yes"
    "resources/zavol.rc|render/version.h|yes"
    "dialogs/setup_dialog.cpp|shell/filter.h|no"
    "shell/filter.cpp|dialogs/dialogs.h|yes"
    "fuzz/make_seeds.cpp|tests/exr_every_attribute.h|no"
    "tests/damaged_files_test.cpp|fuzz/exr_every_attribute.h|yes"
    "libzavol/zavol.cpp|render/image_render.h|yes"
    "libzavol/zavol.cpp|io/formats.h|no"
    "render/image_render.cpp|libzavol/zavol.h|no"
    "python/module.cpp|libzavol/zavol.h|yes"
    "python/module.cpp|cli/settings_options.h|no"
    "python/module.cpp|render/frame_checks.h|no"
    "python/video_writer.cpp|io/video_write.h|yes"
    "gegl/checks.cpp|render/field_table.h|no"
    "gegl/checks.cpp|libzavol/zavol.h|yes"
    "tools/new.cpp|render/frame.h|no")
  set(_wrong 0)
  foreach(_case IN LISTS _cases)
    string(REPLACE "|" ";" _parts "${_case}")
    list(GET _parts 0 _file)
    list(GET _parts 1 _included)
    list(GET _parts 2 _expected)
    zavol_layer_verdict("${_file}" "${_included}" _reason)
    if((_expected STREQUAL "yes") STREQUAL (_reason STREQUAL ""))
      continue()
    endif()
    math(EXPR _wrong "${_wrong} + 1")
    message("wrong verdict: ${_file} including \"${_included}\" should be allowed: ${_expected}")
  endforeach()
  if(_wrong GREATER 0)
    message(FATAL_ERROR "${_wrong} wrong verdicts")
  endif()
  message("layering rule: all verdicts as expected")
  return()
endif()

if(NOT SOURCE_DIR)
  message(FATAL_ERROR "give -DSOURCE_DIR=<repository>")
endif()

# The tracked sources; without a checkout (an unpacked archive), every source outside build/.
find_program(_git git)
set(_files "")
if(_git AND EXISTS ${SOURCE_DIR}/.git)
  execute_process(COMMAND ${_git} ls-files -- "*.h" "*.hpp" "*.c" "*.cc" "*.cpp" "*.rc"
    WORKING_DIRECTORY ${SOURCE_DIR} OUTPUT_VARIABLE _listed RESULT_VARIABLE _status)
  if(NOT _status EQUAL 0)
    message(FATAL_ERROR "git ls-files failed in ${SOURCE_DIR}")
  endif()
  string(REGEX REPLACE "\n$" "" _listed "${_listed}")
  string(REPLACE "\n" ";" _files "${_listed}")
else()
  file(GLOB_RECURSE _files RELATIVE ${SOURCE_DIR} LIST_DIRECTORIES false
    ${SOURCE_DIR}/*.h ${SOURCE_DIR}/*.hpp ${SOURCE_DIR}/*.c ${SOURCE_DIR}/*.cc
    ${SOURCE_DIR}/*.cpp ${SOURCE_DIR}/*.rc)
  list(FILTER _files EXCLUDE REGEX "^build")
endif()
if(NOT _files)
  message(FATAL_ERROR "no sources found under ${SOURCE_DIR}")
endif()

set(_violations 0)
set(_edges 0)
foreach(_file IN LISTS _files)
  # A file at the root has no folder, so no layer to break.
  if(NOT _file MATCHES "/")
    continue()
  endif()
  file(STRINGS ${SOURCE_DIR}/${_file} _lines REGEX "^[ \t]*#[ \t]*include[ \t]*\"")
  foreach(_line IN LISTS _lines)
    string(REGEX MATCH "\"([^\"]+)\"" _ "${_line}")
    zavol_layer_verdict("${_file}" "${CMAKE_MATCH_1}" _reason)
    math(EXPR _edges "${_edges} + 1")
    if(NOT _reason STREQUAL "")
      message("${_file}: ${_reason}")
      math(EXPR _violations "${_violations} + 1")
    endif()
  endforeach()
endforeach()
list(LENGTH _files _count)
if(_violations GREATER 0)
  message(FATAL_ERROR "${_violations} includes break the layering (cmake/check_layers.cmake)")
endif()
message("layering holds: ${_edges} includes in ${_count} files")
