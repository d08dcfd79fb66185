// PNG encoding in memory (libpng), so that the bytes can be written safely
// (safe_file.h) or to standard output, and gathered into an animated PNG.
#ifndef QUILLON_POSTER_PNG_ENCODER_H
#define QUILLON_POSTER_PNG_ENCODER_H

#include <cstdint>
#include <string>
#include <vector>

#include "bl_objects.h"

namespace poster {

// Rows of straight (not premultiplied) RGBA bytes of "image", or RGB when
// every pixel is opaque ("*channels" says which).
void straight_pixels(const Image& image, bool allow_rgb, std::vector<uint8_t>* out,
                     int* channels);

// How hard the encoder tries: kSmall (every row filter, zlib level 6) for
// a poster; kFast for frames, about three times faster for 10 % more bytes
// (the Up filter alone, level 2).
enum class PngEffort { kSmall, kFast };

// "image" as PNG bytes; an opaque picture is stored as RGB when
// "allow_rgb". False, with the cause in "error", when libpng fails.
bool encode_png(const Image& image, PngEffort effort, bool allow_rgb, std::vector<uint8_t>* png, std::string* error);

}  // namespace poster

#endif  // QUILLON_POSTER_PNG_ENCODER_H
