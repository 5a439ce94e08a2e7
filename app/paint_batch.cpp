// paint_batch: the batch's life: [Setup] the look, the names, the context; [Loop] the three
// stages in turns, none of them waiting for another; [Ending] the summary, or the stop.
#include "app/paint_batch.h"

#include <signal.h>

#include <chrono>
#include <new>
#include <set>
#include <string>
#include <thread>
#include <vector>

#ifdef _WIN32
#include <io.h>
#define isatty _isatty
#define fileno _fileno
#else
#include <unistd.h>
#endif

#include "app/hidden_context.h"
#include "base/file_name.h"
#include "base/log.h"
#include "picture/export_name.h"
#include "picture/file_paths.h"
#include "picture/image_decoder.h"
#include "picture/write_queue.h"
#include "settings/look_file.h"
#include "render/brush_filter.h"
#include "render/picture_export.h"
#include "render/texture_import.h"
#include "render/texture_slots.h"

namespace {

using Clock = std::chrono::steady_clock;

// How long one turn of the painting goes on before the other stages are looked at again.
constexpr double PaintStepMilliseconds = 40.0;
// How long a turn with nothing to do waits for a helper's or a writer's answer.
constexpr int IdleWaitMilliseconds = 10;

volatile sig_atomic_t StopSignal = 0;

void OnStopSignal(int signalNumber) { StopSignal = signalNumber; }

enum Stage { STAGE_WAITING, STAGE_DECODING, STAGE_DECODED, STAGE_PAINTING, STAGE_WRITING, STAGE_OVER };

struct Picture {
    const char* Path;
    std::string Output;
    Stage Now = STAGE_WAITING;
    PictureDecode* Decode = nullptr;
    DecodedPicture Decoded = {};
    std::vector<unsigned char> Rgb;
    int Width = 0, Height = 0;
    Clock::time_point Started;
};

struct Counts {
    int Painted = 0, Failed = 0, Skipped = 0;
};

struct Batch {
    const PaintOptions* Options;
    BrushProperties Parameters;
    EncoderSettings Settings;
    std::vector<Picture> Pictures;
    size_t NextToStart = 0;
    int InFlight = 0;
    int Painting = -1;  // the picture being painted, or -1
    WriteQueue* Writer = nullptr;
    Counts Ended;
    FILE* Err;
    bool Terminal;
    Clock::time_point Started;
};

double SecondsSince(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

// [Output] -------------------------------------------------------------------------------------

void ClearBar(const Batch& batch) {
    if (batch.Terminal) fputs("\r\033[K", batch.Err);
}

void DrawBar(const Batch& batch) {
    if (!batch.Terminal) return;
    const int total = int(batch.Pictures.size());
    const int ended = batch.Ended.Painted + batch.Ended.Failed + batch.Ended.Skipped;
    constexpr int Width = 30;
    const int filled = total > 0 ? ended * Width / total : Width;
    fprintf(batch.Err, "\r[%.*s%.*s] %d/%d", filled, "##############################", Width - filled,
            "                              ", ended, total);
    fflush(batch.Err);
}

// One line of the batch's own, with the bar drawn again below it.
void Say(Batch* batch, const std::string& line) {
    ClearBar(*batch);
    fprintf(batch->Err, "%s\n", line.c_str());
    DrawBar(*batch);
}

std::string Shown(const char* path) { return DisplayFileName(path); }

void EndPicture(Batch* batch, size_t index, bool painted, bool skipped, const std::string& line) {
    Picture& picture = batch->Pictures[index];
    if (picture.Now != STAGE_WAITING) --batch->InFlight;
    picture.Now = STAGE_OVER;
    std::vector<unsigned char>().swap(picture.Rgb);
    if (painted) ++batch->Ended.Painted;
    else if (skipped) ++batch->Ended.Skipped;
    else ++batch->Ended.Failed;
    Say(batch, line);
}

void FailLoading(Batch* batch, size_t index, const char* reason) {
    EndPicture(batch, index, false, false,
               "failed " + Shown(batch->Pictures[index].Path) + ": could not be loaded: " + reason);
}

void FailPainting(Batch* batch, size_t index, const char* reason) {
    EndPicture(batch, index, false, false,
               "failed " + Shown(batch->Pictures[index].Path) + ": could not be painted: " + reason);
}

// [Setup] --------------------------------------------------------------------------------------

// The file a picture is painted to: -o's, or "<name>-painted.<ext>" in --output's folder or
// beside the picture.
std::string OutputOf(const PaintOptions& options, const char* picturePath) {
    if (!options.OutputFile.empty()) return options.OutputFile;
    std::string name = SuggestedExportName(picturePath);
    if (options.Format == PICTURE_JPEG) name = name.substr(0, name.size() - 4) + ".jpg";
    const std::string folder = options.OutputFolder ? options.OutputFolder : PictureFolder(picturePath);
    if (folder.empty()) return name;
    return IsPathSeparator(folder.back()) ? folder + name : folder + "/" + name;
}

// The look's parameters and paper, with the options over them: a built-in look's name, a user's
// look's name or a look file (settings/look_file.h). False, with the problem, when it cannot be
// used; `notes` gets what was changed on the way (values clamped, a paper that has gone: the
// built-in paper then, as in the window).
bool ResolveLook(const PaintOptions& options, BrushProperties* parameters, std::string* paper, std::string* problem,
                 std::vector<std::string>* notes) {
    const LookOutcome found = FindLook(options.Look ? options.Look : "Default");
    if (!found.Done) {
        *problem = std::string("the look ") + options.Look + " cannot be used: " + found.Reason;
        return false;
    }
    if (!found.Note.empty()) notes->push_back(found.Note);
    *parameters = BrushProperties{found.Value.Opacity, found.Value.Stroke, found.Value.Intensity};
    *paper = found.Value.PaperPath;
    if (options.OpacityGiven) parameters->Opacity = options.Opacity;
    if (options.StrokeGiven) parameters->StrokeCoeff = options.Stroke;
    if (options.IntensityGiven) parameters->BackgroundCoeff = options.Intensity;
    if (options.Paper) {
        *paper = options.Paper;
    } else if (!paper->empty() && !PathExists(paper->c_str())) {
        notes->push_back("the look's paper " + *paper + " is not there; painting on the built-in paper");
        paper->clear();
    }
    return true;
}

// [Loop] ---------------------------------------------------------------------------------------

// Starts the decodes of the next pictures while fewer than --jobs are in flight; a picture whose
// file exists (without --overwrite), or that another of the batch writes to, ends here.
void StartDecodes(Batch* batch, std::set<std::string>* claimed) {
    const int most = batch->Options->Jobs;
    while (batch->InFlight < most && batch->NextToStart < batch->Pictures.size()) {
        const size_t index = batch->NextToStart++;
        Picture& picture = batch->Pictures[index];
        if (!batch->Options->Overwrite && PathExists(picture.Output.c_str())) {
            EndPicture(batch, index, false, true,
                       "skipped " + Shown(picture.Path) + ": " + Shown(picture.Output.c_str()) +
                           " exists (--overwrite replaces it)");
            continue;
        }
        if (!claimed->insert(picture.Output).second) {
            EndPicture(batch, index, false, false,
                       "failed " + Shown(picture.Path) + ": another picture of the batch is painted to " +
                           Shown(picture.Output.c_str()));
            continue;
        }
        picture.Started = Clock::now();
        picture.Now = STAGE_DECODING;
        ++batch->InFlight;
        char reason[512];
        picture.Decode = StartPictureDecode(picture.Path, LargestTextureSide(), reason, sizeof reason);
        if (!picture.Decode) FailLoading(batch, index, reason);
    }
}

// Takes the helpers' answers that have come; waits up to waitMs for the oldest decode's.
bool PollDecodes(Batch* batch, int waitMs) {
    bool any = false;
    for (size_t index = 0; index < batch->NextToStart; ++index) {
        Picture& picture = batch->Pictures[index];
        if (picture.Now != STAGE_DECODING) continue;
        char reason[512];
        const DecodeState state =
            PollPictureDecode(picture.Decode, any ? 0 : waitMs, &picture.Decoded, reason, sizeof reason);
        if (state == DECODE_RUNNING) {
            waitMs = 0;
            continue;
        }
        any = true;
        picture.Decode = nullptr;  // the poll has freed it
        if (state == DECODE_DONE) picture.Now = STAGE_DECODED;
        else FailLoading(batch, index, reason);
    }
    return any;
}

// Puts the first decoded picture into the slot and starts its render, as the window's export
// renders, into the buffer that then goes to a writer.
void StartPainting(Batch* batch) {
    for (size_t index = 0; index < batch->NextToStart; ++index) {
        Picture& picture = batch->Pictures[index];
        if (picture.Now != STAGE_DECODED) continue;
        ImportOutcome outcome;
        TakeDecodedPicture(TEXTURE_SLOT_DIFFUSE, picture.Path, &picture.Decoded, &outcome);
        if (!outcome.Done) {
            FailLoading(batch, index, outcome.Reason);
            continue;
        }
        PaintedPictureSize(&picture.Width, &picture.Height);
        int reachWidth = 0, reachHeight = 0;
        BrushReachInWindow(batch->Options->ViewWidth, batch->Options->ViewHeight, picture.Width, picture.Height,
                           &reachWidth, &reachHeight);
        // Allocation is the one place here where the library may throw.
        try {
            picture.Rgb.resize(size_t(picture.Width) * size_t(picture.Height) * 3);
        } catch (const std::bad_alloc&) {
            char reason[128];
            snprintf(reason, sizeof reason, "not enough memory for the %d x %d picture", picture.Width, picture.Height);
            FailPainting(batch, index, reason);
            continue;
        }
        char reason[256] = "";
        if (!StartPaintedPictureRenderWith(batch->Parameters, reachWidth, reachHeight, picture.Rgb.data(),
                                           picture.Rgb.size(), reason, sizeof reason)) {
            FailPainting(batch, index, reason);
            continue;
        }
        picture.Now = STAGE_PAINTING;
        batch->Painting = int(index);
        return;
    }
}

// The painting's next step; a finished painting goes to the writers.
void StepPainting(Batch* batch) {
    const size_t index = size_t(batch->Painting);
    Picture& picture = batch->Pictures[index];
    char reason[256] = "";
    const RenderStep step = StepPaintedPictureRender(PaintStepMilliseconds, nullptr, reason, sizeof reason);
    if (step == RENDER_RUNNING) return;
    EndPaintedPictureRender();
    batch->Painting = -1;
    if (step == RENDER_FAILED) {
        FailPainting(batch, index, reason);
        return;
    }
    picture.Now = STAGE_WRITING;
    QueuePictureWrite(batch->Writer, int(index), picture.Output, batch->Options->Format, std::move(picture.Rgb),
                      picture.Width, picture.Height, 3, batch->Settings);
}

bool TakeWritten(Batch* batch, int waitMs) {
    WrittenPicture written;
    bool any = false;
    while (TakeWrittenPicture(batch->Writer, any ? 0 : waitMs, &written)) {
        any = true;
        const Picture& picture = batch->Pictures[size_t(written.Id)];
        char line[4096];
        if (written.Done) {
            snprintf(line, sizeof line, "painted %s -> %s (%d x %d, %.1f s)", Shown(picture.Path).c_str(),
                     Shown(picture.Output.c_str()).c_str(), picture.Width, picture.Height,
                     SecondsSince(picture.Started));
        } else {
            snprintf(line, sizeof line, "failed %s: could not be written to %s: %s", Shown(picture.Path).c_str(),
                     Shown(picture.Output.c_str()).c_str(), written.Reason.c_str());
        }
        EndPicture(batch, size_t(written.Id), written.Done, false, line);
    }
    return any;
}

// Ends what is in flight on a stop: the helpers (reaped), the render, the files being written.
void GiveUp(Batch* batch) {
    for (Picture& picture : batch->Pictures) {
        if (picture.Now == STAGE_DECODING) CancelPictureDecode(picture.Decode);
        if (picture.Now == STAGE_DECODED) ReleaseDecodedPicture(&picture.Decoded);
        picture.Decode = nullptr;
    }
    ReapEndedDecoders(10000);
    if (batch->Painting >= 0) EndPaintedPictureRender();
    batch->Painting = -1;
    EndWriteQueue(batch->Writer, true);
    batch->Writer = nullptr;
}

std::string Summary(const Batch& batch, const char* lead) {
    char line[256];
    snprintf(line, sizeof line, "%s %d of %zu picture%s in %.1f s", lead, batch.Ended.Painted, batch.Pictures.size(),
             batch.Pictures.size() == 1 ? "" : "s", SecondsSince(batch.Started));
    std::string text = line;
    std::string notes;
    if (batch.Ended.Failed) notes += std::to_string(batch.Ended.Failed) + " failed";
    if (batch.Ended.Skipped) notes += (notes.empty() ? "" : ", ") + std::to_string(batch.Ended.Skipped) + " skipped";
    return notes.empty() ? text : text + " (" + notes + ")";
}

}  // namespace

int PaintPictures(const PaintOptions& options, FILE* err) {
    // [Setup]
    LogLinesShown = options.Verbose;
#ifdef SIGPIPE
    signal(SIGPIPE, SIG_IGN);  // a reader of the lines that has gone loses them, not the pictures
#endif
#ifdef SIGXFSZ
    signal(SIGXFSZ, SIG_IGN);  // a file-size limit fails that picture's write with "File too large"
#endif
    BrushProperties parameters;
    std::string paper, problem;
    std::vector<std::string> notes;
    if (!ResolveLook(options, &parameters, &paper, &problem, &notes)) {
        fprintf(err, "vellumry: %s\n", problem.c_str());
        return 2;
    }
    for (const std::string& note : notes) fprintf(err, "vellumry: note: %s\n", note.c_str());
    if (options.OutputFolder && !PathExists(options.OutputFolder)) {
        fprintf(err, "vellumry: the output folder does not exist: %s\n", options.OutputFolder);
        return 2;
    }

    Batch batch;
    batch.Options = &options;
    batch.Parameters = parameters;
    batch.Settings = DefaultEncoderSettings();
    batch.Settings.JpegQuality = options.Quality;
    batch.Err = err;
    batch.Terminal = isatty(fileno(err)) != 0;
    batch.Started = Clock::now();
    for (const char* path : options.Pictures) {
        Picture picture;
        picture.Path = path;
        picture.Output = OutputOf(options, path);
        batch.Pictures.push_back(picture);
    }
    PaintOptions jobs = options;
    if (jobs.Jobs <= 0) {
        const unsigned cores = std::thread::hardware_concurrency();
        jobs.Jobs = cores > 0 ? int(cores) : 2;
    }
    batch.Options = &jobs;

    HiddenContext hidden;
    char reason[512];
    if (!StartHiddenContext(&hidden, reason, sizeof reason)) {
        fprintf(err, "vellumry: nothing can be painted: %s\n", reason);
        return 1;
    }
    InitBrushFilter();
    if (!paper.empty()) {
        const ImportOutcome outcome = LoadFilterTexture(paper.c_str());
        if (!outcome.Done) {
            fprintf(err, "vellumry: the paper %s could not be loaded: %s\n", Shown(paper.c_str()).c_str(),
                    outcome.Reason);
            ShutdownBrushFilter();
            EndHiddenContext(&hidden);
            return 1;
        }
    }
    StopSignal = 0;
    void (*previousInterrupt)(int) = signal(SIGINT, OnStopSignal);
    void (*previousTerminate)(int) = signal(SIGTERM, OnStopSignal);
#ifdef SIGBREAK
    void (*previousBreak)(int) = signal(SIGBREAK, OnStopSignal);
#endif
    batch.Writer = StartWriteQueue(jobs.Jobs);
    DrawBar(batch);

    // [Loop] Each turn: new decodes, the helpers' answers, a step of the painting, the writers'
    // outcomes. Only a turn with nothing to paint waits, and then briefly, for an answer.
    std::set<std::string> claimed;
    const size_t total = batch.Pictures.size();
    while (!StopSignal) {
        StartDecodes(&batch, &claimed);
        if (size_t(batch.Ended.Painted + batch.Ended.Failed + batch.Ended.Skipped) == total) break;
        PollDecodes(&batch, 0);
        if (batch.Painting < 0) StartPainting(&batch);
        if (batch.Painting >= 0) StepPainting(&batch);
        const bool taken = TakeWritten(&batch, 0);
        if (batch.Painting < 0 && !taken) {
            // Nothing to paint: wait for a helper, else for a writer.
            if (!PollDecodes(&batch, IdleWaitMilliseconds)) TakeWritten(&batch, IdleWaitMilliseconds);
        }
    }

    // [Ending]
    const int stoppedBy = StopSignal;
    if (stoppedBy) {
        GiveUp(&batch);
        Say(&batch, Summary(batch, "stopped:"));
    } else {
        EndWriteQueue(batch.Writer, false);
        Say(&batch, Summary(batch, "painted"));
    }
    ClearBar(batch);
    ShutdownBrushFilter();
    EndHiddenContext(&hidden);
    signal(SIGINT, previousInterrupt);
    signal(SIGTERM, previousTerminate);
#ifdef SIGBREAK
    signal(SIGBREAK, previousBreak);
#endif
    if (stoppedBy) {
        // Ended by the signal, as a program that had not caught it, so that whoever sent it
        // (a shell, GNU parallel, a scheduler) sees it stopped and did not finish.
        fflush(err);
        signal(stoppedBy, SIG_DFL);
        raise(stoppedBy);
        return 1;
    }
    return batch.Ended.Painted == int(total) ? 0 : 1;
}
