// bench_paint_batch: what `vellumry --paint` gains by overlapping its stages. A batch of 24
// photograph-like 12-megapixel JPEGs (4000 x 3000) painted at the default 800 x 600 view to PNG:
//   - each stage alone, one picture after the other in this process, summed over the batch:
//     the decode in the helper, the upload into the slot, the brush pass over the export's tiles
//     (each finished, no read-back), the read-back (the render with it, less the pass), the PNG
//     encoding into memory, and the safe write of those bytes;
//   - the batch as the program runs it (--jobs at the machine's cores, and --jobs 1: one picture
//     in flight, nothing overlapping), its wall time and its peak memory (the program's resident
//     set, the decoded pixels in the helpers' shared memory counted where it maps them);
//   - one process per picture (`vellumry --paint -o FILE PICTURE`), one after the other and as
//     many at once as there are cores, the wall time and the largest process's peak memory.
//   bench_paint_batch VELLUMRY [count]     (on a virtual display: the stages use a GL window)
// Prints figures only; it judges nothing.
#include <SDL.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <string>
#include <thread>
#include <vector>

#include "picture/encode_to_file.h"
#include "picture/image_decoder.h"
#include "picture/png_jpeg_encoder.h"
#include "picture/safe_file.h"
#include "render/brush_filter.h"
#include "render/offscreen_pass.h"
#include "render/picture_export.h"
#include "render/texture_import.h"
#include "render/texture_slots.h"
#include "gl_test_support.h"

extern char** environ;

namespace {

const int Width = 4000, Height = 3000;
using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

void Fail(const char* what) {
    fprintf(stderr, "bench_paint_batch: %s\n", what);
    exit(1);
}

bool AppendBytes(void* context, const unsigned char* bytes, size_t size) {
    static_cast<std::vector<unsigned char>*>(context)->insert(static_cast<std::vector<unsigned char>*>(context)->end(),
                                                              bytes, bytes + size);
    return true;
}

struct Run {
    double Seconds;
    long PeakKiB;  // the largest peak resident set among the processes
    int Failures;
};

pid_t Spawn(const std::vector<std::string>& words) {
    std::vector<char*> argv;
    for (const std::string& word : words) argv.push_back(const_cast<char*>(word.c_str()));
    argv.push_back(nullptr);
    pid_t pid = 0;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) Fail("cannot start the program");
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

// Runs the commands, at most `atOnce` at a time.
Run RunProcesses(const std::vector<std::vector<std::string>>& commands, int atOnce) {
    Run run = {0.0, 0, 0};
    const auto start = Clock::now();
    size_t next = 0;
    int running = 0;
    while (next < commands.size() || running > 0) {
        while (running < atOnce && next < commands.size()) {
            Spawn(commands[next++]);
            ++running;
        }
        int status = 0;
        struct rusage usage = {};
        if (wait4(-1, &status, 0, &usage) <= 0) Fail("wait4");
        --running;
        run.PeakKiB = std::max(run.PeakKiB, long(usage.ru_maxrss));
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) ++run.Failures;
    }
    run.Seconds = SecondsSince(start);
    return run;
}

std::string FreshFolder(const std::string& path) {
    const std::string remove = "rm -rf '" + path + "'";
    if (system(remove.c_str()) != 0 || mkdir(path.c_str(), 0755) != 0) Fail("cannot make a folder");
    return path;
}

// A photograph's kind of detail: smooth light and colour over the frame, edges between regions
// and a fine sensor grain, so that it compresses as photographs do (about 4 MB as a JPEG).
std::vector<uint8_t> PhotoTexels() {
    std::vector<uint8_t> texels(size_t(Width) * Height * 4);
    unsigned grain = 12345;
    for (int y = 0; y < Height; ++y)
        for (int x = 0; x < Width; ++x) {
            grain = grain * 1103515245u + 12345u;
            const int noise = int((grain >> 16) % 9) - 4;
            const int region = ((x / 700) * 3 + (y / 500) * 5) % 7;
            uint8_t* texel = &texels[(size_t(y) * Width + x) * 4];
            texel[0] = uint8_t(std::clamp(60 + x * 120 / Width + region * 12 + noise, 0, 255));
            texel[1] = uint8_t(std::clamp(90 + y * 100 / Height - region * 8 + noise, 0, 255));
            texel[2] = uint8_t(std::clamp(140 - (x + y) * 60 / (Width + Height) + region * 5 + noise, 0, 255));
            texel[3] = 255;
        }
    return texels;
}

// The brush pass alone over the export's tiles, each finished, no read-back.
void PassAlone(int reachWidth, int reachHeight, const BrushProperties& parameters) {
    const int side = OffscreenTileLimit;
    OffscreenTarget target = {};
    char reason[256];
    if (!SizeOffscreenTarget(&target, std::min(side, Width), std::min(side, Height), reason, sizeof reason))
        Fail(reason);
    for (int top = 0; top < Height; top += side)
        for (int left = 0; left < Width; left += side) {
            const int w = std::min(side, Width - left), h = std::min(side, Height - top);
            RunBrushPassOffscreen(target,
                                  PictureTileRegion(Width, Height, left, top, w, h, float(reachWidth),
                                                    float(reachHeight), DiffuseTexture, FilterTexture),
                                  parameters);
            glFinish();
        }
    DeleteOffscreenTarget(&target);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) Fail("usage: bench_paint_batch VELLUMRY [count]");
    const std::string program = argv[1];
    const int count = argc > 2 ? atoi(argv[2]) : 24;
    const int cores = std::max(1u, std::thread::hardware_concurrency());
    char folderBuffer[] = "/tmp/bench-paint-XXXXXX";
    if (!mkdtemp(folderBuffer)) Fail("mkdtemp");
    const std::string folder = folderBuffer;

    GLTestWindow window = OpenGLTestWindow("bench paint batch", 320, 240, SDL_WINDOW_HIDDEN);
    if (!window.Context) Fail(SDL_GetError());
    InitBrushFilter();

    // The pictures: one photograph-like JPEG at the export's quality, under `count` names.
    std::vector<std::string> pictures;
    {
        const std::vector<uint8_t> texels = PhotoTexels();
        std::vector<unsigned char> jpeg;
        char reason[256];
        if (!EncodePicture(PICTURE_JPEG, PixelRows{texels.data(), Width, Height, 4}, DefaultEncoderSettings(),
                           ByteSink{AppendBytes, &jpeg}, EncodeProgress{}, reason, sizeof reason))
            Fail(reason);
        for (int i = 0; i < count; ++i) {
            char name[64];
            snprintf(name, sizeof name, "/photo%02d.jpg", i);
            pictures.push_back(folder + name);
            FILE* file = fopen(pictures.back().c_str(), "wb");
            if (!file || fwrite(jpeg.data(), 1, jpeg.size(), file) != jpeg.size() || fclose(file) != 0)
                Fail("cannot write the pictures");
        }
        printf("%d pictures of %d x %d (JPEG, %.1f MB each), painted at an 800 x 600 view to PNG; %d cores\n", count,
               Width, Height, jpeg.size() / 1e6, cores);
    }

    // Each stage alone, one picture after the other.
    double decode = 0, upload = 0, pass = 0, passAndReadBack = 0, encode = 0, write = 0;
    const std::string stageFolder = FreshFolder(folder + "/stages");
    for (int i = 0; i < count; ++i) {
        char reason[512];
        DecodedPicture decoded;
        auto start = Clock::now();
        if (!DecodePictureFile(pictures[size_t(i)].c_str(), LargestTextureSide(), &decoded, reason, sizeof reason))
            Fail(reason);
        decode += SecondsSince(start);
        start = Clock::now();
        ImportOutcome outcome;
        TakeDecodedPicture(TEXTURE_SLOT_DIFFUSE, pictures[size_t(i)].c_str(), &decoded, &outcome);
        glFinish();
        upload += SecondsSince(start);
        if (!outcome.Done) Fail(outcome.Reason);

        int reachWidth = 0, reachHeight = 0;
        BrushReachInWindow(800, 600, Width, Height, &reachWidth, &reachHeight);
        start = Clock::now();
        PassAlone(reachWidth, reachHeight, InitialBrushParameters);
        pass += SecondsSince(start);
        std::vector<unsigned char> rgb(size_t(Width) * Height * 3);
        start = Clock::now();
        if (!StartPaintedPictureRenderWith(InitialBrushParameters, reachWidth, reachHeight, rgb.data(), rgb.size(),
                                           reason, sizeof reason) ||
            StepPaintedPictureRender(std::numeric_limits<double>::infinity(), nullptr, reason, sizeof reason) !=
                RENDER_DONE)
            Fail(reason);
        EndPaintedPictureRender();
        passAndReadBack += SecondsSince(start);

        std::vector<unsigned char> png;
        start = Clock::now();
        if (!EncodePicture(PICTURE_PNG, PixelRows{rgb.data(), Width, Height, 3}, DefaultEncoderSettings(),
                           ByteSink{AppendBytes, &png}, EncodeProgress{}, reason, sizeof reason))
            Fail(reason);
        encode += SecondsSince(start);
        start = Clock::now();
        SafeFile file;
        const std::string target = stageFolder + "/" + std::to_string(i) + ".png";
        if (!SafeFileOpen(&file, target.c_str()) || !SafeFileWrite(&file, png.data(), png.size()) ||
            !SafeFileCommit(&file))
            Fail(file.Reason);
        write += SecondsSince(start);
    }
    const double readBack = std::max(0.0, passAndReadBack - pass);
    const double stages = decode + upload + pass + readBack + encode + write;
    ShutdownBrushFilter();
    CloseGLTestWindow(window);

    // The batch, and one process per picture.
    auto batchCommand = [&](int jobs, const std::string& out) {
        std::vector<std::string> words = {program, "--paint", "--jobs", std::to_string(jobs), "--output", out};
        words.insert(words.end(), pictures.begin(), pictures.end());
        return std::vector<std::vector<std::string>>{words};
    };
    const Run batch = RunProcesses(batchCommand(cores, FreshFolder(folder + "/batch")), 1);
    const Run single = RunProcesses(batchCommand(1, FreshFolder(folder + "/batch1")), 1);
    std::vector<std::vector<std::string>> perPicture;
    const std::string perFolder = FreshFolder(folder + "/each");
    for (int i = 0; i < count; ++i)
        perPicture.push_back(
            {program, "--paint", "-o", perFolder + "/" + std::to_string(i) + ".png", pictures[size_t(i)]});
    const Run oneByOne = RunProcesses(perPicture, 1);
    FreshFolder(perFolder);
    const Run manyAtOnce = RunProcesses(perPicture, cores);

    printf("\n%-52s %9s %12s\n", "", "wall (s)", "peak (MiB)");
    printf("%-52s %9.1f\n", "stages alone, summed over the batch:", stages);
    printf("  %-50s %9.1f\n", "decode (in the helper)", decode);
    printf("  %-50s %9.1f\n", "upload into the slot", upload);
    printf("  %-50s %9.1f\n", "brush pass (the export's tiles, finished)", pass);
    printf("  %-50s %9.1f\n", "read-back", readBack);
    printf("  %-50s %9.1f\n", "PNG encoding", encode);
    printf("  %-50s %9.1f\n", "safe write", write);
    char label[96];
    snprintf(label, sizeof label, "vellumry --paint, --jobs %d (the default here)", cores);
    printf("%-52s %9.1f %12.0f%s\n", label, batch.Seconds, batch.PeakKiB / 1024.0, batch.Failures ? "  FAILED" : "");
    printf("%-52s %9.1f %12.0f%s\n", "vellumry --paint, --jobs 1 (nothing overlaps)", single.Seconds,
           single.PeakKiB / 1024.0, single.Failures ? "  FAILED" : "");
    printf("%-52s %9.1f %12.0f%s\n", "one process per picture, one after the other", oneByOne.Seconds,
           oneByOne.PeakKiB / 1024.0, oneByOne.Failures ? "  FAILED" : "");
    snprintf(label, sizeof label, "one process per picture, %d at once", cores);
    printf("%-52s %9.1f %12.0f%s\n", label, manyAtOnce.Seconds, manyAtOnce.PeakKiB / 1024.0,
           manyAtOnce.Failures ? "  FAILED" : "");
    printf("batch against the stages' sum: %.2fx; against one process per picture: %.2fx\n", stages / batch.Seconds,
           oneByOne.Seconds / batch.Seconds);
    printf(
        "one picture in flight holds its RGBA pixels (%.0f MiB) until the upload and its RGB painting (%.0f MiB)"
        " until written\n",
        Width * double(Height) * 4 / 1048576, Width * double(Height) * 3 / 1048576);
    const std::string remove = "rm -rf '" + folder + "'";
    return system(remove.c_str()) == 0 && !batch.Failures && !single.Failures ? 0 : 1;
}
