// An animated PNG is a PNG whose IHDR is followed by an acTL chunk (frame
// count, loops) and whose frames each start with an fcTL chunk (size, delay,
// how to compose); the first frame's data are IDAT chunks, the later ones'
// the same bytes in fdAT chunks led by a sequence number. Viewers without
// animation support show the first frame.
#include "animation.h"

#include <png.h>
#include <webp/encode.h>
#include <webp/mux.h>
#include <zlib.h>

#include <cstring>

namespace poster {

namespace {

void put32(std::vector<uint8_t>& b, uint32_t v) {
  for (int i = 3; i >= 0; --i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
void put16(std::vector<uint8_t>& b, uint16_t v) {
  b.push_back(static_cast<uint8_t>(v >> 8));
  b.push_back(static_cast<uint8_t>(v));
}
uint32_t get32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 |
         static_cast<uint32_t>(p[2]) << 8 | p[3];
}

const uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

struct Chunk {
  char type[5];
  const uint8_t* data;
  size_t size;
};

// The chunks of a PNG made by encode_png; false when it is not one.
bool chunks_of(const std::vector<uint8_t>& png, std::vector<Chunk>* out) {
  if (png.size() < 8 || std::memcmp(png.data(), kSignature, 8) != 0) return false;
  size_t at = 8;
  while (at + 12 <= png.size()) {
    const uint32_t size = get32(&png[at]);
    if (size > png.size() - at - 12) return false;
    Chunk c;
    std::memcpy(c.type, &png[at + 4], 4);
    c.type[4] = '\0';
    c.data = &png[at + 8];
    c.size = size;
    out->push_back(c);
    at += 12 + size;
  }
  return at == png.size();
}

}  // namespace

bool ApngWriter::chunk(const char type[4], const uint8_t* data, size_t size, std::string* error) {
  std::vector<uint8_t> head;
  put32(head, static_cast<uint32_t>(size));
  head.insert(head.end(), type, type + 4);
  uLong crc = crc32(0L, reinterpret_cast<const Bytef*>(type), 4);
  if (size > 0) crc = crc32(crc, data, static_cast<uInt>(size));
  std::vector<uint8_t> tail;
  put32(tail, static_cast<uint32_t>(crc));
  return file_.write(head.data(), head.size(), error) &&
         (size == 0 || file_.write(data, size, error)) && file_.write(tail.data(), 4, error);
}

bool ApngWriter::open(const std::string& path, int frame_count, std::string* error) {
  frame_count_ = frame_count;
  return file_.open(path, error);
}

bool ApngWriter::add(const std::vector<uint8_t>& png, std::string* error) {
  std::vector<Chunk> chunks;
  if (!chunks_of(png, &chunks) || chunks.empty() || std::strcmp(chunks[0].type, "IHDR") != 0 ||
      chunks[0].size != 13) {
    *error = "the PNG encoder gave a broken frame";
    return false;
  }
  const std::vector<uint8_t> ihdr(chunks[0].data, chunks[0].data + 13);
  if (added_ == 0) {
    ihdr_ = ihdr;
    std::vector<uint8_t> actl;
    put32(actl, static_cast<uint32_t>(frame_count_));
    put32(actl, 0);  // loop for ever
    if (!file_.write(kSignature, 8, error) || !chunk("IHDR", ihdr.data(), 13, error) ||
        !chunk("acTL", actl.data(), actl.size(), error))
      return false;
  } else if (ihdr != ihdr_) {
    *error = "the frames of an animated PNG must all have the same size and colour type";
    return false;
  }
  std::vector<uint8_t> fctl;
  put32(fctl, sequence_++);
  fctl.insert(fctl.end(), ihdr.begin(), ihdr.begin() + 8);  // width, height
  put32(fctl, 0);                                           // x offset
  put32(fctl, 0);                                           // y offset
  put16(fctl, 1);                                           // delay: 1 / 24 s
  put16(fctl, kFramesPerSecond);
  fctl.push_back(0);  // dispose: none
  fctl.push_back(0);  // blend: source (the frame replaces the canvas)
  if (!chunk("fcTL", fctl.data(), fctl.size(), error)) return false;
  for (const Chunk& c : chunks) {
    if (std::strcmp(c.type, "IDAT") != 0) continue;
    if (added_ == 0) {
      if (!chunk("IDAT", c.data, c.size, error)) return false;
      continue;
    }
    std::vector<uint8_t> fdat;
    fdat.reserve(c.size + 4);
    put32(fdat, sequence_++);
    fdat.insert(fdat.end(), c.data, c.data + c.size);
    if (!chunk("fdAT", fdat.data(), fdat.size(), error)) return false;
  }
  ++added_;
  return true;
}

bool ApngWriter::finish(std::string* error) {
  if (added_ != frame_count_) {
    *error = "the animation is incomplete";
    file_.discard();
    return false;
  }
  return chunk("IEND", nullptr, 0, error) && file_.commit(error);
}

struct WebpWriter::State {
  WebPAnimEncoder* encoder = nullptr;
  WebPConfig config;
  ~State() {
    if (encoder) WebPAnimEncoderDelete(encoder);
  }
};

WebpWriter::WebpWriter() = default;
WebpWriter::~WebpWriter() = default;

bool WebpWriter::open(const std::string& path, int width, int height, std::string* error) {
  path_ = path;
  width_ = width;
  height_ = height;
  state_.reset(new State);
  WebPAnimEncoderOptions options;
  if (!WebPAnimEncoderOptionsInit(&options) || !WebPConfigInit(&state_->config)) {
    *error = "libwebp does not match the version the program was built with";
    return false;
  }
  options.anim_params.loop_count = 0;
  // Sparks and the pen move every frame: look for a key frame at most every
  // 24 frames (a second), so that a viewer can seek.
  options.kmin = 9;
  options.kmax = 24;
  state_->config.quality = 80.0f;
  state_->config.method = 4;
  state_->config.thread_level = 1;
  state_->encoder = WebPAnimEncoderNew(width, height, &options);
  if (!state_->encoder) {
    *error = "the WebP encoder could not be set up (out of memory)";
    return false;
  }
  // Nothing is written before the animation is complete; see if it can be.
  SafeFile probe;
  if (!probe.open(path, error)) return false;
  probe.discard();
  return true;
}

bool WebpWriter::add(const std::vector<uint8_t>& rgba, std::string* error) {
  if (rgba.size() != static_cast<size_t>(width_) * static_cast<size_t>(height_) * 4) {
    *error = "a frame of the wrong size reached the WebP encoder";
    return false;
  }
  WebPPicture picture;
  if (!WebPPictureInit(&picture)) {
    *error = "libwebp does not match the version the program was built with";
    return false;
  }
  picture.use_argb = 1;
  picture.width = width_;
  picture.height = height_;
  const bool ok = WebPPictureImportRGBA(&picture, rgba.data(), width_ * 4) &&
                  WebPAnimEncoderAdd(state_->encoder, &picture, added_ * 1000 / kFramesPerSecond,
                                     &state_->config);
  WebPPictureFree(&picture);
  if (!ok) {
    const char* why = WebPAnimEncoderGetError(state_->encoder);
    *error = std::string("the WebP encoder failed: ") + (why && *why ? why : "out of memory");
    return false;
  }
  ++added_;
  return true;
}

bool WebpWriter::finish(std::string* error) {
  WebPData data;
  WebPDataInit(&data);
  if (!WebPAnimEncoderAdd(state_->encoder, nullptr, added_ * 1000 / kFramesPerSecond, nullptr) ||
      !WebPAnimEncoderAssemble(state_->encoder, &data)) {
    const char* why = WebPAnimEncoderGetError(state_->encoder);
    *error = std::string("the WebP encoder failed: ") + (why && *why ? why : "out of memory");
    WebPDataClear(&data);
    return false;
  }
  SafeFile file;
  const bool ok =
      file.open(path_, error) && file.write(data.bytes, data.size, error) && file.commit(error);
  WebPDataClear(&data);
  return ok;
}

std::string encoder_versions() {
  const int webp = WebPGetEncoderVersion();
  return std::string("libpng ") + png_get_libpng_ver(nullptr) + ", zlib " + zlibVersion() +
         ", libwebp " + std::to_string((webp >> 16) & 0xFF) + "." +
         std::to_string((webp >> 8) & 0xFF) + "." + std::to_string(webp & 0xFF);
}

}  // namespace poster
