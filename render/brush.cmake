# The brush shader pair and the filter renderer: the offscreen pass, the cached preview and the
# export's render.
target_sources(vellumry_core PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/brush_shaders.cpp
  ${CMAKE_CURRENT_LIST_DIR}/brush_filter.cpp
  ${CMAKE_CURRENT_LIST_DIR}/offscreen_pass.cpp
  ${CMAKE_CURRENT_LIST_DIR}/cached_preview.cpp
  ${CMAKE_CURRENT_LIST_DIR}/picture_export.cpp)
