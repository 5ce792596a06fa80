# layers.cmake - fails when a library includes the header of a library above it.
#
# The libraries are one-way layers, lowest first: a file may include the headers of its own layer
# and of the layers before it in LAYERS, never a header of a layer after it, and never another
# library's internal header (a name ending in "int.h"). Run by the build (cmake -P, with ROOT set
# to the source tree); tests, fuzz targets and benchmarks stand outside the layers.

set(LAYERS cfstring platform cfpath kdx partlist apps)
set(cfstring_DIRS share/cfstring)
set(platform_DIRS platform)
set(cfpath_DIRS share/cfpath)
set(kdx_DIRS share/cfkdx)
set(partlist_DIRS partlist)
set(apps_DIRS apps window)

if(NOT ROOT)
  message(FATAL_ERROR "layers.cmake: ROOT (the source tree) is not set")
endif()

# Every header names its layer; the files of each layer are read below.
set(rank 0)
foreach(layer IN LISTS LAYERS)
  set(${layer}_RANK ${rank})
  math(EXPR rank "${rank} + 1")
  set(${layer}_FILES "")
  foreach(dir IN LISTS ${layer}_DIRS)
    file(GLOB_RECURSE found LIST_DIRECTORIES false "${ROOT}/${dir}/*.h" "${ROOT}/${dir}/*.cpp")
    list(APPEND ${layer}_FILES ${found})
  endforeach()
  foreach(file IN LISTS ${layer}_FILES)
    if(file MATCHES "\\.h$")
      get_filename_component(name "${file}" NAME)
      set("HEADER_${name}" ${layer})
    endif()
  endforeach()
endforeach()

set(faults "")
foreach(layer IN LISTS LAYERS)
  foreach(file IN LISTS ${layer}_FILES)
    file(STRINGS "${file}" includes REGEX "^[ \t]*#[ \t]*include[ \t]*[\"<][^\">]+[\">]")
    foreach(line IN LISTS includes)
      string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*[\"<]([^\">]+)[\">].*" "\\1" included "${line}")
      get_filename_component(name "${included}" NAME)
      if(NOT DEFINED "HEADER_${name}")
        continue()
      endif()
      set(owner "${HEADER_${name}}")
      file(RELATIVE_PATH where "${ROOT}" "${file}")
      if(${${owner}_RANK} GREATER ${${layer}_RANK})
        string(APPEND faults "  ${where}: ${layer} includes ${included}, a header of ${owner} above it\n")
      elseif(NOT owner STREQUAL layer AND name MATCHES "int\\.h$")
        string(APPEND faults "  ${where}: ${layer} includes ${included}, the internal header of ${owner}\n")
      endif()
    endforeach()
  endforeach()
endforeach()

if(faults)
  message(FATAL_ERROR "The layers (${LAYERS}, lowest first) are crossed:\n${faults}")
endif()
