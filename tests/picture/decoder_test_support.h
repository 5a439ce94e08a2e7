// What the decoder client's tests share on every platform: a decode whose result owns its
// pixels, and the client's settings put back after a test changed them.
#pragma once
#include <string>
#include <vector>

#include "picture/image_decoder.h"

struct Decoded {
    bool ok = false;
    int width = 0, height = 0;
    int sourceWidth = 0, sourceHeight = 0;
    std::vector<unsigned char> pixels;
    std::string reason;
};

// largestSide: the longest side the pixels may come back with (0: any).
inline Decoded Decode(const std::string& path, int largestSide = 0) {
    Decoded result;
    DecodedPicture picture;
    char reason[512];
    result.ok = DecodePictureFile(path.c_str(), largestSide, &picture, reason, sizeof reason);
    if (result.ok) {
        result.width = picture.width;
        result.height = picture.height;
        result.sourceWidth = picture.sourceWidth;
        result.sourceHeight = picture.sourceHeight;
        result.pixels.assign(picture.pixels, picture.pixels + size_t(picture.width) * picture.height * 4);
        ReleaseDecodedPicture(&picture);
    } else {
        result.reason = reason;
    }
    return result;
}

struct DecoderSettings {
    const char* path = ImageDecoderPath;
    int time = ImageDecoderTimeLimitMs;
    long long memory = ImageDecoderMemoryLimit;
    ~DecoderSettings() {
        ImageDecoderPath = path;
        ImageDecoderTimeLimitMs = time;
        ImageDecoderMemoryLimit = memory;
    }
};
