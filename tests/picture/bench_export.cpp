// bench_export: what writing a 24-megapixel picture costs, and what the export job adds.
// A painted-looking 6000 x 4000 RGBA picture (a photograph-like field with a camera's fine
// noise, smeared to the brightest of seven samples as the brush pass does, multiplied towards
// the embedded paper stretched over it), then the median of a few runs of:
//   - each encoder alone into memory: the PNG settings compared (the chosen one first) and the
//     JPEG at full and at half chroma resolution, with their sizes;
//   - the whole job for the chosen settings: the worker thread, encoding and the safe write
//     (flushed to the disk and renamed), polled as the main loop polls, with the pixels moved
//     in and with them copied in by the call;
//   - the same encoding written to a plain file without the flush, for the flush's share.
// Files go to a folder beside the benchmark (on the disk, not in memory).
//   bench_export [runs]
#include <stb_image.h>

#include <algorithm>
#include <cmath>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include <png.h>
#include <unistd.h>

#include "picture/export_job.h"
#include "picture/png_jpeg_encoder.h"

namespace {

const int kWidth = 6000, kHeight = 4000;

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

template <typename F>
double MedianMs(int runs, F run) {
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        auto start = std::chrono::steady_clock::now();
        run();
        times.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    }
    return Median(times);
}

std::vector<unsigned char> PaintedPicture() {
    int pw = 0, ph = 0, pc = 0;
    unsigned char* paper = stbi_load(PAPER_FILE, &pw, &ph, &pc, 1);
    std::vector<unsigned char> field((size_t)kWidth * kHeight * 3);
    unsigned state = 99;
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            state = state * 1664525u + 1013904223u;
            int detail = (int)(state >> 29) - 4;  // a camera's fine noise
            double u = x / 900.0, v = y / 700.0;
            unsigned char* p = &field[((size_t)y * kWidth + x) * 3];
            p[0] = (unsigned char)std::clamp((int)(128 + 90 * std::sin(u * 2.1 + std::sin(v * 3.0))) + detail, 0, 255);
            p[1] = (unsigned char)std::clamp((int)(120 + 80 * std::cos(v * 2.7 + u)) + detail, 0, 255);
            p[2] = (unsigned char)std::clamp((int)(110 + 70 * std::sin((u - v) * 3.3)) + detail, 0, 255);
        }
    }
    // As the brush pass paints a picture shown at 800 pixels across: its seven samples lie a
    // few screen pixels apart (7.5 picture pixels here), and the paper is stretched over the
    // whole picture, mixed in by a third.
    const double unit = kWidth / 800.0;
    const int offsets[7][2] = {{0, 0}, {0, 4}, {-3, 2}, {3, 2}, {0, -4}, {-3, -4}, {3, 4}};
    std::vector<unsigned char> rgba((size_t)kWidth * kHeight * 4);
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            const unsigned char* best = nullptr;
            int bestLuma = -1;
            for (const auto& offset : offsets) {
                int sx = std::clamp(x + (int)(offset[0] * unit), 0, kWidth - 1);
                int sy = std::clamp(y + (int)(offset[1] * unit), 0, kHeight - 1);
                const unsigned char* s = &field[((size_t)sy * kWidth + sx) * 3];
                int luma = s[0] * 3 + s[1] * 6 + s[2];
                if (luma > bestLuma) {
                    bestLuma = luma;
                    best = s;
                }
            }
            double grain = 1.0;
            if (paper) {
                double px = (x + 0.5) * pw / kWidth - 0.5, py = (y + 0.5) * ph / kHeight - 0.5;
                int x0 = std::clamp((int)px, 0, pw - 2), y0 = std::clamp((int)py, 0, ph - 2);
                double fx = std::clamp(px - x0, 0.0, 1.0), fy = std::clamp(py - y0, 0.0, 1.0);
                const unsigned char* row0 = paper + (size_t)y0 * pw + x0;
                const unsigned char* row1 = row0 + pw;
                grain =
                    ((row0[0] * (1 - fx) + row0[1] * fx) * (1 - fy) + (row1[0] * (1 - fx) + row1[1] * fx) * fy) / 255.0;
            }
            unsigned char* out = &rgba[((size_t)y * kWidth + x) * 4];
            for (int c = 0; c < 3; ++c) out[c] = (unsigned char)(best[c] * (2.0 + grain) / 3.0 + 0.5);
            out[3] = 255;
        }
    }
    stbi_image_free(paper);
    return rgba;
}

bool ToMemory(void* context, const unsigned char* bytes, size_t size) {
    std::vector<unsigned char>* out = static_cast<std::vector<unsigned char>*>(context);
    out->insert(out->end(), bytes, bytes + size);
    return true;
}

bool ToPlainFile(void* context, const unsigned char* bytes, size_t size) {
    return fwrite(bytes, 1, size, static_cast<FILE*>(context)) == size;
}

double EncodeToMemory(int runs, PictureFormat format, const EncoderSettings& settings,
                      const std::vector<unsigned char>& pixels, size_t* size) {
    std::vector<unsigned char> out;
    out.reserve(40u << 20);
    return MedianMs(runs, [&] {
        out.clear();
        char reason[256];
        EncodePicture(format, PixelRows{pixels.data(), kWidth, kHeight, 4}, settings, ByteSink{ToMemory, &out},
                      EncodeProgress{nullptr, nullptr}, reason, sizeof reason);
        *size = out.size();
    });
}

double EncodeToPlainFile(int runs, PictureFormat format, const std::vector<unsigned char>& pixels,
                         const std::string& path) {
    return MedianMs(runs, [&] {
        FILE* file = fopen(path.c_str(), "wb");
        char reason[256];
        EncodePicture(format, PixelRows{pixels.data(), kWidth, kHeight, 4}, DefaultEncoderSettings(),
                      ByteSink{ToPlainFile, file}, EncodeProgress{nullptr, nullptr}, reason, sizeof reason);
        fclose(file);
    });
}

// The job as the program runs it, polled each "frame" (1 ms) until the outcome. The pixels
// are either moved in (a read-back buffer handed over: no copy) or copied in by the call.
double WholeJob(PictureFormat format, const std::vector<unsigned char>& pixels, const std::string& path, bool moved) {
    std::vector<unsigned char> handed;
    if (moved) handed = pixels;
    auto start = std::chrono::steady_clock::now();
    std::string reason;
    bool started = moved ? StartPictureExport(path, format, std::move(handed), kWidth, kHeight, 4, &reason)
                         : StartPictureExport(path, format, pixels, kWidth, kHeight, 4, &reason);
    if (!started) {
        fprintf(stderr, "export refused: %s\n", reason.c_str());
        exit(1);
    }
    for (;;) {
        ExportStatus status = PollPictureExport();
        if (status.State == EXPORT_FAILED) {
            fprintf(stderr, "export failed: %s\n", status.Reason.c_str());
            exit(1);
        }
        if (status.State != EXPORT_RUNNING) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
    int runs = argc > 1 ? std::max(1, atoi(argv[1])) : 3;
    char folder[] = "bench_export.XXXXXX";
    if (!mkdtemp(folder)) return 1;
    std::string png = std::string(folder) + "/painted.png", jpeg = std::string(folder) + "/painted.jpg";
    std::vector<unsigned char> pixels = PaintedPicture();
    printf("%d x %d RGBA painted picture, median of %d runs\n", kWidth, kHeight, runs);

    printf("\nPNG settings, encoder alone into memory:\n");
    struct Choice {
        const char* Name;
        int Level, Filters;
    } choices[] = {
        {"level 1, SUB (chosen)", 1, PNG_FILTER_SUB},
        {"level 2, SUB+UP", 2, PNG_FILTER_SUB | PNG_FILTER_UP},
        {"level 3, SUB", 3, PNG_FILTER_SUB},
        {"level 6, all filters (libpng's default)", 6, PNG_ALL_FILTERS},
    };
    double chosenPng = 0;
    for (const Choice& choice : choices) {
        EncoderSettings settings = DefaultEncoderSettings();
        settings.PngZlibLevel = choice.Level;
        settings.PngFilters = choice.Filters;
        size_t size = 0;
        double ms = EncodeToMemory(runs, PICTURE_PNG, settings, pixels, &size);
        if (chosenPng == 0) chosenPng = ms;
        printf("  %-42s %8.0f ms  %6.1f MB  (time x%.2f of the chosen)\n", choice.Name, ms, size / 1e6, ms / chosenPng);
    }

    printf("\nJPEG quality 92, encoder alone into memory:\n");
    EncoderSettings half = DefaultEncoderSettings();
    half.JpegFullChroma = false;
    size_t fullSize = 0, halfSize = 0;
    double fullMs = EncodeToMemory(runs, PICTURE_JPEG, DefaultEncoderSettings(), pixels, &fullSize);
    double halfMs = EncodeToMemory(runs, PICTURE_JPEG, half, pixels, &halfSize);
    printf("  %-42s %8.0f ms  %6.1f MB\n", "4:4:4 (chosen)", fullMs, fullSize / 1e6);
    printf("  %-42s %8.0f ms  %6.1f MB\n", "4:2:0", halfMs, halfSize / 1e6);

    printf("\nThe export job beside the encoder alone (chosen settings):\n");
    double copyMs = MedianMs(runs, [&] {
        std::vector<unsigned char> copy = pixels;
        if (copy[12345] == 7) printf(" ");  // keep the copy
    });
    printf("  %-42s %8.0f ms\n", "copying the 96 MB of pixels", copyMs);
    for (PictureFormat format : {PICTURE_PNG, PICTURE_JPEG}) {
        const std::string& path = format == PICTURE_PNG ? png : jpeg;
        const char* name = format == PICTURE_PNG ? "PNG" : "JPEG";
        // Interleaved, so that a change in the machine's load touches all alike.
        std::vector<double> alones, plains, moves, copies;
        for (int run = 0; run < runs; ++run) {
            size_t size = 0;
            alones.push_back(EncodeToMemory(1, format, DefaultEncoderSettings(), pixels, &size));
            plains.push_back(EncodeToPlainFile(1, format, pixels, path));
            moves.push_back(WholeJob(format, pixels, path, true));
            copies.push_back(WholeJob(format, pixels, path, false));
        }
        double alone = Median(alones), plain = Median(plains), moved = Median(moves), copied = Median(copies);
        printf("  %s: encoder alone into memory %.0f ms; into a plain file (no flush) %.0f ms\n", name, alone, plain);
        printf("  %s: whole job, pixels moved in  %.0f ms: adds %.0f ms, x%.3f of the encoder alone\n", name, moved,
               moved - alone, moved / alone);
        printf("  %s: whole job, pixels copied in %.0f ms: adds %.0f ms, x%.3f of the encoder alone\n", name, copied,
               copied - alone, copied / alone);
    }
    unlink(png.c_str());
    unlink(jpeg.c_str());
    rmdir(folder);
    return 0;
}
