// The PNG and JPEG encoders, checked by decoding their output with stb_image, a decoder that
// shares no code with libpng or libjpeg.
#include <gtest/gtest.h>

#include <png.h>

#include <cstring>
#include <thread>
#include <vector>

#include "picture/png_jpeg_encoder.h"
#include "tests/picture/test_pictures.h"

namespace {

struct Collected {
    std::vector<unsigned char> Bytes;
    size_t FailAfter = (size_t)-1;  // refuse a write that would pass this many bytes
    int WritesAfterRefusal = 0;
    bool Refused = false;
};

bool Collect(void* context, const unsigned char* bytes, size_t size) {
    Collected* out = static_cast<Collected*>(context);
    if (out->Refused) ++out->WritesAfterRefusal;
    if (out->Bytes.size() + size > out->FailAfter) {
        out->Refused = true;
        return false;
    }
    out->Bytes.insert(out->Bytes.end(), bytes, bytes + size);
    return true;
}

void RecordRows(void* context, int rowsDone, int) { static_cast<std::vector<int>*>(context)->push_back(rowsDone); }

bool Encode(PictureFormat format, const std::vector<unsigned char>& pixels, int width, int height, int channels,
            Collected* out, std::string* reason = nullptr, EncoderSettings settings = DefaultEncoderSettings(),
            std::vector<int>* rows = nullptr) {
    char text[256] = "";
    bool ok = EncodePicture(format, PixelRows{pixels.data(), width, height, channels}, settings, ByteSink{Collect, out},
                            EncodeProgress{rows ? RecordRows : nullptr, rows}, text, sizeof text);
    if (reason) *reason = text;
    return ok;
}

// The sampling factors (H, V) of each component in a JPEG's frame header.
std::vector<std::pair<int, int>> JpegSampling(const std::vector<unsigned char>& jpeg) {
    std::vector<std::pair<int, int>> factors;
    for (size_t i = 2; i + 9 < jpeg.size();) {
        if (jpeg[i] != 0xFF) break;
        int marker = jpeg[i + 1];
        size_t length = (size_t)(jpeg[i + 2] << 8 | jpeg[i + 3]);
        if (marker == 0xC0 || marker == 0xC2) {
            int components = jpeg[i + 9];
            for (int c = 0; c < components; ++c) {
                int hv = jpeg[i + 11 + 3 * c];
                factors.push_back({hv >> 4, hv & 15});
            }
            break;
        }
        i += 2 + length;
    }
    return factors;
}

const int kSizes[][2] = {{1, 1}, {3, 2}, {37, 23}, {640, 17}, {17, 300}};

}  // namespace

TEST(PngEncoder, DecodesToTheSamePixelsExactly) {
    for (const auto& size : kSizes) {
        for (int channels : {3, 4}) {
            SCOPED_TRACE(testing::Message() << size[0] << " x " << size[1] << ", " << channels << " channels");
            std::vector<unsigned char> pixels = MakeTestPicture(size[0], size[1], channels, 7);
            Collected out;
            ASSERT_TRUE(Encode(PICTURE_PNG, pixels, size[0], size[1], channels, &out));
            std::vector<unsigned char> rgb;
            int width = 0, height = 0;
            ASSERT_TRUE(DecodeWithStb(out.Bytes, &rgb, &width, &height));
            EXPECT_EQ(width, size[0]);
            EXPECT_EQ(height, size[1]);
            EXPECT_TRUE(rgb == RgbOf(pixels, channels));
            // 8-bit RGB (colour type 2): opaque, no alpha channel; marked sRGB.
            ASSERT_GT(out.Bytes.size(), 26u);
            EXPECT_EQ(out.Bytes[24], 8);
            EXPECT_EQ(out.Bytes[25], 2);
            std::string text(out.Bytes.begin(), out.Bytes.end());
            EXPECT_NE(text.find("sRGB"), std::string::npos);
        }
    }
}

TEST(PngEncoder, EverySettingIsLossless) {
    std::vector<unsigned char> pixels = MakeTestPicture(301, 77, 4, 3);
    EncoderSettings settings = DefaultEncoderSettings();
    const int choices[][2] = {{0, PNG_FILTER_NONE}, {1, PNG_FILTER_SUB}, {6, 0}, {9, PNG_ALL_FILTERS}};
    for (const auto& choice : choices) {
        settings.PngZlibLevel = choice[0];
        settings.PngFilters = choice[1];
        Collected out;
        ASSERT_TRUE(Encode(PICTURE_PNG, pixels, 301, 77, 4, &out, nullptr, settings));
        std::vector<unsigned char> rgb;
        int width, height;
        ASSERT_TRUE(DecodeWithStb(out.Bytes, &rgb, &width, &height));
        EXPECT_TRUE(rgb == RgbOf(pixels, 4)) << "level " << choice[0];
    }
}

TEST(JpegEncoder, DecodesWithinTheCodecsErrorAtFullChroma) {
    for (const auto& size : kSizes) {
        SCOPED_TRACE(testing::Message() << size[0] << " x " << size[1]);
        std::vector<unsigned char> rgba = MakeTestPicture(size[0], size[1], 4, 11);
        std::vector<unsigned char> rgb = RgbOf(rgba, 4);
        Collected fromRgba, fromRgb;
        ASSERT_TRUE(Encode(PICTURE_JPEG, rgba, size[0], size[1], 4, &fromRgba));
        ASSERT_TRUE(Encode(PICTURE_JPEG, rgb, size[0], size[1], 3, &fromRgb));
        // The fourth byte is skipped, not mixed in.
        EXPECT_TRUE(fromRgba.Bytes == fromRgb.Bytes);
        std::vector<unsigned char> decoded;
        int width, height;
        ASSERT_TRUE(DecodeWithStb(fromRgba.Bytes, &decoded, &width, &height));
        ASSERT_EQ(width, size[0]);
        ASSERT_EQ(height, size[1]);
        // Quality 92: small errors, largest at the strokes' hard edges.
        EXPECT_GT(Psnr(rgb, decoded), 33.0);
        EXPECT_LE(MaxDifference(rgb, decoded), 60);
        EXPECT_EQ(JpegSampling(fromRgba.Bytes), (std::vector<std::pair<int, int>>{{1, 1}, {1, 1}, {1, 1}}));
    }
}

TEST(JpegEncoder, FullChromaKeepsColouredEdgesBetterThanHalf) {
    std::vector<unsigned char> pixels = MakeTestPicture(400, 300, 3, 5);
    EncoderSettings half = DefaultEncoderSettings();
    half.JpegFullChroma = false;
    Collected full, halved;
    ASSERT_TRUE(Encode(PICTURE_JPEG, pixels, 400, 300, 3, &full));
    ASSERT_TRUE(Encode(PICTURE_JPEG, pixels, 400, 300, 3, &halved, nullptr, half));
    EXPECT_EQ(JpegSampling(halved.Bytes), (std::vector<std::pair<int, int>>{{2, 2}, {1, 1}, {1, 1}}));
    std::vector<unsigned char> a, b;
    int w, h;
    ASSERT_TRUE(DecodeWithStb(full.Bytes, &a, &w, &h));
    ASSERT_TRUE(DecodeWithStb(halved.Bytes, &b, &w, &h));
    EXPECT_GT(Psnr(pixels, a), Psnr(pixels, b) + 1.0);
}

TEST(Encoders, ReportRowsInOrderUpToTheLast) {
    for (PictureFormat format : {PICTURE_PNG, PICTURE_JPEG}) {
        std::vector<unsigned char> pixels = MakeTestPicture(50, 101, 3, 1);
        Collected out;
        std::vector<int> rows;
        ASSERT_TRUE(Encode(format, pixels, 50, 101, 3, &out, nullptr, DefaultEncoderSettings(), &rows));
        ASSERT_FALSE(rows.empty());
        for (size_t i = 1; i < rows.size(); ++i) EXPECT_GT(rows[i], rows[i - 1]);
        EXPECT_GT(rows.front(), 0);
        EXPECT_EQ(rows.back(), 101);
        EXPECT_GE(rows.size(), 5u);  // often enough for a progress bar
    }
}

TEST(Encoders, AStoppedSinkEndsTheEncodingCleanly) {
    std::vector<unsigned char> pixels = MakeTestPicture(300, 200, 4, 2);
    for (PictureFormat format : {PICTURE_PNG, PICTURE_JPEG}) {
        for (size_t failAfter : {(size_t)0, (size_t)100, (size_t)20000}) {
            SCOPED_TRACE(testing::Message() << (format == PICTURE_PNG ? "PNG" : "JPEG") << " after " << failAfter);
            Collected out;
            out.FailAfter = failAfter;
            std::string reason;
            EXPECT_FALSE(Encode(format, pixels, 300, 200, 4, &out, &reason));
            EXPECT_EQ(reason, "the output could not be written");
            EXPECT_EQ(out.WritesAfterRefusal, 0);
        }
    }
}

TEST(Encoders, RefuseWhatTheFormatCannotHold) {
    std::vector<unsigned char> pixels(64, 0);
    Collected out;
    std::string reason;
    EXPECT_FALSE(Encode(PICTURE_PNG, pixels, 0, 4, 3, &out, &reason));
    EXPECT_EQ(reason, "PNG cannot hold a picture of 0 x 4 (at most 1000000 on a side)");
    // Refused from the size alone, before any pixel is read.
    EXPECT_FALSE(Encode(PICTURE_JPEG, pixels, 65501, 1, 3, &out, &reason));
    EXPECT_EQ(reason, "JPEG cannot hold a picture of 65501 x 1 (at most 65500 on a side)");
    EXPECT_FALSE(Encode(PICTURE_JPEG, pixels, 2, 2, 2, &out, &reason));
    EXPECT_EQ(reason, "no pixels to encode");
    EXPECT_TRUE(out.Bytes.empty());
}

TEST(Encoders, TwoThreadsEncodeAtOnce) {
    std::vector<unsigned char> a = MakeTestPicture(500, 400, 3, 21), b = MakeTestPicture(400, 500, 4, 22);
    Collected outA, outB;
    bool okA = false, okB = false;
    std::thread first([&] { okA = Encode(PICTURE_PNG, a, 500, 400, 3, &outA); });
    std::thread second([&] { okB = Encode(PICTURE_JPEG, b, 400, 500, 4, &outB); });
    first.join();
    second.join();
    ASSERT_TRUE(okA && okB);
    std::vector<unsigned char> rgb;
    int w, h;
    ASSERT_TRUE(DecodeWithStb(outA.Bytes, &rgb, &w, &h));
    EXPECT_TRUE(rgb == a);
    ASSERT_TRUE(DecodeWithStb(outB.Bytes, &rgb, &w, &h));
    EXPECT_GT(Psnr(RgbOf(b, 4), rgb), 33.0);
}
