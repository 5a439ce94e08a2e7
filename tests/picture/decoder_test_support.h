// What the decoder client's tests share on every platform: a decode whose result owns its
// pixels, two decodes compared, and the client's settings put back after a test changed them.
#pragma once
#include <cstdlib>
#include <string>
#include <vector>

#include "picture/image_decoder.h"

struct Decoded {
    bool Ok = false;
    int Width = 0, Height = 0;
    int SourceWidth = 0, SourceHeight = 0;
    std::vector<unsigned char> Pixels;
    std::string Reason;
    std::string Note;
};

// largestSide: the longest side the pixels may come back with (0: any).
inline Decoded Decode(const std::string& path, int largestSide = 0) {
    Decoded result;
    DecodedPicture picture;
    char reason[512];
    result.Ok = DecodePictureFile(path.c_str(), largestSide, &picture, reason, sizeof reason);
    if (result.Ok) {
        result.Width = picture.Width;
        result.Height = picture.Height;
        result.SourceWidth = picture.SourceWidth;
        result.SourceHeight = picture.SourceHeight;
        result.Note = picture.Note;
        result.Pixels.assign(picture.Pixels, picture.Pixels + size_t(picture.Width) * picture.Height * 4);
        ReleaseDecodedPicture(&picture);
    } else {
        result.Reason = reason;
    }
    return result;
}

// How far two decodes are apart, per channel value: a mean of 1e9 and a max of 255 when they
// cannot be compared (either failed, or their sizes differ).
struct Difference {
    double Mean = 1e9;
    int Max = 255;
};

inline Difference Compare(const Decoded& a, const Decoded& b) {
    Difference d;
    if (!a.Ok || !b.Ok || a.Width != b.Width || a.Height != b.Height) return d;
    double sum = 0;
    d.Max = 0;
    for (size_t i = 0; i < a.Pixels.size(); ++i) {
        const int delta = std::abs(int(a.Pixels[i]) - int(b.Pixels[i]));
        sum += delta;
        if (delta > d.Max) d.Max = delta;
    }
    d.Mean = sum / double(a.Pixels.size());
    return d;
}

struct DecoderSettings {
    const char* Path = ImageDecoderPath;
    int Time = ImageDecoderTimeLimitMs;
    long long Memory = ImageDecoderMemoryLimit;
    ~DecoderSettings() {
        ImageDecoderPath = Path;
        ImageDecoderTimeLimitMs = Time;
        ImageDecoderMemoryLimit = Memory;
    }
};
