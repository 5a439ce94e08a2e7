// write_queue: one lock guards the waiting pictures and the finished ones; a worker holds it
// only to take a picture or hand back its outcome, never while it encodes.
#include "picture/write_queue.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <system_error>
#include <thread>

#include "picture/encode_to_file.h"

namespace {

struct Picture {
    int Id;
    std::string Path;
    PictureFormat Format;
    std::vector<unsigned char> Pixels;
    int Width, Height, Channels;
    EncoderSettings Settings;
};

}  // namespace

struct WriteQueue {
    int MostWorkers;
    std::vector<std::thread> Workers;
    int Idle = 0;  // workers waiting for a picture
    mutable std::mutex Lock;
    std::condition_variable Arrived, Finished;
    std::deque<Picture> Waiting;
    std::deque<WrittenPicture> Written;
    int Unfinished = 0;  // queued, not yet taken
    bool Ending = false;
    std::atomic<bool> GiveUp{false};
};

static void RunWorker(WriteQueue* queue) {
    std::unique_lock<std::mutex> hold(queue->Lock);
    for (;;) {
        ++queue->Idle;
        queue->Arrived.wait(hold, [queue] { return queue->Ending || !queue->Waiting.empty(); });
        --queue->Idle;
        if (queue->Waiting.empty()) return;
        Picture picture = std::move(queue->Waiting.front());
        queue->Waiting.pop_front();
        hold.unlock();

        const auto start = std::chrono::steady_clock::now();
        WrittenPicture written;
        written.Id = picture.Id;
        PixelRows rows = {picture.Pixels.data(), picture.Width, picture.Height, picture.Channels};
        written.Done = EncodeToFile(picture.Path.c_str(), picture.Format, rows, picture.Settings, EncodeProgress{},
                                    &queue->GiveUp, &written.Reason);
        std::vector<unsigned char>().swap(picture.Pixels);
        written.Seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

        hold.lock();
        queue->Written.push_back(std::move(written));
        queue->Finished.notify_all();
    }
}

WriteQueue* StartWriteQueue(int workers) {
    WriteQueue* queue = new WriteQueue;
    queue->MostWorkers = workers > 0 ? workers : 1;
    return queue;
}

void QueuePictureWrite(WriteQueue* queue, int id, const std::string& path, PictureFormat format,
                       std::vector<unsigned char> pixels, int width, int height, int channels,
                       const EncoderSettings& settings) {
    std::lock_guard<std::mutex> hold(queue->Lock);
    queue->Waiting.push_back(Picture{id, path, format, std::move(pixels), width, height, channels, settings});
    ++queue->Unfinished;
    const bool noneIdle = queue->Idle < int(queue->Waiting.size());
    if (noneIdle && int(queue->Workers.size()) < queue->MostWorkers) {
        // std::thread says it could not start by throwing; the workers there are take the
        // picture in their turn, and with none at all it fails here.
        try {
            queue->Workers.emplace_back(RunWorker, queue);
        } catch (const std::system_error& error) {
            if (queue->Workers.empty()) {
                queue->Waiting.pop_back();
                queue->Written.push_back(
                    WrittenPicture{id, false, std::string("Could not start the writing: ") + error.what(), 0.0});
            }
        }
    }
    queue->Arrived.notify_one();
}

bool TakeWrittenPicture(WriteQueue* queue, int waitMs, WrittenPicture* written) {
    std::unique_lock<std::mutex> hold(queue->Lock);
    if (queue->Written.empty() && waitMs > 0)
        queue->Finished.wait_for(hold, std::chrono::milliseconds(waitMs), [queue] { return !queue->Written.empty(); });
    if (queue->Written.empty()) return false;
    *written = std::move(queue->Written.front());
    queue->Written.pop_front();
    --queue->Unfinished;
    return true;
}

int PicturesBeingWritten(const WriteQueue* queue) {
    std::lock_guard<std::mutex> hold(queue->Lock);
    return queue->Unfinished;
}

void EndWriteQueue(WriteQueue* queue, bool giveUp) {
    {
        std::lock_guard<std::mutex> hold(queue->Lock);
        queue->Ending = true;
        if (giveUp) {
            queue->GiveUp.store(true);
            queue->Waiting.clear();
        }
        queue->Arrived.notify_all();
    }
    for (std::thread& worker : queue->Workers) worker.join();
    delete queue;
}
