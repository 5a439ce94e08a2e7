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
    std::string Path;
    PictureFormat Format;
    std::vector<unsigned char> Pixels;
    int Width, Height, Channels;
    EncoderSettings Settings;
    std::atomic<int> RowsDone{0};
    std::atomic<bool> Finished{false};
    // Written by the worker before `finished`:
    bool Succeeded = false;
    std::string Reason;
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
    static_cast<Job*>(context)->RowsDone.store(rowsDone, std::memory_order_relaxed);
}

static void RunJob(Job* job) {
    PixelRows rows = {job->Pixels.data(), job->Width, job->Height, job->Channels};
    job->Succeeded = EncodeToFile(job->Path.c_str(), job->Format, rows, job->Settings, EncodeProgress{CountRows, job},
                                  nullptr, &job->Reason);
    // The pixels are done with: free them now, not when the main thread next looks.
    std::vector<unsigned char>().swap(job->Pixels);
    job->Finished.store(true, std::memory_order_release);
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
    job->Path = path;
    job->Format = format;
    job->Pixels = std::move(pixels);
    job->Width = width;
    job->Height = height;
    job->Channels = channels;
    job->Settings = PictureExportSettings;
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
    status.State = state;
    status.Path = job->Path;
    status.Width = job->Width;
    status.Height = job->Height;
    if (state == EXPORT_RUNNING) {
        float rows = (float)job->RowsDone.load(std::memory_order_relaxed) / (float)job->Height;
        // The last moment is the flush and rename: not 100 % before the file is in place.
        status.Progress = rows < 0.99f ? rows : 0.99f;
    } else {
        status.Progress = state == EXPORT_SUCCEEDED ? 1.0f : 0.0f;
        status.Reason = job->Reason;
    }
    return status;
}

static ExportStatus Collect() {
    Worker.join();
    Job* job = CurrentJob;
    CurrentJob = nullptr;
    ExportStatus status = StatusOf(job, job->Succeeded ? EXPORT_SUCCEEDED : EXPORT_FAILED);
    delete job;
    return status;
}

static ExportStatus Idle() {
    ExportStatus status;
    status.State = EXPORT_IDLE;
    status.Progress = 0.0f;
    status.Width = status.Height = 0;
    return status;
}

ExportStatus PollPictureExport() {
    if (!CurrentJob) return Idle();
    if (!CurrentJob->Finished.load(std::memory_order_acquire)) return StatusOf(CurrentJob, EXPORT_RUNNING);
    return Collect();
}

ExportStatus WaitForPictureExport() {
    if (!CurrentJob) return Idle();
    return Collect();
}

FinishOnExit::~FinishOnExit() {
    if (CurrentJob) WaitForPictureExport();
}
