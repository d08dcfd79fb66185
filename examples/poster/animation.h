// Animations in one file: an animated PNG (lossless, every frame a PNG
// image) and an animated WebP (lossy, a fraction of the size). Both are
// written through a SafeFile, so an unfinished animation never replaces a
// finished one.
#ifndef QUILLON_POSTER_ANIMATION_H
#define QUILLON_POSTER_ANIMATION_H

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "safe_file.h"

namespace poster {

constexpr int kFramesPerSecond = 24;

// Frames arrive as complete PNG files (encode_png); their image data is
// moved into the animation's frame chunks as it comes, so only one frame is
// held at a time.
class ApngWriter {
 public:
  bool open(const std::string& path, int frame_count, std::string* error);
  bool add(const std::vector<uint8_t>& png, std::string* error);
  bool finish(std::string* error);

 private:
  bool chunk(const char type[4], const uint8_t* data, size_t size, std::string* error);
  SafeFile file_;
  int frame_count_ = 0;
  int added_ = 0;
  uint32_t sequence_ = 0;
  std::vector<uint8_t> ihdr_;
};

// Frames arrive as rows of straight RGBA bytes (straight_pixels); libwebp's
// animation encoder compresses each as it is added.
class WebpWriter {
 public:
  WebpWriter();
  ~WebpWriter();
  WebpWriter(const WebpWriter&) = delete;
  WebpWriter& operator=(const WebpWriter&) = delete;

  bool open(const std::string& path, int width, int height, std::string* error);
  bool add(const std::vector<uint8_t>& rgba, std::string* error);
  bool finish(std::string* error);

 private:
  struct State;
  std::unique_ptr<State> state_;
  std::string path_;
  int width_ = 0, height_ = 0, added_ = 0;
};

// Versions of the encoders, for --version.
std::string encoder_versions();

}  // namespace poster

#endif  // QUILLON_POSTER_ANIMATION_H
