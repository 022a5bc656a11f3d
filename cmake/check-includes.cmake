# Fails the build when a module's file includes a folder of src/ that the
# module does not depend on, so a layering mistake stops the build instead of
# waiting for a review. Run by CMake in script mode:
#   -DMODULE=name -DALLOWED="folder;..." -DFILES="path;..." -DSTAMP=path
cmake_minimum_required(VERSION 3.25)
set(bad "")
foreach(path IN LISTS FILES)
  file(STRINGS "${path}" includes REGEX "^[ \t]*#[ \t]*include[ \t]+\"")
  foreach(line IN LISTS includes)
    string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]+\"([^\"]*)\".*$" "\\1" header "${line}")
    # The folder a header belongs to: "json/x.hpp" is json, "os/win/json/x.hpp" too.
    string(REGEX REPLACE "^os/[a-z]+/" "" relative "${header}")
    string(FIND "${relative}" "/" slash)
    if(slash EQUAL -1)
      continue()  # a header beside the file or from a library
    endif()
    string(SUBSTRING "${relative}" 0 ${slash} folder)
    if(NOT folder IN_LIST ALLOWED)
      string(APPEND bad "\n  ${path}: ${header}")
    endif()
  endforeach()
endforeach()
if(NOT bad STREQUAL "")
  message(FATAL_ERROR "module ${MODULE} may include only ${ALLOWED}; found:${bad}")
endif()
file(TOUCH "${STAMP}")
