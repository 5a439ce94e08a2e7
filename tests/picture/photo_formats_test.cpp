// The photo formats through the real decoder helper, against an independent reading of the same
// file: ImageMagick's, turned upright (-auto-orient or its own turns) and converted to sRGB
// (-profile). Every sample is made here with Debian's own tools (ImageMagick, cwebp, img2webp,
// heif-enc, avifenc, exiftool) and colord's profiles; what no tool writes (an arithmetic-coded
// JPEG, a Display P3 profile, hostile structures) is made with the libraries or by hand.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <jpeglib.h>
#include <lcms2.h>
#include <stb_image.h>
#include <string>

#include "import_test_files.h"
#include "picture/picture_scaling.h"
#include "tests/picture/decoder_test_support.h"

namespace {

const std::string Colord = "/usr/share/color/icc/colord/";

bool Shell(const std::string& command) { return system((command + " >/dev/null 2>&1").c_str()) == 0; }

// ImageMagick's reading of a file (its first frame), as 8-bit RGBA. AVIF is read by libavif's own
// decoder first: ImageMagick reads it through libheif, the library under test.
Decoded Oracle(const std::string& path, const std::string& options) {
    Decoded oracle;
    const std::string png = path + ".oracle.png";
    std::string from = path;
    if (path.size() > 5 && path.compare(path.size() - 5, 5, ".avif") == 0) {
        from = path + ".avifdec.png";
        if (!Shell("avifdec '" + path + "' '" + from + "'")) return oracle;
    }
    if (!Shell("convert '" + from + "[0]' " + options + " -depth 8 PNG32:'" + png + "'")) return oracle;
    int channels = 0;
    unsigned char* pixels = stbi_load(png.c_str(), &oracle.Width, &oracle.Height, &channels, 4);
    if (!pixels) return oracle;
    oracle.Ok = true;
    oracle.Pixels.assign(pixels, pixels + size_t(oracle.Width) * oracle.Height * 4);
    stbi_image_free(pixels);
    return oracle;
}

// A photograph in miniature, odd-sized: smooth saturated colour, fine detail, and a dark corner
// block that shows which way up it is.
Bytes SourcePixels(int width, int height) {
    Bytes rgb(size_t(width) * height * 3);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            unsigned char* p = &rgb[(size_t(y) * width + x) * 3];
            const bool corner = x < width / 4 && y < height / 3;
            p[0] = corner ? 10 : (unsigned char)(255 * x / (width - 1));
            p[1] = corner ? 10 : (unsigned char)(128 + 120 * std::sin(y * 0.15));
            p[2] = corner ? 30 : (unsigned char)(255 - 200 * (x + y) / (width + height));
        }
    }
    return rgb;
}

// A profile made from primaries with sRGB's curve, as cameras' wide-gamut RGBs are.
bool WriteProfile(const std::string& path, cmsCIExyYTRIPLE primaries) {
    cmsCIExyY white = {0.3127, 0.3290, 1.0};
    const cmsFloat64Number curve[5] = {2.4, 1 / 1.055, 0.055 / 1.055, 1 / 12.92, 0.04045};
    cmsToneCurve* tone = cmsBuildParametricToneCurve(nullptr, 4, curve);
    cmsToneCurve* tones[3] = {tone, tone, tone};
    cmsHPROFILE profile = cmsCreateRGBProfile(&white, &primaries, tones);
    const bool ok = profile && cmsSaveProfileToFile(profile, path.c_str());
    if (profile) cmsCloseProfile(profile);
    cmsFreeToneCurve(tone);
    return ok;
}

// libjpeg-turbo writes what ImageMagick does not: arithmetic coding.
bool WriteArithmeticJpeg(const std::string& path, const Bytes& rgb, int width, int height) {
    FILE* file = fopen(path.c_str(), "wb");
    if (!file) return false;
    jpeg_compress_struct info;
    jpeg_error_mgr errors;
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    jpeg_stdio_dest(&info, file);
    info.image_width = JDIMENSION(width);
    info.image_height = JDIMENSION(height);
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, 95, TRUE);
    info.arith_code = TRUE;
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
        JSAMPROW row = const_cast<unsigned char*>(&rgb[size_t(info.next_scanline) * width * 3]);
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    return fclose(file) == 0;
}

// A JPEG with a marker segment put in right after its start.
Bytes WithSegment(const Bytes& jpeg, unsigned char marker, const Bytes& payload) {
    Bytes out(jpeg.begin(), jpeg.begin() + 2);
    const size_t length = payload.size() + 2;
    out.insert(out.end(), {0xff, marker, (unsigned char)(length >> 8), (unsigned char)length});
    out.insert(out.end(), payload.begin(), payload.end());
    out.insert(out.end(), jpeg.begin() + 2, jpeg.end());
    return out;
}

Bytes FirstPart(const Bytes& bytes) { return Bytes(bytes.begin(), bytes.begin() + long(bytes.size() * 6 / 10)); }

class PhotoFormats : public ::testing::Test {
protected:
    static constexpr int Width = 97, Height = 61;
    TestFolder folder_;
    std::string source_;  // the untagged, upright original (PNG)
    void SetUp() override {
        source_ = folder_.File("source.png");
        ASSERT_TRUE(WriteBytes(source_, EncodePng(SourcePixels(Width, Height), Width, Height, 3)));
    }
    // A sample made by a shell command: {src} and {out} stand for the source and the sample.
    std::string Make(const std::string& name, std::string command, const std::string& from = "") {
        const std::string out = folder_.File(name);
        for (size_t at; (at = command.find("{src}")) != std::string::npos;)
            command.replace(at, 5, "'" + (from.empty() ? source_ : from) + "'");
        for (size_t at; (at = command.find("{out}")) != std::string::npos;) command.replace(at, 5, "'" + out + "'");
        EXPECT_TRUE(Shell(command)) << command;
        return out;
    }
};

}  // namespace

// One file of every format and variant the photo decoders read, each against ImageMagick's
// reading of the same file: the lossless ones also against the source itself.
TEST_F(PhotoFormats, EveryVariantMatchesAnIndependentReading) {
    ASSERT_TRUE(WriteArithmeticJpeg(folder_.File("arithmetic.jpg"), SourcePixels(Width, Height), Width, Height));
    const std::string alpha = Make("alpha.png", "convert {src} -alpha set -channel A -evaluate set 60% +channel {out}");
    struct Sample {
        std::string Path;
        bool Lossless;  // equal to the source too
    } samples[] = {
        {Make("baseline.jpg", "convert {src} -quality 92 {out}"), false},
        {Make("progressive.jpg", "convert {src} -quality 92 -interlace JPEG {out}"), false},
        {folder_.File("arithmetic.jpg"), false},
        {Make("grey.jpg", "convert {src} -colorspace Gray {out}"), false},
        {Make("cmyk.jpg", "convert {src} -colorspace CMYK -quality 95 {out}"), false},
        {Make("palette.png", "convert {src} PNG8:{out}"), false},
        {Make("grey.png", "convert {src} -colorspace Gray {out}"), false},
        {Make("deep.png", "convert {src} -depth 16 {out}"), true},
        {alpha, false},
        {Make("interlaced.png", "convert {src} -interlace PNG {out}"), true},
        {Make("rgb-lzw.tif", "convert {src} -compress LZW {out}"), true},
        {Make("deep-zip.tif", "convert {src} -depth 16 -compress Zip {out}"), true},
        {Make("grey-packbits.tif", "convert {src} -colorspace Gray -compress RLE {out}"), false},
        {Make("cmyk.tif", "convert {src} -colorspace CMYK {out}"), false},
        {Make("palette.tif", "convert {src} -colors 200 -type Palette {out}"), false},
        {Make("jpeg.tif", "convert {src} -compress JPEG -quality 92 {out}"), false},
        {Make("tiled.tif", "convert {src} -define tiff:tile-geometry=32x32 {out}"), true},
        {Make("lossy.webp", "cwebp -quiet -q 90 {src} -o {out}"), false},
        {Make("lossless.webp", "cwebp -quiet -lossless {src} -o {out}"), true},
        {Make("alpha.webp", "cwebp -quiet -lossless {src} -o {out}", alpha), false},
        {Make("animated.webp", "img2webp -lossless {src} " + alpha + " -o {out}"), true},
        {Make("photo.heic", "heif-enc -q 90 {src} -o {out}"), false},
        {Make("photo.avif", "avifenc -s 10 {src} {out}"), false},
    };
    const Decoded original = Oracle(source_, "");
    ASSERT_TRUE(original.Ok);
    for (const Sample& sample : samples) {
        SCOPED_TRACE(sample.Path);
        Decoded got = Decode(sample.Path);
        ASSERT_TRUE(got.Ok) << got.Reason;
        EXPECT_EQ(Width, got.Width);
        EXPECT_EQ(Height, got.Height);
        Difference d = Compare(got, Oracle(sample.Path, ""));
        EXPECT_LE(d.Mean, 0.6);
        EXPECT_LE(d.Max, 6);
        if (sample.Lossless) {
            EXPECT_EQ(0, Compare(got, original).Max);
        }
    }
}

// libjpeg-turbo's own reading of a whole JPEG in one pass, at eighths/8 of its size, as RGBA.
Decoded ReadJpegInOnePass(const std::string& path, unsigned eighths) {
    Decoded read;
    const Bytes bytes = ReadBytes(path);
    jpeg_decompress_struct info;
    jpeg_error_mgr errors;
    info.err = jpeg_std_error(&errors);
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, bytes.data(), static_cast<unsigned long>(bytes.size()));
    jpeg_read_header(&info, TRUE);
    info.out_color_space = JCS_EXT_RGBA;
    info.scale_num = eighths;
    info.scale_denom = 8;
    jpeg_start_decompress(&info);
    read.Width = int(info.output_width);
    read.Height = int(info.output_height);
    read.Pixels.resize(size_t(read.Width) * read.Height * 4);
    while (info.output_scanline < info.output_height) {
        JSAMPROW row = &read.Pixels[size_t(info.output_scanline) * read.Width * 4];
        jpeg_read_scanlines(&info, &row, 1);
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    read.Ok = true;
    return read;
}

// A large JPEG is read by two decompressors at once, the second skipping to its rows: together
// they must give exactly the bytes of one reading, whatever the sampling, coding or scale.
TEST_F(PhotoFormats, ALargeJpegReadInTwoPartsIsTheWholeReadingByteForByte) {
    const int width = 2048, height = 1536;  // above the size that gets a second part; eighths divide it
    const std::string large = folder_.File("large.png");
    ASSERT_TRUE(WriteBytes(large, EncodePng(SourcePixels(width, height), width, height, 3)));
    ASSERT_TRUE(WriteArithmeticJpeg(folder_.File("large-arithmetic.jpg"), SourcePixels(width, height), width, height));
    const std::string samples[] = {
        Make("large-420.jpg", "convert {src} -quality 85 -sampling-factor 4:2:0 {out}", large),
        Make("large-422.jpg", "convert {src} -quality 85 -sampling-factor 4:2:2 {out}", large),
        Make("large-440.jpg", "convert {src} -quality 85 -sampling-factor 1x2 {out}", large),
        Make("large-444.jpg", "convert {src} -quality 92 {out}", large),
        Make("large-grey.jpg", "convert {src} -colorspace Gray {out}", large),
        folder_.File("large-arithmetic.jpg"),
    };
    for (const std::string& path : samples) {
        SCOPED_TRACE(path);
        EXPECT_EQ(0, Compare(Decode(path), ReadJpegInOnePass(path, 8)).Max);
    }
    // Twice the size, decoded at half of it, which fits 2048 exactly: no scaling follows.
    const std::string twice = folder_.File("twice.png");
    ASSERT_TRUE(WriteBytes(twice, EncodePng(SourcePixels(2 * width, 2 * height), 2 * width, 2 * height, 3)));
    const std::string halved = Make("twice.jpg", "convert {src} -quality 85 {out}", twice);
    EXPECT_EQ(0, Compare(Decode(halved, width), ReadJpegInOnePass(halved, 4)).Max);
    // To 3000, which half the size does not cover: read whole, then scaled down in the helper's
    // bands, as one scaling where it lies would.
    Decoded scaled = ReadJpegInOnePass(halved, 8);
    ASSERT_TRUE(ShrinkPicture(scaled.Pixels.data(), scaled.Width, scaled.Height, 3000, 2250));
    scaled.Width = 3000, scaled.Height = 2250;
    scaled.Pixels.resize(size_t(3000) * 2250 * 4);
    EXPECT_EQ(0, Compare(Decode(halved, 3000), scaled).Max);
    // Cut short in the second part's rows: the first part's success does not hide it.
    ASSERT_TRUE(WriteBytes(folder_.File("large-cut.jpg"), FirstPart(ReadBytes(samples[0]))));
    const Decoded cut = Decode(folder_.File("large-cut.jpg"));
    EXPECT_FALSE(cut.Ok);
    EXPECT_NE(std::string::npos, cut.Reason.find("the file is damaged or cut short (JPEG")) << cut.Reason;
}

// The eight orientations of one photo, as JPEG (EXIF in APP1), and a few through PNG's eXIf,
// TIFF's own tag and WebP's EXIF chunk: each comes upright, as ImageMagick turns it.
TEST_F(PhotoFormats, EveryOrientationArrivesUpright) {
    const std::string stored = Make("stored.jpg", "convert {src} -quality 95 {out}");
    const Decoded upright = Decode(stored);
    ASSERT_TRUE(upright.Ok) << upright.Reason;
    const char* turns[] = {"",           "",           "-flop",       "-rotate 180", "-flip",
                           "-transpose", "-rotate 90", "-transverse", "-rotate 270"};
    for (int orientation = 1; orientation <= 8; ++orientation) {
        SCOPED_TRACE(orientation);
        const std::string path = folder_.File("turned-" + std::to_string(orientation) + ".jpg");
        WriteBytes(path, ReadBytes(stored));
        ASSERT_TRUE(
            Shell("exiftool -q -overwrite_original -Orientation#=" + std::to_string(orientation) + " '" + path + "'"));
        Decoded got = Decode(path);
        ASSERT_TRUE(got.Ok) << got.Reason;
        EXPECT_EQ(orientation >= 5 ? Height : Width, got.Width);
        EXPECT_EQ(orientation >= 5 ? Height : Width, got.SourceWidth) << "the upright size is the picture's size";
        EXPECT_EQ(0, Compare(got, Oracle(path, "-auto-orient")).Max);
        EXPECT_EQ(0, Compare(got, Oracle(stored, turns[orientation])).Max);
    }
    struct Other {
        std::string Path;
        int Orientation;
    } others[] = {
        {Make("turned.png", "convert {src} {out} && exiftool -q -overwrite_original -Orientation#=6 {out}"), 6},
        {Make("turned.tif", "convert {src} {out} && exiftool -q -overwrite_original -Orientation#=8 {out}"), 8},
        {Make("turned.webp",
              "cwebp -quiet -lossless {src} -o {out} && exiftool -q -overwrite_original -Orientation#=3 {out}"),
         3},
    };
    for (const Other& other : others) {
        SCOPED_TRACE(other.Path);
        Decoded got = Decode(other.Path);
        ASSERT_TRUE(got.Ok) << got.Reason;
        EXPECT_EQ(0, Compare(got, Oracle(source_, turns[other.Orientation])).Max);
    }
}

// HEIF turns itself (irot): a phone's HEIC stored sideways, and an AVIF mirrored and turned.
TEST_F(PhotoFormats, HeifArrivesTurnedAsItSays) {
    // heif-enc writes no rotation: its pixel-information property becomes one, of the same size.
    Bytes heic = ReadBytes(Make("plain.heic", "heif-enc -q 95 {src} -o {out}"));
    const std::string pixi = "pixi";
    auto at = std::search(heic.begin(), heic.end(), pixi.begin(), pixi.end());
    ASSERT_NE(heic.end(), at);
    const size_t box = size_t(at - heic.begin()) - 4;
    const size_t size = size_t(heic[box + 2]) << 8 | heic[box + 3];
    std::copy_n("irot", 4, heic.begin() + long(box) + 4);
    std::fill(heic.begin() + long(box) + 8, heic.begin() + long(box + size), 0);
    heic[box + 8] = 1;  // a quarter turn anticlockwise
    ASSERT_TRUE(WriteBytes(folder_.File("turned.heic"), heic));
    const std::string avif = Make("turned.avif", "avifenc -s 10 --irot 3 --imir 1 {src} {out}");
    struct Case {
        std::string Path;
        const char* Turn;
    } cases[] = {{folder_.File("turned.heic"), "-rotate 270"}, {avif, "-rotate 90 -flop"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Path);
        Decoded got = Decode(c.Path);
        ASSERT_TRUE(got.Ok) << got.Reason;
        EXPECT_EQ(Height, got.Width);
        EXPECT_EQ(Width, got.Height);
        Difference d = Compare(got, Oracle(source_, c.Turn));
        EXPECT_LE(d.Mean, 3.0);
    }
}

// Tagged pictures reach sRGB within a few levels of ImageMagick's conversion with the same
// profile; one without a profile is left as it is.
TEST_F(PhotoFormats, ColourProfilesAreConvertedToSrgb) {
    const std::string p3 = folder_.File("display-p3.icc"), bt2020 = folder_.File("bt2020.icc");
    ASSERT_TRUE(WriteProfile(p3, {{0.680, 0.320, 1.0}, {0.265, 0.690, 1.0}, {0.150, 0.060, 1.0}}));
    ASSERT_TRUE(WriteProfile(bt2020, {{0.708, 0.292, 1.0}, {0.170, 0.797, 1.0}, {0.131, 0.046, 1.0}}));
    // sRGB as the helper knows it (colord's own differs near black, by up to 17 levels through ProPhoto).
    const std::string srgbProfile = folder_.File("srgb.icc");
    cmsHPROFILE builtIn = cmsCreate_sRGBProfile();
    ASSERT_TRUE(cmsSaveProfileToFile(builtIn, srgbProfile.c_str()));
    cmsCloseProfile(builtIn);
    const std::string srgb = "-profile '" + srgbProfile + "'";
    const std::string p3Png = Make("p3.png", "convert {src} " + srgb + " -profile '" + p3 + "' {out}");
    const std::string wide = Make("bt2020.png", "convert {src} " + srgb + " -profile '" + bt2020 + "' {out}");
    const std::string adobe =
        Make("adobe.png", "convert {src} " + srgb + " -profile " + Colord + "AdobeRGB1998.icc {out}");
    struct Case {
        std::string Path;
        std::string Twin;  // the file ImageMagick converts: the same (""), or its ICC twin
        double Mean;
        std::string Assign = "";  // the profile ImageMagick must be given, where it reads none
        int Max = 6;              // HEVC's chroma, read by two decoders, differs at saturated edges
    } cases[] = {
        {Make("adobe.jpg", "convert {src} " + srgb + " -profile " + Colord + "AdobeRGB1998.icc -quality 95 {out}"), "",
         0.6},
        {Make("prophoto.tif",
              "convert {src} -depth 16 " + srgb + " -profile " + Colord + "ProPhotoRGB.icc -compress Zip {out}"),
         "", 0.6},
        {p3Png, "", 0.6},
        {Make("adobe.webp",
              "convert {src} " + srgb + " -profile " + Colord + "AdobeRGB1998.icc -define webp:lossless=true {out}"),
         "", 0.6},
        {Make("p3.avif", "avifenc -s 10 -l --ignore-icc --cicp 12/13/0 {src} {out}", p3Png), p3Png, 0.6},
        {Make("bt2020.avif", "avifenc -s 10 -l --ignore-icc --cicp 9/13/0 {src} {out}", wide), wide, 0.6},
        {Make("adobe.heic", "heif-enc -q 95 {src} -o {out}", adobe), "", 1.0,
         "-profile " + Colord + "AdobeRGB1998.icc ", 24},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Path);
        Decoded got = Decode(c.Path);
        ASSERT_TRUE(got.Ok) << got.Reason;
        const Decoded oracle = Oracle(c.Twin.empty() ? c.Path : c.Twin, c.Assign + srgb);
        Difference d = Compare(got, oracle);
        EXPECT_LE(d.Mean, c.Mean);
        EXPECT_LE(d.Max, c.Max);
        // Left unconverted, the colours would be visibly off.
        EXPECT_GT(Compare(got, Oracle(c.Twin.empty() ? c.Path : c.Twin, "+profile '*'")).Mean, 1.0);
    }
    // Untagged, and tagged sRGB by code points: the source's own bytes.
    const std::string plain = Make("plain.avif", "avifenc -s 10 -l --cicp 1/13/0 {src} {out}");
    for (const std::string& path : {source_, plain}) {
        SCOPED_TRACE(path);
        EXPECT_EQ(0, Compare(Decode(path), Oracle(source_, "")).Max);
    }
}

// Damaged and hostile photos: refused with a reason in plain words, or loaded without the part
// that is broken, within the helper's limits.
TEST_F(PhotoFormats, HostilePhotosAreRefusedOrLoadWithoutTheBrokenPart) {
    const Bytes jpeg = ReadBytes(Make("good.jpg", "convert {src} -quality 90 {out}"));
    const Decoded plain = Decode(folder_.File("good.jpg"));
    ASSERT_TRUE(plain.Ok);
    struct Cut {
        const char* Name;
        std::string Path;
    } cuts[] = {
        {"cut.jpg", Make("good-progressive.jpg", "convert {src} -interlace JPEG {out}")},
        {"cut.png", source_},
        {"cut.tif", Make("good.tif", "convert {src} -compress LZW {out}")},
        {"cut.webp", Make("good.webp", "cwebp -quiet -q 80 {src} -o {out}")},
        {"cut.heic", Make("good.heic", "heif-enc {src} -o {out}")},
        {"cut.avif", Make("good.avif", "avifenc -s 10 {src} {out}")},
    };
    for (const Cut& cut : cuts) {
        SCOPED_TRACE(cut.Name);
        ASSERT_TRUE(WriteBytes(folder_.File(cut.Name), FirstPart(ReadBytes(cut.Path))));
        Decoded got = Decode(folder_.File(cut.Name));
        EXPECT_FALSE(got.Ok);
        EXPECT_NE(std::string::npos, got.Reason.find("the file is damaged or cut short (")) << got.Reason;
    }

    // A TIFF of 5000 one-pixel pages: its first is read, the rest never looked at.
    Bytes pages = {'I', 'I', 42, 0, 8, 0, 0, 0};
    const unsigned pageCount = 5000, entries = 8, ifd = 2 + entries * 12 + 4;
    for (unsigned page = 0; page < pageCount; ++page) {
        const unsigned start = 8 + page * (ifd + 1), next = page + 1 < pageCount ? start + ifd + 1 : 0;
        auto put16 = [&](unsigned v) { pages.insert(pages.end(), {(unsigned char)v, (unsigned char)(v >> 8)}); };
        auto put32 = [&](unsigned v) { put16(v & 0xffff), put16(v >> 16); };
        put16(entries);
        const unsigned tags[entries][2] = {{256, 1}, {257, 1},           {258, 8}, {259, 1},
                                           {262, 1}, {273, start + ifd}, {278, 1}, {279, 1}};
        for (const auto& tag : tags)
            put16(tag[0]), put16(tag[0] == 273 || tag[0] == 279 ? 4 : 3), put32(1), put32(tag[1]);
        put32(next);
        pages.push_back((unsigned char)(page == 0 ? 200 : 7));
    }
    WriteBytes(folder_.File("pages.tif"), pages);
    Decoded first = Decode(folder_.File("pages.tif"));
    ASSERT_TRUE(first.Ok) << first.Reason;
    EXPECT_EQ((Bytes{200, 200, 200, 255}), first.Pixels);

    // Headers claiming billions of pixels, refused before anything is allocated.
    Bytes huge(pages.begin(), pages.begin() + 8 + ifd + 1);
    huge[8 + 2 + 8] = huge[8 + 2 + 12 + 8] = 0xa0, huge[8 + 2 + 9] = huge[8 + 2 + 12 + 9] = 0x86;
    huge[8 + 2 + 10] = huge[8 + 2 + 12 + 10] = 0x01;  // 100000 x 100000
    huge[8 + 2 + 2] = huge[8 + 2 + 12 + 2] = 4;       // as LONG values
    huge[8 + 2 + entries * 12] = 0;
    WriteBytes(folder_.File("huge.tif"), huge);
    Bytes canvas = {'R', 'I', 'F', 'F', 22, 0, 0, 0, 'W', 'E',  'B',  'P',  'V',  'P',  '8',
                    'X', 10,  0,   0,   0,  0, 0, 0, 0,   0xff, 0xff, 0xff, 0xff, 0xff, 0xff};
    WriteBytes(folder_.File("huge.webp"), canvas);
    Bytes heif = ReadBytes(folder_.File("good.heic"));
    const std::string ispe = "ispe";
    for (auto at = heif.begin(); (at = std::search(at, heif.end(), ispe.begin(), ispe.end())) != heif.end(); ++at)
        std::fill(at + 8, at + 16, 0x7f);  // both sides: two billion
    WriteBytes(folder_.File("huge.heic"), heif);
    for (const char* name : {"huge.tif", "huge.webp", "huge.heic"}) {
        SCOPED_TRACE(name);
        Decoded got = Decode(folder_.File(name));
        EXPECT_FALSE(got.Ok);
        EXPECT_NE(std::string::npos, got.Reason.find("too large")) << got.Reason;
    }

    // Profiles of garbage, or too large to be a photo's, and EXIF that points outside itself:
    // the picture loads as if they were not there.
    const std::string icc = "ICC_PROFILE";
    Bytes garbage(icc.begin(), icc.end());
    garbage.insert(garbage.end(), {0, 1, 1});
    for (int i = 0; i < 600; ++i) garbage.push_back((unsigned char)(i * 37));
    Bytes enormous = jpeg;
    Bytes chunk(icc.begin(), icc.end());
    chunk.insert(chunk.end(), {0, 0, 255});
    chunk.resize(65533 - 2, 0x5a);
    for (int i = 255; i >= 1; --i) {
        chunk[icc.size() + 1] = (unsigned char)i;
        enormous = WithSegment(enormous, 0xe2, chunk);
    }
    const Bytes outside = {'E', 'x', 'i', 'f', 0, 0, 'M', 'M', 0, 42, 0x7f, 0xff, 0xff, 0xf0};
    const Bytes pastItsEnd = {'E', 'x', 'i', 'f', 0, 0, 'I', 'I', 42, 0, 8, 0, 0, 0, 9, 0, 0x12, 0x01, 3, 0, 1, 0};
    struct Loads {
        const char* Name;
        Bytes Content;
    } loads[] = {
        {"bad-codes.jpg", JpegWithBadCodes()},
        {"garbage-icc.jpg", WithSegment(jpeg, 0xe2, garbage)},
        {"enormous-icc.jpg", enormous},
        {"exif-outside.jpg", WithSegment(jpeg, 0xe1, outside)},
        {"exif-past-its-end.jpg", WithSegment(jpeg, 0xe1, pastItsEnd)},
    };
    for (const Loads& file : loads) {
        SCOPED_TRACE(file.Name);
        WriteBytes(folder_.File(file.Name), file.Content);
        Decoded got = Decode(folder_.File(file.Name));
        if (file.Name[0] == 'b') {  // refused, or loaded at its size
            EXPECT_TRUE(got.Ok ? got.Width == 64 : got.Reason.find("damaged") != std::string::npos) << got.Reason;
            continue;
        }
        ASSERT_TRUE(got.Ok) << got.Reason;
        EXPECT_EQ(plain.Pixels, got.Pixels);
        // The answer says so, for the log, whatever the program's stderr is (the helper may
        // write no file).
        EXPECT_EQ(
            file.Name[1] == 'x' ? "" : "The picture's colour profile could not be read; its colours are taken as sRGB",
            got.Note);
    }
}
