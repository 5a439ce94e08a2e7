// bench_import: what a picture import costs. Writes a 24-megapixel JPEG (6000 x 4000, quality
// 90, 4:2:0), then prints the median of a few runs of
//   - the whole import, waiting: LoadDiffuseTexture (decode in the helper + upload, glFinish),
//   - the whole import as the window does it: StartTextureImport, then FinishTextureImport
//     once a millisecond until the picture is in its slot (glFinish),
//   - the helper's part alone: DecodePictureFile,
//   - stb_image decoding the same file in this process (stbi_load + stbi_image_free), the
//     baseline the others are measured against in the same run.
// Then a 20000 x 15000 JPEG, larger than any texture: its import split into the helper's time
// (decode + scale, until its answer is taken) and the main thread's part after the answer (map
// and upload), beside stb_image decoding it in process and the scaling step alone.
// Last, a picture of the largest texture's size (16384 x 16384 on llvmpipe) imported as the
// window imports it, one look at it a frame: the longest frame, with its pixels uploaded in one
// piece (as before bands) beside a band a frame (TextureUploadBytesPerFrame).
// Needs a display with OpenGL 3 (run it under tests/support/with-xvfb.sh when there is none).
//   bench_import [runs] [24mp|frames]   (24mp: the 24-megapixel figures only; frames: the
//                                        longest frame only)
#include <SDL.h>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstdint>
#include <cstring>
#include <stb_image.h>
#include <stb_image_write.h>
#include <string>
#include <thread>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

#include "gl/gl_loader.h"
#include "picture/image_decoder.h"
#include "picture/picture_scaling.h"
#include "render/texture_import.h"
#include "render/texture_slots.h"
#include "tests/support/bench_timing.h"

static double NowMs() {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// An import as the window runs it: started, then looked at once a "frame" until it ends. Answers
// the whole time and, in *afterAnswer, the duration of the look that took the answer.
static double PolledImport(const char* path, double* afterAnswer) {
    double start = NowMs();
    ImportOutcome outcome;
    if (!StartTextureImport(TEXTURE_SLOT_DIFFUSE, path, &outcome)) return -1;
    for (;;) {
        double look = NowMs();
        if (FinishTextureImport(&outcome)) {
            glFinish();
            double end = NowMs();
            if (afterAnswer) *afterAnswer = end - look;
            return outcome.Done ? end - start : -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

// A photograph-like test picture: smooth colour fields with texture, so the JPEG is of a
// realistic size (a flat picture would decode unrealistically fast).
static bool WritePicture(const char* path, int width, int height) {
    std::vector<unsigned char> rgb(size_t(width) * height * 3);
    unsigned state = 12345;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            state = state * 1664525u + 1013904223u;
            int noise = int(state >> 27) - 16;
            unsigned char* p = &rgb[(size_t(y) * width + x) * 3];
            p[0] =
                (unsigned char)std::clamp(int(128 + 100 * std::sin(x * 0.003) * std::cos(y * 0.004)) + noise, 0, 255);
            p[1] = (unsigned char)std::clamp(int(128 + 90 * std::sin((x + y) * 0.002)) + noise, 0, 255);
            p[2] = (unsigned char)std::clamp(int(128 + 80 * std::cos(x * 0.0011 - y * 0.0023)) + noise, 0, 255);
        }
    }
    return stbi_write_jpg(path, width, height, 3, rgb.data(), 90) != 0;
}

// What a look once a frame saw of an import: the whole import, the longest look (with the GL's
// work finished, as a swap would wait for it), the look that made the texture (its storage and
// the first band: of the rows the helper hands over early, or of the answer), the longest and
// the median of those after it, and how many looks the pixels took from there to the slot.
struct FramedImport {
    double Whole = -1, Longest = 0, AnswerFrame = 0, LongestAfter = 0, MedianAfter = 0;
    int Frames = 0;
    double Cancel = -1;  // the look that gave up on it, when it was given up on
};

// Looks at the import once a frame until it ends, or, with cancelAfter, gives up on it in the
// frame after that many frames of its upload.
static FramedImport ImportFrameByFrame(const char* path, int cancelAfter = 0) {
    FramedImport figures;
    std::vector<double> after;
    double start = NowMs();
    ImportOutcome outcome;
    if (!StartTextureImport(TEXTURE_SLOT_DIFFUSE, path, &outcome)) return figures;
    bool answered = false;
    for (;;) {
        const double look = NowMs();
        const bool ended = FinishTextureImport(&outcome);
        glFinish();
        const double took = NowMs() - look;
        figures.Longest = std::max(figures.Longest, took);
        if (!answered && (ended || TextureBeingUploaded())) {
            answered = true;
            figures.AnswerFrame = took;
        } else if (answered) {
            after.push_back(took);
            figures.LongestAfter = std::max(figures.LongestAfter, took);
            figures.MedianAfter = Median(after);
        }
        if (answered) ++figures.Frames;
        if (ended) {
            if (outcome.Done) figures.Whole = NowMs() - start;
            return figures;
        }
        if (cancelAfter > 0 && figures.Frames == cancelAfter) {
            figures.Cancel = TimedMs([] {
                CancelTextureImport();
                glFinish();
            });
            return figures;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

// The largest texture's picture, imported frame by frame with its pixels in one piece and in
// bands, from a slot holding a small picture each time (so that no frame deletes a large one).
static int PrintLongestFrames(const char* folder, const char* small) {
    GLint largest = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &largest);
    const std::string path = std::string(folder) + "/picture-largest.jpg";
    if (!WritePicture(path.c_str(), largest, largest)) {
        fprintf(stderr, "bench_import: could not write %s\n", path.c_str());
        return 1;
    }
    const size_t bands = TextureUploadBytesPerFrame;
    FramedImport figures[2];
    for (int banded = 0; banded < 2; ++banded) {
        TextureUploadBytesPerFrame = banded ? bands : SIZE_MAX;
        PolledImport(small, nullptr);
        figures[banded] = ImportFrameByFrame(path.c_str());
    }
    TextureUploadBytesPerFrame = bands;
    PolledImport(small, nullptr);
    const FramedImport cancelled = ImportFrameByFrame(path.c_str(), figures[1].Frames / 2);
    unlink(path.c_str());

    printf("\n%d x %d JPEG import, one look a frame, one run each:\n", largest, largest);
    if (figures[0].Whole < 0 || figures[1].Whole < 0) {
        printf("  an import failed (see the error line above)\n");
        return 1;
    }
    printf("                                              in one piece   a band of %zu MiB a frame\n", bands >> 20);
    printf("  longest frame                               %8.1f ms    %8.1f ms\n", figures[0].Longest,
           figures[1].Longest);
    printf("  the texture's frame (storage, a band)       %8.1f ms    %8.1f ms\n", figures[0].AnswerFrame,
           figures[1].AnswerFrame);
    printf("  longest frame after it                      %8s       %8.1f ms\n", "-", figures[1].LongestAfter);
    printf("  median frame after it                       %8s       %8.1f ms\n", "-", figures[1].MedianAfter);
    printf("  frames from the texture to the picture      %8d       %8d\n", figures[0].Frames, figures[1].Frames);
    printf("  whole import                                %8.1f ms    %8.1f ms\n", figures[0].Whole, figures[1].Whole);
    printf("  a cancel half way: its frame                %8s       %8.1f ms\n", "-", cancelled.Cancel);
    return 0;
}

int main(int argc, char** argv) {
    int runs = argc > 1 ? std::max(1, atoi(argv[1])) : 5;
    char folder[] = "/tmp/bench_import.XXXXXX";
    if (!mkdtemp(folder)) return 1;
    std::string path = std::string(folder) + "/picture-24mp.jpg";
    std::string huge = std::string(folder) + "/picture-300mp.jpg";
    if (!WritePicture(path.c_str(), 6000, 4000)) {
        fprintf(stderr, "bench_import: could not write %s\n", path.c_str());
        return 1;
    }

    if (SDL_Init(SDL_INIT_VIDEO) != 0) {
        fprintf(stderr, "bench_import: no display (%s)\n", SDL_GetError());
        return 1;
    }
    SDL_Window* window = SDL_CreateWindow("bench_import", 0, 0, 64, 64, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
    SDL_GLContext context = window ? SDL_GL_CreateContext(window) : nullptr;
    if (!context || LoadGLEntryPoints() != GL_LOADER_OK) {
        fprintf(stderr, "bench_import: no OpenGL 3 context (%s)\n", SDL_GetError());
        return 1;
    }

    if (argc > 2 && strcmp(argv[2], "frames") == 0) {
        LoadDiffuseTexture(path.c_str());
        int failed = PrintLongestFrames(folder, path.c_str());
        unlink(path.c_str());
        rmdir(folder);
        return failed;
    }

    LoadDiffuseTexture(path.c_str());  // warm-up: page cache, driver
    if (DiffuseWidth != 6000 || DiffuseHeight != 4000) {
        fprintf(stderr, "bench_import: the import failed\n");
        return 1;
    }
    double waiting = MedianMs(runs, [&] {
        LoadDiffuseTexture(path.c_str());
        glFinish();
    });
    double waitingCpu = MedianCpuMs(runs, [&] {
        LoadDiffuseTexture(path.c_str());
        glFinish();
    });
    std::vector<double> polledRuns;
    for (int i = 0; i < runs; ++i) polledRuns.push_back(PolledImport(path.c_str(), nullptr));
    double polled = Median(polledRuns);
    double helper = MedianMs(runs, [&] {
        DecodedPicture picture;
        char reason[256];
        if (DecodePictureFile(path.c_str(), 0, &picture, reason, sizeof reason)) ReleaseDecodedPicture(&picture);
    });
    double inProcess = MedianMs(runs, [&] {
        int w = 0, h = 0;
        stbi_image_free(stbi_load(path.c_str(), &w, &h, nullptr, 4));
    });

    printf("24-megapixel JPEG import (6000 x 4000, q90 4:2:0), median of %d, %s:\n", runs,
           reinterpret_cast<const char*>(glGetString(GL_RENDERER)));
    printf("  import, waiting (helper decode + upload)   %8.1f ms  %5.2f x baseline\n", waiting, waiting / inProcess);
    printf("  import, waiting: CPU time, helper's too   %8.1f ms\n", waitingCpu);
    printf("  import, looked at once a millisecond        %8.1f ms  %5.2f x baseline\n", polled, polled / inProcess);
    printf("  helper decode alone                         %8.1f ms  %5.2f x baseline\n", helper, helper / inProcess);
    printf("  baseline: stb_image in process              %8.1f ms\n", inProcess);
    fflush(stdout);

    if (argc > 2 && strcmp(argv[2], "24mp") == 0) {
        unlink(path.c_str());
        rmdir(folder);
        return 0;
    }

    // The 300-megapixel picture: one run of each, it takes seconds.
    double written = NowMs();
    if (!WritePicture(huge.c_str(), 20000, 15000)) {
        fprintf(stderr, "bench_import: could not write %s\n", huge.c_str());
        return 1;
    }
    written = NowMs() - written;
    GLint largest = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &largest);
    PolledImport(path.c_str(), nullptr);  // a small picture in the slot, so the upload below is a fresh one
    double afterAnswer = 0;
    double whole = PolledImport(huge.c_str(), &afterAnswer);
    int scaledWidth = DiffuseWidth, scaledHeight = DiffuseHeight;
    double hugeInProcess = MedianMs(1, [&] {
        int w = 0, h = 0;
        stbi_image_free(stbi_load(huge.c_str(), &w, &h, nullptr, 4));
    });
    std::vector<unsigned char> pixels(size_t(20000) * 15000 * 4, 128);
    int fitWidth = 0, fitHeight = 0;
    FitInside(20000, 15000, largest, &fitWidth, &fitHeight);
    double scale = MedianMs(1, [&] { ShrinkPicture(pixels.data(), 20000, 15000, fitWidth, fitHeight); });

    printf("\n20000 x 15000 JPEG import (written in %.1f s), largest texture %d, one run:\n", written / 1000, largest);
    if (whole < 0) {
        printf("  the import failed (see the error line above)\n");
    } else {
        printf("  scaled to %d x %d\n", scaledWidth, scaledHeight);
        printf("  whole import                                %8.1f ms\n", whole);
        printf("  helper: decode + scale, until the answer    %8.1f ms\n", whole - afterAnswer);
        printf("  main thread after the answer: map + upload  %8.1f ms\n", afterAnswer);
    }
    printf("  for reference: stb_image in process, decode %8.1f ms\n", hugeInProcess);
    printf("  for reference: the scaling step alone       %8.1f ms\n", scale);
    fflush(stdout);
    unlink(huge.c_str());
    std::vector<unsigned char>().swap(pixels);
    if (PrintLongestFrames(folder, path.c_str()) != 0) return 1;

    SetTextureSlot(TEXTURE_SLOT_DIFFUSE, 0, 0, 0);
    SDL_GL_DeleteContext(context);
    SDL_DestroyWindow(window);
    SDL_Quit();
    unlink(path.c_str());
    unlink(huge.c_str());
    rmdir(folder);
    return 0;
}
