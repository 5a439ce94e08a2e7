# The folders are the program's layers, one static library each (vellumry_<folder>), from the
# bottom up: base, gl, filedialog, picture, settings, render, ui, app. A layer links exactly the
# layers it may use (USES) and the outside libraries it needs (LIBRARIES). Every layer sees the
# source root on its include path, so the compiler alone would let any file include any header;
# a build step therefore reads each file of the folder and stops the build at an include of a
# layer it does not use (tools/check_layers.py prints the file and line).
#
#   vellumry_layer(render USES base gl picture SOURCES a.cpp b.cpp LIBRARIES PkgConfig::STB)
function(vellumry_layer layer)
  cmake_parse_arguments(arg "" "" "USES;SOURCES;LIBRARIES" ${ARGN})
  set(target vellumry_${layer})
  add_library(${target} STATIC ${arg_SOURCES})
  target_include_directories(${target} PUBLIC ${CMAKE_SOURCE_DIR})
  set(used_targets)
  foreach(used ${arg_USES})
    list(APPEND used_targets vellumry_${used})
  endforeach()
  target_link_libraries(${target} PUBLIC ${used_targets} ${arg_LIBRARIES})

  # Every file of the folder, whichever target builds it (the decoder helper's too).
  file(GLOB checked RELATIVE ${CMAKE_SOURCE_DIR} CONFIGURE_DEPENDS
       ${CMAKE_SOURCE_DIR}/${layer}/*.h ${CMAKE_SOURCE_DIR}/${layer}/*.cpp ${CMAKE_SOURCE_DIR}/${layer}/*.c)
  list(TRANSFORM checked PREPEND ${CMAKE_SOURCE_DIR}/ OUTPUT_VARIABLE checked_paths)
  string(JOIN "," may ${arg_USES})
  set(stamp ${CMAKE_BINARY_DIR}/layer-checks/${layer}.stamp)
  add_custom_command(
    OUTPUT ${stamp}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/layer-checks
    COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tools/check_layers.py ${layer} "${may}" ${stamp} ${checked}
    DEPENDS ${checked_paths} ${CMAKE_SOURCE_DIR}/tools/check_layers.py
    WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}
    COMMENT "Checking the includes of ${layer}/"
    VERBATIM)
  add_custom_target(${target}_includes DEPENDS ${stamp})
  add_dependencies(${target} ${target}_includes)
endfunction()
