// The photo formats through the real Windows decoder helper, under Wine, against ImageMagick's
// reading of the same files (upright and in sRGB), made on the host by photo_samples.sh, whose
// folder is the one argument: a JPEG stored turned and tagged to turn back, a HEIC, and a
// 16-bit ProPhoto TIFF.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include <stb_image.h>

#include "tests/picture/decoder_test_support.h"

namespace {

std::string SampleFolder;  // Z:/... under Wine

Decoded Oracle(const std::string& name) {
    Decoded oracle;
    int channels = 0;
    const std::string path = SampleFolder + "/" + name;
    unsigned char* pixels = stbi_load(path.c_str(), &oracle.Width, &oracle.Height, &channels, 4);
    if (!pixels) {
        ADD_FAILURE() << "cannot read " << path;
        return oracle;
    }
    oracle.Ok = true;
    oracle.Pixels.assign(pixels, pixels + size_t(oracle.Width) * oracle.Height * 4);
    stbi_image_free(pixels);
    return oracle;
}

}  // namespace

// Each comes back upright (the source's 97 x 61, though the JPEG is stored 61 x 97) and in sRGB,
// within a few levels of ImageMagick's reading; the TIFF's colours would be far off had its
// profile been ignored.
TEST(PhotoDecodersWin, PhotosComeBackUprightAndSrgbAsImageMagickReadsThem) {
    for (const char* name : {"turned.jpg", "photo.heic", "prophoto.tif"}) {
        SCOPED_TRACE(name);
        const Decoded got = Decode(SampleFolder + "/" + name);
        ASSERT_TRUE(got.Ok) << got.Reason;
        EXPECT_EQ(97, got.Width);
        EXPECT_EQ(61, got.Height);
        const Difference d = Compare(got, Oracle(std::string(name) + ".oracle.png"));
        EXPECT_LE(d.Mean, 0.6);
        EXPECT_LE(d.Max, 6);
    }
    EXPECT_GT(Compare(Decode(SampleFolder + "/prophoto.tif"), Oracle("prophoto.tif.unconverted.png")).Mean, 1.0);
    // Read by two threads, each its part of the rows.
    const Decoded large = Decode(SampleFolder + "/large.jpg");
    ASSERT_TRUE(large.Ok) << large.Reason;
    const Difference d = Compare(large, Oracle("large.jpg.oracle.png"));
    EXPECT_LE(d.Mean, 0.6);
    EXPECT_LE(d.Max, 6);
}

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    if (argc != 2) {
        fprintf(stderr, "usage: photo_decoders_win_tests SAMPLE_FOLDER\n");
        return 2;
    }
    SampleFolder = argv[1];
    return RUN_ALL_TESTS();
}
