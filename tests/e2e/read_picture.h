// read_picture: a screenshot or picture file read as RGBA into the CPU reference's Picture, for
// the comparison tools. Header only; stb_image decodes (any format it reads).
//
//   Picture shot;
//   if (!ReadPicture("compare_window", path, shot)) return 2;   // the reason is on stderr
#pragma once
#include <stb_image.h>

#include <cstdio>

#include "tests/render/brush_reference.h"

inline bool ReadPicture(const char* tool, const char* path, Picture& picture) {
    int width = 0, height = 0;
    unsigned char* pixels = stbi_load(path, &width, &height, nullptr, 4);
    if (!pixels) {
        std::fprintf(stderr, "%s: cannot read %s: %s\n", tool, path, stbi_failure_reason());
        return false;
    }
    picture.Width = width;
    picture.Height = height;
    picture.Texels.assign(pixels, pixels + size_t(width) * height * 4);
    stbi_image_free(pixels);
    return true;
}
