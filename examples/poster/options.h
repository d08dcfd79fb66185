// The command line of quillon-poster.
#ifndef QUILLON_POSTER_OPTIONS_H
#define QUILLON_POSTER_OPTIONS_H

#include <string>

#include "projection.h"

namespace poster {

// What --out names: one picture, or with --frames a folder of numbered
// PNGs, an animated PNG or an animated WebP.
enum class OutputKind { kPoster, kFrameFolder, kApng, kWebp };

struct Options {
  std::string shp;  // empty: the bundled sample; "-": standard input
  std::string url;  // download this shapefile first
  std::string out;  // poster file ("-": standard output), or see OutputKind
  OutputKind output = OutputKind::kPoster;
  int frames = 0;   // 0: one still poster
  int width = 1600;
  int threads = 0;  // 0: one per processor
  std::string color_by;                   // --color-by FIELD
  std::string where_field, where_value;   // --where FIELD=VALUE
  Projection world = Projection::kMercator;
  bool world_given = false;  // --projection was given
  Projection conic = Projection::kLcc;
  double lon0 = 0.0;         // --lon0: central meridian of a world map
  bool lon0_given = false;
};

enum class ParseResult { kRun, kHelp, kVersion, kError };

// Fills "options" from the arguments; on kError "error" says why. Options
// take their value as the next argument or after "=" (--width=800); "--"
// ends the options, and one argument that is not an option names the
// shapefile, as --shp does.
ParseResult parse_options(int argc, char** argv, Options* options, std::string* error);

std::string usage_text(const char* program);

// Whether "url" can be handed to the download at all: http:// or https://
// (any case), a host name, no spaces or control characters.
bool is_download_url(const std::string& url);

}  // namespace poster

#endif  // QUILLON_POSTER_OPTIONS_H
