// Picture files for the import tests, written into a fresh temporary folder.
#pragma once
#include <string>
#include <vector>

struct TestFolder {
    std::string Path;
    TestFolder();
    ~TestFolder();  // removes the folder and everything in it
    std::string File(const std::string& name) const { return Path + "/" + name; }
};

typedef std::vector<unsigned char> Bytes;

bool WriteBytes(const std::string& path, const Bytes& bytes);
Bytes ReadBytes(const std::string& path);
// Pixels with `channels` interleaved channels, each byte a hash of its position.
Bytes TestPixels(int width, int height, int channels);
Bytes EncodePng(const Bytes& pixels, int width, int height, int channels);

// A file whose header claims width x height and which holds no picture data at all.
Bytes PngHeaderOnly(unsigned width, unsigned height);
Bytes GifHeaderOnly(unsigned width, unsigned height);  // both at most 65535
Bytes JpegHeaderOnly(unsigned width, unsigned height);
// A 24-bit BMP header claiming width x height and a few bytes of pixels (stb_image reads the
// rest as black): 70 bytes.
Bytes BmpHeaderOnly(unsigned width, unsigned height);
// A GIF whose canvas is width x height with a single 1 x 1 frame: 35 bytes.
Bytes GifCanvas(unsigned width, unsigned height);

struct BadInput {
    const char* Name;
    std::string Path;
    const char* ReasonHas;  // a part of the expected reason, or "" for any
};

// Every kind of file that must take the failure path, made in `folder`.
std::vector<BadInput> MakeBadInputs(const TestFolder& folder);
// stb_image_write's 64 x 64 baseline JPEG of TestPixels, and the same with codes no table has.
Bytes SmallJpeg();
Bytes JpegWithBadCodes();
// A run-length HDR file cut short, on which stb_image spins until it is stopped.
Bytes SpinningHdr();
// Damaged files of each format (cut short, bad Huffman tables, bad chunks, bad headers) and
// valid variants the decoder does not read, made in `folder`.
std::vector<BadInput> MakeDamagedFiles(const TestFolder& folder);
