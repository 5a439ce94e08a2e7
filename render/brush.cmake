# The brush shader pair and the filter renderer.
target_sources(vellumry_core PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/brush_shaders.cpp
  ${CMAKE_CURRENT_LIST_DIR}/brush_filter.cpp)
