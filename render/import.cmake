# Texture import: the texture slots and the embedded assets (the default paper and the
# interface font). The decoder helper and its client are in picture/.
set(embedded ${CMAKE_BINARY_DIR}/generated/render)
set(UI_FONT_FILE /usr/share/fonts/truetype/roboto/unhinted/RobotoTTF/Roboto-Regular.ttf
    CACHE FILEPATH "TrueType font built into the program for its interface")
file(MAKE_DIRECTORY ${embedded})
foreach(asset "DefaultFilterData|${CMAKE_SOURCE_DIR}/assets/paper.jpg|embedded_paper.cpp"
              "UIFontData|${UI_FONT_FILE}|embedded_font.cpp")
  string(REPLACE "|" ";" asset "${asset}")
  list(GET asset 0 symbol)
  list(GET asset 1 input)
  list(GET asset 2 output)
  add_custom_command(
    OUTPUT ${embedded}/${output}
    COMMAND ${CMAKE_COMMAND} -DINPUT=${input} -DOUTPUT=${embedded}/${output} -DNAME=${symbol}
            -P ${CMAKE_SOURCE_DIR}/cmake/EmbedFile.cmake
    DEPENDS ${input} ${CMAKE_SOURCE_DIR}/cmake/EmbedFile.cmake
    COMMENT "Embedding ${input}")
  list(APPEND embedded_sources ${embedded}/${output})
endforeach()
add_custom_target(embedded_assets DEPENDS ${embedded_sources})
add_dependencies(vellumry_core embedded_assets)

target_sources(vellumry_core PRIVATE
  ${embedded_sources}
  ${CMAKE_CURRENT_LIST_DIR}/texture_import.cpp)
target_link_libraries(vellumry_core PUBLIC PkgConfig::STB)

# The paper generator; `cmake --build <dir> --target paper` rewrites assets/paper.jpg.
add_executable(make_paper EXCLUDE_FROM_ALL ${CMAKE_SOURCE_DIR}/tools/make_paper.cpp)
target_link_libraries(make_paper PRIVATE PkgConfig::STB)
add_custom_target(paper COMMAND make_paper ${CMAKE_SOURCE_DIR}/assets/paper.jpg
                  COMMENT "Painting assets/paper.jpg")

# Import timing: a 24-megapixel JPEG through the helper and the GL beside stb_image in process.
if(UNIX)
  add_executable(bench_import ${CMAKE_SOURCE_DIR}/tests/import/bench_import.cpp)
  target_link_libraries(bench_import PRIVATE vellumry_core)
endif()
