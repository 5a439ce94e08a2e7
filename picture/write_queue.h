// write_queue: painted pictures encoded and written safely on worker threads, several at once,
// while the caller goes on with the next pictures; the command line's batch writes through it.
//
//   WriteQueue* queue = StartWriteQueue(4);
//   QueuePictureWrite(queue, id, path, PICTURE_PNG, std::move(rgb), width, height, 3, settings);
//   WrittenPicture written;
//   while (TakeWrittenPicture(queue, 50, &written)) report(written.Id, written.Done, written.Reason);
//   EndWriteQueue(queue, false);   // waits for every file; true: gives up on those not done
//
// Each picture is written by EncodeToFile (encode_to_file.h): whole or not at all. A queue owns
// the pixels it is given (moved in) and frees them as soon as their file is written. At most
// `workers` threads, started as pictures come; pictures wait their turn in the order given.
// Every picture queued comes out of TakeWrittenPicture exactly once, with the system's or the
// encoder's reason when it failed. Call these from one thread; the workers touch no GL, SDL or
// UI and write no log line.
#pragma once
#include <string>
#include <vector>

#include "picture/png_jpeg_encoder.h"

struct WriteQueue;

struct WrittenPicture {
    int Id;
    bool Done;           // the file is in place
    std::string Reason;  // why not
    double Seconds;      // from its turn to its end: the encoding and the writing
};

WriteQueue* StartWriteQueue(int workers);
// pixels: width * height * channels bytes, rows from the top (channels 3 or 4).
void QueuePictureWrite(WriteQueue* queue, int id, const std::string& path, PictureFormat format,
                       std::vector<unsigned char> pixels, int width, int height, int channels,
                       const EncoderSettings& settings);
// A written picture, waiting for one up to waitMs (0: only looks); false when none is ready.
bool TakeWrittenPicture(WriteQueue* queue, int waitMs, WrittenPicture* written);
// How many pictures are queued or being written and not yet taken.
int PicturesBeingWritten(const WriteQueue* queue);
// Ends the workers and frees the queue. giveUp: pictures not yet begun are dropped and those
// being written stop, leaving no file; else every one is written first. Outcomes not taken are
// lost.
void EndWriteQueue(WriteQueue* queue, bool giveUp);
