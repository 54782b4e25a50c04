# Refuses an include that points up a layer: each folder of src/ may include only the
# folders listed for it (Models at the bottom, then Codec, Platform, Services, Library,
# ViewModels, Views, App and Cli). Run by the build before the core is compiled:
#   cmake -DSOURCE_DIR=<src> -P CheckLayers.cmake
cmake_minimum_required(VERSION 3.20)
if(NOT SOURCE_DIR)
  message(FATAL_ERROR "CheckLayers.cmake needs -DSOURCE_DIR=<the src folder>")
endif()

set(allowed_Models     Models)
set(allowed_Codec      Models Codec)
set(allowed_Platform   Models Codec Platform)
set(allowed_Services   Models Codec Platform Services)
set(allowed_Library    Models Codec Platform Services Library)
set(allowed_ViewModels Models Codec Platform Services Library ViewModels)
set(allowed_Views      Models Codec Platform Services Library ViewModels Views)
set(allowed_App        Models Codec Platform Services Library ViewModels Views App)
set(allowed_Cli        Models Codec Platform Services Library ViewModels Views App Cli)
set(allowed_Guardian   Guardian)
set(layers Models Codec Platform Services Library ViewModels Views App Cli Guardian)

set(faults "")
foreach(layer IN LISTS layers)
  file(GLOB_RECURSE files "${SOURCE_DIR}/${layer}/*.h" "${SOURCE_DIR}/${layer}/*.cpp")
  foreach(file IN LISTS files)
    file(STRINGS "${file}" includes REGEX "^[ \t]*#[ \t]*include[ \t]+\"[A-Za-z]+/")
    foreach(line IN LISTS includes)
      string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]+\"([A-Za-z]+)/.*$" "\\1" target "${line}")
      if(NOT target IN_LIST layers)
        continue() # a file of the same folder's own subfolder, or a generated one
      endif()
      if(NOT target IN_LIST allowed_${layer})
        file(RELATIVE_PATH shown "${SOURCE_DIR}" "${file}")
        string(STRIP "${line}" line)
        string(APPEND faults "  ${shown}: ${line} (${layer} may use ${allowed_${layer}})\n")
      endif()
    endforeach()
  endforeach()
endforeach()

if(faults)
  message(FATAL_ERROR "Includes that point up a layer:\n${faults}")
endif()
