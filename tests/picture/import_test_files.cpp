#include "import_test_files.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <stb_image_write.h>
#include <sys/stat.h>

TestFolder::TestFolder() {
    char name[] = "/tmp/vellumry-import.XXXXXX";
    if (mkdtemp(name)) Path = name;
}

TestFolder::~TestFolder() {
    if (Path.size() > 5) {
        std::string command = "rm -rf '" + Path + "'";
        if (system(command.c_str()) != 0) fprintf(stderr, "could not remove %s\n", Path.c_str());
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
    Put32(out, 0);                                             // the CRC, which stb_image does not check
    return out;
}

// clang-format off
Bytes GifHeaderOnly(unsigned width, unsigned height) {
    return {'G', 'I', 'F', '8', '9', 'a', (unsigned char)width, (unsigned char)(width >> 8), (unsigned char)height,
            (unsigned char)(height >> 8), 0, 0, 0};
}

Bytes JpegHeaderOnly(unsigned width, unsigned height) {
    // SOI, then a baseline frame header: 8 bits, one component.
    return {0xff, 0xd8, 0xff, 0xc0, 0, 11, 8, (unsigned char)(height >> 8), (unsigned char)height,
            (unsigned char)(width >> 8), (unsigned char)width, 1, 1, 0x11, 0};
}
// clang-format on

static void Put16le(Bytes& out, unsigned value) {
    out.push_back((unsigned char)value);
    out.push_back((unsigned char)(value >> 8));
}

static void Put32le(Bytes& out, unsigned value) {
    Put16le(out, value & 0xffff);
    Put16le(out, value >> 16);
}

// A BMP with a BITMAPINFOHEADER; `pixelBytes` follow the 54-byte header.
static Bytes Bmp(unsigned width, unsigned height, unsigned bitsPerPixel, unsigned compression,
                 const Bytes& pixelBytes) {
    Bytes out = {'B', 'M'};
    Put32le(out, 54 + unsigned(pixelBytes.size()));
    Put32le(out, 0);
    Put32le(out, 54);  // the pixels' offset
    Put32le(out, 40);
    Put32le(out, width);
    Put32le(out, height);
    Put16le(out, 1);
    Put16le(out, bitsPerPixel);
    Put32le(out, compression);
    Put32le(out, unsigned(pixelBytes.size()));
    for (int i = 0; i < 4; ++i) Put32le(out, 0);  // resolution, palette sizes
    out.insert(out.end(), pixelBytes.begin(), pixelBytes.end());
    return out;
}

Bytes BmpHeaderOnly(unsigned width, unsigned height) { return Bmp(width, height, 24, 0, Bytes(16, 0x80)); }

Bytes GifCanvas(unsigned width, unsigned height) {
    Bytes out = GifHeaderOnly(width, height);
    out[10] = 0x80;  // a global colour table of two entries
    out.insert(out.end(), {0, 0, 0, 255, 255, 255});
    // One 1 x 1 frame at the corner: LZW with 2-bit codes, "clear, 0, end".
    out.insert(out.end(), {0x2c, 0, 0, 0, 0, 1, 0, 1, 0, 0, 2, 2, 0x44, 0x01, 0, 0x3b});
    return out;
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
        {"device", "/dev/zero", "it is a device"},
        {"empty", folder.File("empty.png"), "empty"},
        {"truncated", folder.File("truncated.png"), "damaged or cut short"},
        {"damaged", folder.File("damaged.png"), "damaged or cut short"},
        {"TIFF", folder.File("scan.tif"), "TIFF"},
        {"unknown type", folder.File("notes.png"), "not a picture format this program reads"},
        {"zero width", folder.File("zero-wide.pgm"), "damaged or cut short"},
    };
}

// The offset of the first JPEG marker `code` (after its 0xff), or 0.
static size_t JpegMarker(const Bytes& jpeg, unsigned char code) {
    for (size_t i = 2; i + 1 < jpeg.size(); ++i)
        if (jpeg[i] == 0xff && jpeg[i + 1] == code) return i + 1;
    return 0;
}

static Bytes Text(const std::string& text) { return Bytes(text.begin(), text.end()); }

static Bytes Concat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

static Bytes PsdHeader(unsigned channels, int height, int width, unsigned depth, unsigned mode, unsigned compression) {
    Bytes out = Text("8BPS");
    out.insert(out.end(), {0, 1, 0, 0, 0, 0, 0, 0, 0, (unsigned char)channels});
    Put32(out, unsigned(height));
    Put32(out, unsigned(width));
    out.insert(out.end(), {0, (unsigned char)depth, 0, (unsigned char)mode});
    Put32(out, 0);  // colour mode data
    Put32(out, 0);  // image resources
    Put32(out, 0);  // layers
    out.insert(out.end(), {0, (unsigned char)compression});
    return out;
}

Bytes SpinningHdr() {
    // Run-length scanlines of 64 pixels whose data stops after the first scanline's start: at
    // the end of the file stb_image reads a count of 0 again and again.
    return Concat(Text("#?RADIANCE\nFORMAT=32-bit_rle_rgbe\n\n-Y 4 +X 64\n"), Bytes{2, 2, 0, 64});
}

Bytes SmallJpeg() {
    Bytes jpeg;
    stbi_write_jpg_to_func(
        [](void* context, void* data, int size) {
            Bytes* out = static_cast<Bytes*>(context);
            out->insert(out->end(), static_cast<unsigned char*>(data), static_cast<unsigned char*>(data) + size);
        },
        &jpeg, 64, 64, 3, TestPixels(64, 64, 3).data(), 90);
    return jpeg;
}

Bytes JpegWithBadCodes() {
    Bytes scan = SmallJpeg();
    const size_t sos = JpegMarker(scan, 0xda);
    const size_t data = sos + 1 + (size_t(scan[sos + 1]) << 8 | scan[sos + 2]);
    // No code is all ones: 0xff stuffed with 0x00 is sixteen ones in the data, again and again.
    for (size_t i = data; i < data + 64 && i + 2 < scan.size(); ++i) scan[i] = (i - data) % 2 ? 0x00 : 0xff;
    return scan;
}

std::vector<BadInput> MakeDamagedFiles(const TestFolder& folder) {
    std::vector<BadInput> files;
    auto add = [&](const char* name, const Bytes& bytes, const char* reasonHas) {
        files.push_back({name, folder.File(name), reasonHas});
        WriteBytes(folder.File(name), bytes);
    };
    const char* damaged = "the file is damaged or cut short";
    const char* variant = "variant is not supported";

    // PNG: stb_image_write's, with one IDAT between IHDR and IEND.
    const Bytes png = EncodePng(TestPixels(64, 64, 3), 64, 64, 3);
    const size_t idat = 8 + 25;  // signature, then IHDR's length, type, 13 bytes and CRC
    add("cut.png", Bytes(png.begin(), png.begin() + long(png.size() / 2)), damaged);
    add("no-end.png", Bytes(png.begin(), png.end() - 12), "it ends before its last chunk");
    Bytes chunk = png;
    const unsigned char garbage[4] = {'E', 'N', 'D', 0xae};
    std::copy(garbage, garbage + 4, chunk.begin() + long(idat + 4));
    add("bad-chunk.png", chunk, "PNG: unknown chunk");
    Bytes colour = png;
    colour[8 + 8 + 9] = 5;  // IHDR's colour type: no such type
    add("bad-header.png", colour, damaged);
    Bytes huffman = png;
    for (size_t i = idat + 8 + 2; i < idat + 8 + 40; ++i) huffman[i] = 0xff;  // past the zlib header
    add("bad-huffman.png", huffman, damaged);

    // JPEG: stb_image_write's baseline file.
    const Bytes jpeg = SmallJpeg();
    const size_t sof = JpegMarker(jpeg, 0xc0), dht = JpegMarker(jpeg, 0xc4), sos = JpegMarker(jpeg, 0xda);
    add("cut.jpg", Bytes(jpeg.begin(), jpeg.begin() + long(sos)), damaged);
    // Codes no table has (all ones) are decoded by libjpeg-turbo as zeros, as browsers show them:
    // the hostile photos in photo_formats_test.cpp.
    Bytes table = jpeg;
    for (size_t i = dht + 4; i < dht + 4 + 16; ++i) table[i] = 0xff;  // the code counts: far too many codes
    add("bad-table.jpg", table, damaged);
    Bytes wide = jpeg;
    wide[sof + 6] = wide[sof + 7] = 0;  // the frame's width
    add("zero-width.jpg", wide, damaged);
    Bytes precise = jpeg;
    precise[sof + 3] = 12;  // 12-bit samples: valid, not read
    add("12-bit.jpg", precise, variant);

    // GIF, BMP, PSD, HDR, PNM, PIC.
    const Bytes gif = GifCanvas(16, 16);
    add("cut.gif", Bytes(gif.begin(), gif.begin() + 13), damaged);
    Bytes code = gif;
    code[gif.size() - 6] = 11;  // the frame's LZW code size, beyond what GIF allows
    add("bad-code.gif", code, damaged);
    add("rle.bmp", Bmp(4, 4, 8, 1, Bytes(1024 + 16, 0)), variant);
    add("bad-depth.bmp", Bmp(4, 4, 7, 0, Bytes(64, 0)), damaged);
    add("grey.psd", Concat(PsdHeader(1, 4, 4, 8, 1, 0), Bytes(16, 0x80)), variant);
    add("zip.psd", Concat(PsdHeader(3, 4, 4, 8, 3, 2), Bytes(48, 0x80)), variant);
    add("negative-size.psd", Concat(PsdHeader(3, -1209545174, -2118283800, 8, 3, 0), Bytes(48, 0)), damaged);
    add("xyze.hdr", Concat(Text("#?RADIANCE\nFORMAT=32-bit_rle_xyze\n\n-Y 4 +X 4\n"), Bytes(64, 0)), variant);
    add("deep.pgm", Concat(Text("P5\n4 4\n70000\n"), Bytes(32, 0)), variant);
    Bytes pic = {0x53, 0x80, 0xf6, 0x34};
    pic.resize(88, 0);
    pic = Concat(pic, Text("PICT"));
    pic.insert(pic.end(), {0, 4, 0, 4, 0, 0, 0, 0, 0, 0, 0});  // 4 x 4, then the packets stop
    add("cut.pic", pic, damaged);
    return files;
}
