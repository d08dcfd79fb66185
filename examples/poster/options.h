// The command line of quillon-poster.
#ifndef QUILLON_POSTER_OPTIONS_H
#define QUILLON_POSTER_OPTIONS_H

#include <string>

#include "projection.h"

namespace poster {

struct Options {
  std::string shp;  // empty: the bundled sample
  std::string url;  // download this shapefile first
  std::string out;  // poster file, or the folder for --frames
  int frames = 0;   // 0: one still poster
  int width = 1600;
  Projection world = Projection::kMercator;
  Projection conic = Projection::kLcc;
};

enum class ParseResult { kRun, kHelp, kError };

// Fills "options" from the arguments; on kError "error" says why.
ParseResult parse_options(int argc, char** argv, Options* options, std::string* error);

std::string usage_text(const char* program);

// Whether "url" can be handed to the download at all: http:// or https://
// (any case), a host name, no spaces or control characters.
bool is_download_url(const std::string& url);

}  // namespace poster

#endif  // QUILLON_POSTER_OPTIONS_H
