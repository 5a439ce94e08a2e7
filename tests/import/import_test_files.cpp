#include "import_test_files.h"

#include <cstdio>
#include <cstdlib>
#include <stb_image_write.h>
#include <sys/stat.h>

TestFolder::TestFolder() {
    char name[] = "/tmp/vellumry-import.XXXXXX";
    if (mkdtemp(name)) path = name;
}

TestFolder::~TestFolder() {
    if (path.size() > 5) {
        std::string command = "rm -rf '" + path + "'";
        if (system(command.c_str()) != 0) fprintf(stderr, "could not remove %s\n", path.c_str());
    }
}

bool WriteBytes(const std::string& path, const Bytes& bytes) {
    FILE* file = fopen(path.c_str(), "wb");
    if (!file) return false;
    bool ok = bytes.empty() || fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return fclose(file) == 0 && ok;
}

Bytes ReadBytes(const std::string& path) {
    Bytes bytes;
    FILE* file = fopen(path.c_str(), "rb");
    if (!file) return bytes;
    int c;
    while ((c = fgetc(file)) != EOF) bytes.push_back((unsigned char)c);
    fclose(file);
    return bytes;
}

Bytes TestPixels(int width, int height, int channels) {
    Bytes pixels(size_t(width) * height * channels);
    for (size_t i = 0; i < pixels.size(); ++i) {
        unsigned h = unsigned(i) * 2654435761u;
        pixels[i] = (unsigned char)((h >> 13) ^ (h >> 24));
    }
    return pixels;
}

static void Append(void* context, void* data, int size) {
    Bytes* out = static_cast<Bytes*>(context);
    out->insert(out->end(), static_cast<unsigned char*>(data), static_cast<unsigned char*>(data) + size);
}

Bytes EncodePng(const Bytes& pixels, int width, int height, int channels) {
    Bytes out;
    stbi_write_png_to_func(Append, &out, width, height, channels, pixels.data(), width * channels);
    return out;
}

static void Put32(Bytes& out, unsigned value) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back((unsigned char)(value >> shift));
}

Bytes PngHeaderOnly(unsigned width, unsigned height) {
    Bytes out = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    Put32(out, 13);
    for (char c : {'I', 'H', 'D', 'R'}) out.push_back((unsigned char)c);
    Put32(out, width);
    Put32(out, height);
    for (unsigned char c : {8, 6, 0, 0, 0}) out.push_back(c);  // 8-bit RGBA, no interlace
    Put32(out, 0);  // the CRC, which stb_image does not check
    return out;
}

Bytes GifHeaderOnly(unsigned width, unsigned height) {
    return {'G', 'I', 'F', '8', '9', 'a', (unsigned char)width, (unsigned char)(width >> 8), (unsigned char)height,
            (unsigned char)(height >> 8), 0, 0, 0};
}

Bytes JpegHeaderOnly(unsigned width, unsigned height) {
    // SOI, then a baseline frame header: 8 bits, one component.
    return {0xff, 0xd8, 0xff, 0xc0, 0, 11, 8, (unsigned char)(height >> 8), (unsigned char)height,
            (unsigned char)(width >> 8), (unsigned char)width, 1, 1, 0x11, 0};
}

std::vector<BadInput> MakeBadInputs(const TestFolder& folder) {
    Bytes png = EncodePng(TestPixels(64, 64, 3), 64, 64, 3);
    Bytes truncated(png.begin(), png.begin() + long(png.size() / 2));
    Bytes damaged = png;
    for (size_t i = 60; i < damaged.size() - 20; ++i) damaged[i] = (unsigned char)(i * 7);
    Bytes tiff = {'I', 'I', 42, 0, 8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    std::string text = "just some text, not a picture\n";
    Bytes zeroWide = {'P', '5', '\n', '0', ' ', '4', '\n', '2', '5', '5', '\n'};

    WriteBytes(folder.File("truncated.png"), truncated);
    WriteBytes(folder.File("damaged.png"), damaged);
    WriteBytes(folder.File("scan.tif"), tiff);
    WriteBytes(folder.File("notes.png"), Bytes(text.begin(), text.end()));
    WriteBytes(folder.File("empty.png"), Bytes());
    WriteBytes(folder.File("zero-wide.pgm"), zeroWide);
    WriteBytes(folder.File("plain-file"), png);
    mkdir(folder.File("folder.png").c_str(), 0755);
    return {
        {"missing", folder.File("missing.png"), "No such file"},
        {"below a file", folder.File("plain-file") + "/picture.png", "Not a directory"},
        {"folder", folder.File("folder.png"), "folder"},
        {"device", "/dev/zero", "not a regular file"},
        {"empty", folder.File("empty.png"), "empty"},
        {"truncated", folder.File("truncated.png"), ""},
        {"damaged", folder.File("damaged.png"), ""},
        {"TIFF", folder.File("scan.tif"), "TIFF"},
        {"unknown type", folder.File("notes.png"), "unknown image type"},
        {"zero width", folder.File("zero-wide.pgm"), ""},
    };
}
