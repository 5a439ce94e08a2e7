// The picture decoders' libraries as the Windows build links them (static, from Debian's
// sources), under Wine: libtiff, libwebp with its demuxer, libheif with its HEVC and AV1
// decoders, and Little CMS 2. Each decodes a file that Debian's own encoders made on the host
// (decoder_libs_samples.sh, whose folder is the one argument) back to the source those files
// were made from: exactly where the file is lossless, closely where it is not. Little CMS
// turns Adobe RGB into sRGB as the two colour spaces' published definitions say. nlohmann's
// JSON headers, found the same way, compile for Windows.
#include <gtest/gtest.h>

#include <libheif/heif.h>
#include <lcms2.h>
#include <nlohmann/json.hpp>
#include <tiffio.h>
#include <webp/decode.h>
#include <webp/demux.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

constexpr int Width = 64;
constexpr int Height = 48;

std::string SampleFolder;  // Z:/... under Wine

std::vector<uint8_t> ReadSample(const char* name) {
    std::vector<uint8_t> bytes;
    std::string path = SampleFolder + "/" + name;
    FILE* file = fopen(path.c_str(), "rb");
    if (!file) {
        ADD_FAILURE() << "cannot open " << path;
        return bytes;
    }
    uint8_t chunk[65536];
    size_t got;
    while ((got = fread(chunk, 1, sizeof chunk, file)) > 0) bytes.insert(bytes.end(), chunk, chunk + got);
    fclose(file);
    return bytes;
}

// The source at 8 bits, RGBA; Opaque() is it with every alpha at 255.
const std::vector<uint8_t>& Source8() {
    static std::vector<uint8_t> pixels = ReadSample("quadrants8.rgba");
    return pixels;
}

std::vector<uint8_t> Opaque() {
    std::vector<uint8_t> pixels = Source8();
    for (size_t i = 3; i < pixels.size(); i += 4) pixels[i] = 255;
    return pixels;
}

// The largest difference of any one sample, and the mean difference, between two RGBA
// pictures of the sample's size.
struct Difference {
    int Largest = 0;
    double Mean = 0;
};

Difference Compare(const uint8_t* got, const std::vector<uint8_t>& want) {
    Difference difference;
    if (want.size() != size_t(Width) * Height * 4) return {256, 256};
    for (size_t i = 0; i < want.size(); ++i) {
        int d = std::abs(int(got[i]) - int(want[i]));
        difference.Largest = std::max(difference.Largest, d);
        difference.Mean += d;
    }
    difference.Mean /= double(want.size());
    return difference;
}

// Lossy files keep flat areas within a few levels; edges between quadrants move further.
void ExpectClose(const uint8_t* got, const std::vector<uint8_t>& want, const char* name) {
    Difference difference = Compare(got, want);
    EXPECT_LT(difference.Mean, 3.0) << name;
    EXPECT_LT(difference.Largest, 128) << name;
}

// ---- TIFF ----

struct TiffCase {
    const char* Name;
    uint16_t Compression;
    uint16_t Bits;
    bool Lossless;
};

TEST(DecoderLibsTest, TiffReadsEachCompressionBackToTheSource) {
    const TiffCase cases[] = {{"lzw16.tif", COMPRESSION_LZW, 16, true},
                              {"zip16.tif", COMPRESSION_ADOBE_DEFLATE, 16, true},
                              {"packbits8.tif", COMPRESSION_PACKBITS, 8, true},
                              {"jpeg8.tif", COMPRESSION_JPEG, 8, false}};
    std::vector<uint8_t> source16 = ReadSample("quadrants16.rgb");
    ASSERT_EQ(source16.size(), size_t(Width) * Height * 6);
    for (const TiffCase& c : cases) {
        std::string path = SampleFolder + "/" + c.Name;
        TIFF* tiff = TIFFOpen(path.c_str(), "r");
        ASSERT_NE(tiff, nullptr) << c.Name;
        uint32_t width = 0, height = 0;
        uint16_t compression = 0, bits = 0;
        TIFFGetField(tiff, TIFFTAG_IMAGEWIDTH, &width);
        TIFFGetField(tiff, TIFFTAG_IMAGELENGTH, &height);
        TIFFGetField(tiff, TIFFTAG_COMPRESSION, &compression);
        TIFFGetField(tiff, TIFFTAG_BITSPERSAMPLE, &bits);
        EXPECT_EQ(int(width), Width) << c.Name;
        EXPECT_EQ(int(height), Height) << c.Name;
        EXPECT_EQ(compression, c.Compression) << c.Name;
        EXPECT_TRUE(TIFFIsCODECConfigured(compression)) << c.Name;
        ASSERT_EQ(bits, c.Bits) << c.Name;
        if (bits == 16) {
            // Every 16-bit sample as written, in the machine's byte order.
            std::vector<uint16_t> row(TIFFScanlineSize(tiff) / 2);
            int wrong = 0;
            for (int y = 0; y < Height; ++y) {
                ASSERT_EQ(TIFFReadScanline(tiff, row.data(), y, 0), 1) << c.Name << " row " << y;
                for (int i = 0; i < Width * 3; ++i) {
                    size_t at = (size_t(y) * Width * 3 + i) * 2;
                    wrong += row[i] != ((source16[at] << 8) | source16[at + 1]);
                }
            }
            EXPECT_EQ(wrong, 0) << c.Name;
        } else {
            std::vector<uint32_t> raster(size_t(Width) * Height);
            ASSERT_EQ(TIFFReadRGBAImageOriented(tiff, Width, Height, raster.data(), ORIENTATION_TOPLEFT, 0), 1)
                << c.Name;
            std::vector<uint8_t> rgba;
            for (uint32_t pixel : raster)
                rgba.insert(rgba.end(), {uint8_t(TIFFGetR(pixel)), uint8_t(TIFFGetG(pixel)), uint8_t(TIFFGetB(pixel)),
                                         uint8_t(TIFFGetA(pixel))});
            if (c.Lossless) EXPECT_EQ(Compare(rgba.data(), Opaque()).Largest, 0) << c.Name;
            else ExpectClose(rgba.data(), Opaque(), c.Name);
        }
        TIFFClose(tiff);
    }
}

// ---- WebP ----

TEST(DecoderLibsTest, WebPDecodesLosslessLossyAndAnAnimationsFirstFrame) {
    const struct {
        const char* Name;
        bool Lossless;
    } stills[] = {{"lossless.webp", true}, {"lossy.webp", false}};
    for (const auto& still : stills) {
        const char* name = still.Name;
        std::vector<uint8_t> file = ReadSample(name);
        int width = 0, height = 0;
        uint8_t* pixels = WebPDecodeRGBA(file.data(), file.size(), &width, &height);
        ASSERT_NE(pixels, nullptr) << name;
        EXPECT_EQ(width, Width) << name;
        EXPECT_EQ(height, Height) << name;
        if (still.Lossless) EXPECT_EQ(Compare(pixels, Source8()).Largest, 0) << name;
        else ExpectClose(pixels, Source8(), name);
        WebPFree(pixels);
    }

    std::vector<uint8_t> file = ReadSample("animated.webp");
    WebPData data = {file.data(), file.size()};
    WebPAnimDecoderOptions options;
    ASSERT_TRUE(WebPAnimDecoderOptionsInit(&options));
    options.color_mode = MODE_RGBA;
    WebPAnimDecoder* decoder = WebPAnimDecoderNew(&data, &options);
    ASSERT_NE(decoder, nullptr);
    WebPAnimInfo info;
    ASSERT_TRUE(WebPAnimDecoderGetInfo(decoder, &info));
    EXPECT_EQ(info.frame_count, 2u);
    uint8_t* frame = nullptr;
    int timestamp = 0;
    ASSERT_TRUE(WebPAnimDecoderGetNext(decoder, &frame, &timestamp));
    EXPECT_EQ(Compare(frame, Source8()).Largest, 0);
    WebPAnimDecoderDelete(decoder);
}

// ---- HEIF: HEIC through libde265, AVIF through dav1d ----

class HeifTest : public testing::Test {
protected:
    static void SetUpTestSuite() { heif_init(nullptr); }
    static void TearDownTestSuite() { heif_deinit(); }

    static void ExpectPrimaryImageDecodes(const char* name) {
        std::vector<uint8_t> file = ReadSample(name);
        heif_context* context = heif_context_alloc();
        heif_error error = heif_context_read_from_memory_without_copy(context, file.data(), file.size(), nullptr);
        ASSERT_EQ(error.code, heif_error_Ok) << name << ": " << error.message;
        heif_image_handle* handle = nullptr;
        error = heif_context_get_primary_image_handle(context, &handle);
        ASSERT_EQ(error.code, heif_error_Ok) << name << ": " << error.message;
        EXPECT_EQ(heif_image_handle_get_width(handle), Width) << name;
        EXPECT_EQ(heif_image_handle_get_height(handle), Height) << name;
        heif_image* image = nullptr;
        error = heif_decode_image(handle, &image, heif_colorspace_RGB, heif_chroma_interleaved_RGBA, nullptr);
        ASSERT_EQ(error.code, heif_error_Ok) << name << ": " << error.message;
        int stride = 0;
        const uint8_t* plane = heif_image_get_plane_readonly(image, heif_channel_interleaved, &stride);
        ASSERT_NE(plane, nullptr) << name;
        std::vector<uint8_t> rgba;
        for (int y = 0; y < Height; ++y)
            rgba.insert(rgba.end(), plane + size_t(y) * stride, plane + size_t(y) * stride + Width * 4);
        ExpectClose(rgba.data(), Opaque(), name);
        heif_image_release(image);
        heif_image_handle_release(handle);
        heif_context_free(context);
    }
};

TEST_F(HeifTest, DecodesHeicAndAvifWithTheLinkedInDecoders) {
    EXPECT_TRUE(heif_have_decoder_for_format(heif_compression_HEVC));
    EXPECT_TRUE(heif_have_decoder_for_format(heif_compression_AV1));
    ExpectPrimaryImageDecodes("quadrants.heic");
    ExpectPrimaryImageDecodes("quadrants.avif");
}

// ---- Little CMS 2 ----

// Adobe RGB (1998) to sRGB from the two spaces' definitions: Adobe RGB's gamma of 563/256
// and its primaries to CIE XYZ, then XYZ to linear sRGB and sRGB's transfer curve. Both
// spaces share the D65 white, so no adaptation is needed.
void AdobeToSrgb(const uint8_t adobe[3], double srgb[3]) {
    const double ToXyz[3][3] = {
        {0.5767309, 0.1855540, 0.1881852}, {0.2973769, 0.6273491, 0.0752741}, {0.0270343, 0.0706872, 0.9911085}};
    const double ToSrgb[3][3] = {
        {3.2404542, -1.5371385, -0.4985314}, {-0.9692660, 1.8760108, 0.0415560}, {0.0556434, -0.2040259, 1.0572252}};
    double linear[3], xyz[3] = {0, 0, 0};
    for (int i = 0; i < 3; ++i) linear[i] = std::pow(adobe[i] / 255.0, 563.0 / 256.0);
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) xyz[i] += ToXyz[i][j] * linear[j];
    for (int i = 0; i < 3; ++i) {
        double v = 0;
        for (int j = 0; j < 3; ++j) v += ToSrgb[i][j] * xyz[j];
        v = v <= 0.0031308 ? 12.92 * v : 1.055 * std::pow(v, 1 / 2.4) - 0.055;
        srgb[i] = 255 * v;
    }
}

TEST(DecoderLibsTest, LittleCmsTurnsAdobeRgbIntoSrgb) {
    std::vector<uint8_t> icc = ReadSample("AdobeRGB1998.icc");
    cmsHPROFILE adobe = cmsOpenProfileFromMem(icc.data(), cmsUInt32Number(icc.size()));
    ASSERT_NE(adobe, nullptr);
    cmsHPROFILE srgb = cmsCreate_sRGBProfile();
    cmsHTRANSFORM transform = cmsCreateTransform(adobe, TYPE_RGB_8, srgb, TYPE_RGB_8, INTENT_PERCEPTUAL, 0);
    ASSERT_NE(transform, nullptr);
    // Colours inside sRGB's gamut: a skin tone, a muted green, a sky blue, mid grey.
    const uint8_t colours[][3] = {{200, 140, 110}, {90, 140, 80}, {110, 160, 210}, {128, 128, 128}};
    for (const auto& colour : colours) {
        uint8_t out[3];
        cmsDoTransform(transform, colour, out, 1);
        double want[3];
        AdobeToSrgb(colour, want);
        for (int i = 0; i < 3; ++i)
            EXPECT_NEAR(out[i], want[i], 2.0)
                << int(colour[0]) << "," << int(colour[1]) << "," << int(colour[2]) << " channel " << i;
    }
    cmsDeleteTransform(transform);
    cmsCloseProfile(srgb);
    cmsCloseProfile(adobe);
}

// ---- JSON ----

TEST(DecoderLibsTest, JsonHeadersReadAndWrite) {
    nlohmann::json parsed = nlohmann::json::parse(R"({"size": [64, 48], "name": "quadrants"})");
    EXPECT_EQ(parsed["size"][1].get<int>(), Height);
    EXPECT_EQ(parsed.dump(), R"({"name":"quadrants","size":[64,48]})");
}

}  // namespace

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    if (argc != 2) {
        fprintf(stderr, "usage: decoder_libs_win_tests SAMPLE_FOLDER\n");
        return 2;
    }
    SampleFolder = argv[1];
    return RUN_ALL_TESTS();
}
