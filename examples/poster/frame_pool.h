// Drawing the frames of the animation on several threads at once.
//
// Each worker draws every n-th frame. The sparks of a frame depend on every
// frame before it, so each worker runs its own particle system through all
// frames up to its own (stepping is cheap next to drawing), with a random
// stream of its own (sparks.h): the frames are the same, bit for bit,
// whatever the number of workers. The caller's thread receives the frames
// in order; workers stay at most a few frames ahead of it, which bounds the
// memory held.
#ifndef QUILLON_POSTER_FRAME_POOL_H
#define QUILLON_POSTER_FRAME_POOL_H

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "bl_objects.h"
#include "scene.h"

namespace poster {

// Runs on a worker: turns a finished frame into the bytes handed on (PNG,
// or raw pixels). False with "error" set stops the run.
using FrameEncoder =
    std::function<bool(const Image& image, std::vector<uint8_t>* bytes, std::string* error)>;
// Runs on the calling thread, once per frame, in frame order (0 first).
using FrameConsumer =
    std::function<bool(int index, std::vector<uint8_t>& bytes, std::string* error)>;

// Draws frames 0 .. count-1 of "scene" with "threads" workers (at least 1;
// "workers", when given, receives how many ran). Returns false with "error"
// set when an encoder or the consumer failed or memory ran out; the
// remaining frames are then not drawn.
bool draw_frames(const Scene& scene, int count, int threads, const FrameEncoder& encode,
                 const FrameConsumer& consume, std::string* error, int* workers = nullptr);

// The default number of workers: one per processor the program may use.
int default_threads();

}  // namespace poster

#endif  // QUILLON_POSTER_FRAME_POOL_H
