#include "frame_pool.h"

#include <algorithm>
#include <condition_variable>
#include <map>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>

#include <sched.h>

#include "sparks.h"
#include "timeline.h"

namespace poster {

namespace {

constexpr double kFrameTime = 1.0 / 24.0;

struct Shared {
  std::mutex lock;
  std::condition_variable changed;
  std::map<int, std::vector<uint8_t>> done;  // frames drawn, not yet consumed
  int next = 0;                              // the frame the consumer waits for
  bool stop = false;
  std::string error;  // the first failure
};

void fail(Shared* s, const std::string& error) {
  std::lock_guard<std::mutex> hold(s->lock);
  if (!s->stop) s->error = error;
  s->stop = true;
  s->changed.notify_all();
}

void run_worker(const Scene& scene, int count, int worker, int workers, const FrameEncoder& encode,
                Shared* s) {
  try {
    Sparks sparks(scene.pixel_scale());
    Image image(scene.width(), scene.height());
    const int ahead = 2 * workers;
    double previous_reveal = 0.0;
    for (int i = 0; i < count; ++i) {
      const SceneState state = frame_state(i, count);
      if (previous_reveal < 1.0 && state.reveal >= 1.0) scene.finale(&sparks);
      previous_reveal = state.reveal;
      scene.advance(state, &sparks, kFrameTime);
      if (i % workers != worker) continue;
      {
        std::unique_lock<std::mutex> hold(s->lock);
        s->changed.wait(hold, [&] { return s->stop || i < s->next + ahead; });
        if (s->stop) return;
      }
      scene.render(state, sparks, &image);
      std::vector<uint8_t> bytes;
      std::string error;
      if (!encode(image, &bytes, &error)) return fail(s, error);
      std::lock_guard<std::mutex> hold(s->lock);
      s->done.emplace(i, std::move(bytes));
      s->changed.notify_all();
    }
  } catch (const std::bad_alloc&) {
    fail(s, "out of memory while drawing the frames");
  }
}

}  // namespace

int default_threads() {
  cpu_set_t set;
  if (sched_getaffinity(0, sizeof set, &set) == 0) {
    const int n = CPU_COUNT(&set);
    if (n > 0) return std::min(n, 64);
  }
  const unsigned n = std::thread::hardware_concurrency();
  return n == 0 ? 1 : static_cast<int>(std::min(n, 64u));
}

bool draw_frames(const Scene& scene, int count, int threads, const FrameEncoder& encode,
                 const FrameConsumer& consume, std::string* error, int* workers_used) {
  // Without a private random stream per worker, only one worker gives the
  // same sparks as a run on one thread.
  const int workers = Sparks::private_streams() ? std::max(1, std::min(threads, count)) : 1;
  if (workers_used) *workers_used = workers;
  Shared s;
  std::vector<std::thread> pool;
  try {
    for (int w = 0; w < workers; ++w)
      pool.emplace_back(run_worker, std::cref(scene), count, w, workers, std::cref(encode), &s);
  } catch (const std::system_error& e) {
    fail(&s, std::string("cannot start the threads that draw the frames: ") + e.what() +
                 " (--threads 1 draws on one)");
  }
  for (int i = 0; i < count; ++i) {
    std::vector<uint8_t> bytes;
    {
      std::unique_lock<std::mutex> hold(s.lock);
      s.changed.wait(hold, [&] { return s.stop || s.done.count(i) > 0; });
      if (s.stop) break;
      bytes = std::move(s.done[i]);
      s.done.erase(i);
    }
    std::string failure;
    bool ok = false;
    try {
      ok = consume(i, bytes, &failure);
    } catch (const std::bad_alloc&) {
      failure = "out of memory while writing the frames";
    }
    if (!ok) {
      fail(&s, failure);
      break;
    }
    std::lock_guard<std::mutex> hold(s.lock);
    s.next = i + 1;
    s.changed.notify_all();
  }
  for (std::thread& t : pool) t.join();
  if (!s.error.empty() || s.stop) {
    *error = s.error.empty() ? std::string("the frames could not be drawn") : s.error;
    return false;
  }
  return true;
}

}  // namespace poster
