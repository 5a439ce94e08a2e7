// export_job: one worker thread, one job at a time. The worker owns the job's pixels and
// result fields until it sets `finished`; the main thread reads them only after seeing it
// (release/acquire), then joins the thread.
#include "picture/export_job.h"

#include <atomic>
#include <cstdio>
#include <system_error>
#include <thread>
#include <utility>

#include "picture/encode_to_file.h"

EncoderSettings PictureExportSettings = DefaultEncoderSettings();

namespace {
struct Job {
    std::string path;
    PictureFormat format;
    std::vector<unsigned char> pixels;
    int width, height, channels;
    EncoderSettings settings;
    std::atomic<int> rowsDone{0};
    std::atomic<bool> finished{false};
    // Written by the worker before `finished`:
    bool succeeded = false;
    std::string reason;
};

// The module's one job and its thread, both touched by the main thread only.
Job* CurrentJob = nullptr;
std::thread Worker;

// A program that ends through exit() while a job runs (File > Exit ends at once) finishes the
// file first: a running std::thread would otherwise end the program with std::terminate,
// leaving no file. Destroyed before Worker, being defined after it.
struct FinishOnExit {
    ~FinishOnExit();
} FinishingOnExit;
}  // namespace

static void CountRows(void* context, int rowsDone, int) {
    static_cast<Job*>(context)->rowsDone.store(rowsDone, std::memory_order_relaxed);
}

static void RunJob(Job* job) {
    PixelRows rows = {job->pixels.data(), job->width, job->height, job->channels};
    job->succeeded = EncodeToFile(job->path.c_str(), job->format, rows, job->settings, EncodeProgress{CountRows, job},
                                  nullptr, &job->reason);
    // The pixels are done with: free them now, not when the main thread next looks.
    std::vector<unsigned char>().swap(job->pixels);
    job->finished.store(true, std::memory_order_release);
}

bool PictureExportBusy() { return CurrentJob != nullptr; }

bool StartPictureExport(const std::string& path, PictureFormat format, std::vector<unsigned char> pixels, int width,
                        int height, int channels, std::string* reason) {
    if (CurrentJob) {
        *reason = "Another export is still running.";
        return false;
    }
    if (width < 1 || height < 1 || (channels != 3 && channels != 4) ||
        pixels.size() / (size_t)channels / (size_t)width != (size_t)height ||
        pixels.size() != (size_t)width * (size_t)height * (size_t)channels) {
        *reason = "The picture's pixels do not match its size.";
        return false;
    }
    Job* job = new Job;
    job->path = path;
    job->format = format;
    job->pixels = std::move(pixels);
    job->width = width;
    job->height = height;
    job->channels = channels;
    job->settings = PictureExportSettings;
    // std::thread reports a failure to start by throwing; that is the only exception here.
    try {
        Worker = std::thread(RunJob, job);
    } catch (const std::system_error& error) {
        delete job;
        *reason = std::string("Could not start the export: ") + error.what();
        return false;
    }
    CurrentJob = job;
    return true;
}

static ExportStatus StatusOf(const Job* job, ExportState state) {
    ExportStatus status;
    status.state = state;
    status.path = job->path;
    status.width = job->width;
    status.height = job->height;
    if (state == EXPORT_RUNNING) {
        float rows = (float)job->rowsDone.load(std::memory_order_relaxed) / (float)job->height;
        // The last moment is the flush and rename: not 100 % before the file is in place.
        status.progress = rows < 0.99f ? rows : 0.99f;
    } else {
        status.progress = state == EXPORT_SUCCEEDED ? 1.0f : 0.0f;
        status.reason = job->reason;
    }
    return status;
}

static ExportStatus Collect() {
    Worker.join();
    Job* job = CurrentJob;
    CurrentJob = nullptr;
    ExportStatus status = StatusOf(job, job->succeeded ? EXPORT_SUCCEEDED : EXPORT_FAILED);
    delete job;
    return status;
}

static ExportStatus Idle() {
    ExportStatus status;
    status.state = EXPORT_IDLE;
    status.progress = 0.0f;
    status.width = status.height = 0;
    return status;
}

ExportStatus PollPictureExport() {
    if (!CurrentJob) return Idle();
    if (!CurrentJob->finished.load(std::memory_order_acquire)) return StatusOf(CurrentJob, EXPORT_RUNNING);
    return Collect();
}

ExportStatus WaitForPictureExport() {
    if (!CurrentJob) return Idle();
    return Collect();
}

FinishOnExit::~FinishOnExit() {
    if (CurrentJob) WaitForPictureExport();
}
