# Texture import: the texture slots, the client of the decoder helper, the helper itself and
# the embedded assets (the default paper and the interface font).
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

if(UNIX)
  target_sources(vellumry_core PRIVATE ${CMAKE_CURRENT_LIST_DIR}/image_decoder.cpp)
  # The decoder helper: its own stb_image build (all allocations in shared memory), no libstb.
  add_executable(vellumry-decode ${CMAKE_CURRENT_LIST_DIR}/decoder_main.cpp)
  target_include_directories(vellumry-decode PRIVATE ${CMAKE_SOURCE_DIR})
  target_include_directories(vellumry-decode SYSTEM PRIVATE ${STB_INCLUDE_DIRS})
  if(VELLUMRY_SANITIZE)
    # It runs under an address-space limit the sanitizers' shadow memory cannot live with, and
    # the faults it exists to contain are stb_image's, not ours.
    target_compile_options(vellumry-decode PRIVATE -fno-sanitize=all)
    target_link_options(vellumry-decode PRIVATE -fno-sanitize=all)
  endif()
  # Whatever links the core library may import a picture, so the helper is built with it.
  add_dependencies(vellumry_core vellumry-decode)
endif()

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
