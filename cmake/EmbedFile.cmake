# Writes a C++ source that holds a file's bytes as a constant array and its length.
#   cmake -DINPUT=<file> -DOUTPUT=<file.cpp> -DNAME=<Symbol> [-DHEADER=<its declaration>] -P EmbedFile.cmake
# defines `const unsigned char Symbol[]` and `const int SymbolSize`, declared in HEADER
# (render/embedded_assets.h unless it says otherwise).
if(NOT INPUT OR NOT OUTPUT OR NOT NAME)
  message(FATAL_ERROR "EmbedFile.cmake needs INPUT, OUTPUT and NAME")
endif()
if(NOT HEADER)
  set(HEADER render/embedded_assets.h)
endif()
file(SIZE "${INPUT}" size)
file(READ "${INPUT}" hex HEX)
# 32 bytes a line, each as 0xNN.
string(REPEAT "[0-9a-f]" 64 line)
string(REGEX REPLACE "(${line})" "\\1\n" hex "${hex}")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
get_filename_component(source "${INPUT}" NAME)
file(WRITE "${OUTPUT}.tmp"
  "// Generated at build time from ${source}; do not edit.\n"
  "#include \"${HEADER}\"\n\n"
  "extern const int ${NAME}Size = ${size};\n"
  "extern const unsigned char ${NAME}[${size}] = {\n${bytes}};\n")
# Only a changed file makes the compiler run again.
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.tmp")
