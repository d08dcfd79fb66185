#include "options.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <locale>
#include <sstream>
#include <system_error>
#include <vector>

namespace poster {

namespace {

bool parse_int(const std::string& text, long lo, long hi, int* out) {
  errno = 0;
  char* end = nullptr;
  const long v = std::strtol(text.c_str(), &end, 10);
  if (errno != 0 || end == text.c_str() || *end != '\0' || v < lo || v > hi) return false;
  *out = static_cast<int>(v);
  return true;
}

// A decimal number of degrees within [lo, hi], the whole of "text".
bool parse_degrees(const std::string& text, double lo, double hi, double* out) {
  if (text.empty() || std::isspace(static_cast<unsigned char>(text[0]))) return false;
  std::istringstream in(text);
  in.imbue(std::locale::classic());
  double v = 0.0;
  in >> v;
  if (in.fail() || !in.eof() || !std::isfinite(v) || v < lo || v > hi) return false;
  *out = v;
  return true;
}

std::string lower_extension(const std::string& path) {
  const std::filesystem::path p(path);
  std::string ext = p.extension().string();
  for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return ext;
}

bool takes_value(const std::string& name) {
  static const char* const names[] = {"--shp",      "--url",        "--out",   "--frames",
                                      "--width",    "--projection", "--conic", "--threads",
                                      "--color-by", "--where",      "--lon0"};
  for (const char* n : names)
    if (name == n) return true;
  return false;
}

// Picture formats that are not written, named so that "--out anim.gif" is
// refused rather than taken for a folder.
bool is_other_picture(const std::string& ext) {
  static const char* const exts[] = {".gif",  ".jpg", ".jpeg", ".tif", ".tiff", ".bmp",
                                     ".avif", ".mp4", ".webm", ".mkv", ".svg",  ".apng"};
  for (const char* e : exts)
    if (ext == e) return true;
  return false;
}

}  // namespace

bool is_download_url(const std::string& url) {
  std::string lower;
  for (char c : url.substr(0, 8))
    lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  size_t host = 0;
  if (lower.rfind("http://", 0) == 0)
    host = 7;
  else if (lower.rfind("https://", 0) == 0)
    host = 8;
  else
    return false;
  // A host name must follow, and no URL holds spaces or control characters.
  if (host >= url.size() || url[host] == '/' || url[host] == '?' || url[host] == '#' ||
      url[host] == ':')
    return false;
  for (char c : url)
    if (static_cast<unsigned char>(c) <= 0x20 || c == 0x7F) return false;
  return true;
}

std::string usage_text(const char* program) {
  return std::string("usage: ") + program +
         " [options] [--] [FILE.shp]\n"
         "\n"
         "Renders a map poster through libordane, libvelket and libtorvik: a world map\n"
         "with its coastline being drawn on and sparks flying, a globe, a tilted conic\n"
         "map seen through a perspective camera and the easing curves that animate it.\n"
         "Every panel shows the data's own extent.\n"
         "\n"
         "  --shp FILE          polygon, polyline or point shapefile to draw, '-' to read\n"
         "                      it from standard input (default: data/countries_110m.shp);\n"
         "                      a FILE after the options does the same\n"
         "  --url URL           download a shapefile over http or https first\n"
         "  --projection NAME   world map projection: mercator (default), lcc, albers, none\n"
         "  --conic NAME        projection of the tilted map: lcc (default) or albers\n"
         "  --lon0 DEG          central meridian of a world map, -180 to 180 (default 0;\n"
         "                      150 centres it on the Pacific)\n"
         "  --frames N          draw N frames of the animation instead of one poster\n"
         "  --width PIXELS      poster width, 320 to 6400 (default 1600; height is 5/8 of it)\n"
         "  --out PATH          the poster, a .png file (default out/poster.png; '-' for\n"
         "                      standard output); with --frames a folder of numbered PNGs\n"
         "                      (default out/frames), an animated .png (APNG, lossless)\n"
         "                      or an animated .webp (lossy, small)\n"
         "  --color-by FIELD    colour the shapes by a field of the .dbf: each text value\n"
         "                      its colour, numbers on a ramp of eight classes\n"
         "  --where FIELD=VALUE draw only the shapes whose field holds VALUE\n"
         "  --threads N         frames drawn at once, 1 to 64 (default: one per processor)\n"
         "  --version           show the versions of the program and its libraries\n"
         "  --help              show this text\n"
         "\n"
         "Options take their value as the next argument or after '=' (--width=800);\n"
         "'--' ends the options.\n";
}

ParseResult parse_options(int argc, char** argv, Options* o, std::string* error) {
  std::vector<std::string> positional;
  bool options_ended = false;
  bool shp_given = false;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (options_ended || arg == "-" || arg.empty() || arg[0] != '-') {
      positional.push_back(arg);
      continue;
    }
    if (arg == "--") {
      options_ended = true;
      continue;
    }
    if (arg == "--help" || arg == "-h") return ParseResult::kHelp;
    if (arg == "--version" || arg == "-V") return ParseResult::kVersion;
    std::string value;
    bool has_value = false;
    const size_t eq = arg.find('=');
    if (arg.rfind("--", 0) == 0 && eq != std::string::npos) {
      value = arg.substr(eq + 1);
      arg.resize(eq);
      has_value = true;
    }
    if (!takes_value(arg)) {
      *error = "unknown option '" + arg + "'";
      return ParseResult::kError;
    }
    if (!has_value) {
      if (i + 1 >= argc) {
        *error = "option " + arg + " needs a value";
        return ParseResult::kError;
      }
      value = argv[++i];
    }
    if (arg == "--shp") {
      if (value.empty()) {
        *error = "--shp needs a file name ('-' for standard input), not an empty one";
        return ParseResult::kError;
      }
      o->shp = value;
      shp_given = true;
    } else if (arg == "--url") {
      if (value.empty()) {
        *error = "--url needs a URL, not an empty one";
        return ParseResult::kError;
      }
      o->url = value;
    } else if (arg == "--out") {
      if (value.empty()) {
        *error = "--out needs a file or folder name, not an empty one";
        return ParseResult::kError;
      }
      o->out = value;
    } else if (arg == "--frames") {
      if (!parse_int(value, 1, 100000, &o->frames)) {
        *error = "--frames takes a whole number from 1 to 100000, not '" + value + "'";
        return ParseResult::kError;
      }
    } else if (arg == "--width") {
      if (!parse_int(value, 320, 6400, &o->width)) {
        *error = "--width takes a whole number from 320 to 6400, not '" + value + "'";
        return ParseResult::kError;
      }
    } else if (arg == "--threads") {
      if (!parse_int(value, 1, 64, &o->threads)) {
        *error = "--threads takes a whole number from 1 to 64, not '" + value + "'";
        return ParseResult::kError;
      }
    } else if (arg == "--color-by") {
      if (value.empty()) {
        *error = "--color-by needs a field name of the attribute table";
        return ParseResult::kError;
      }
      o->color_by = value;
    } else if (arg == "--where") {
      const size_t at = value.find('=');
      if (at == std::string::npos || at == 0) {
        *error = "--where takes FIELD=VALUE (NAME=France, POP_RANK=3), not '" + value + "'";
        return ParseResult::kError;
      }
      o->where_field = value.substr(0, at);
      o->where_value = value.substr(at + 1);
    } else if (arg == "--projection") {
      if (!parse_projection(value, &o->world)) {
        *error = "unknown projection '" + value + "' (choose " + projection_names() + ")";
        return ParseResult::kError;
      }
      o->world_given = true;
    } else if (arg == "--lon0") {
      if (!parse_degrees(value, -180.0, 180.0, &o->lon0)) {
        *error = "--lon0 takes degrees of longitude from -180 to 180, not '" + value + "'";
        return ParseResult::kError;
      }
      o->lon0_given = true;
    } else if (arg == "--conic") {
      Projection p;
      if (!parse_projection(value, &p) || (p != Projection::kLcc && p != Projection::kAlbers)) {
        *error = "unknown conic projection '" + value + "' (choose lcc or albers)";
        return ParseResult::kError;
      }
      o->conic = p;
    }
  }
  if (positional.size() > 1 || (positional.size() == 1 && shp_given)) {
    *error = "one shapefile at a time: '" + positional.back() + "' is one too many";
    return ParseResult::kError;
  }
  if (positional.size() == 1) {
    if (positional[0].empty()) {
      *error = "the shapefile's name is empty";
      return ParseResult::kError;
    }
    o->shp = positional[0];
  }
  if (!o->shp.empty() && !o->url.empty()) {
    *error = "--shp and --url cannot be combined: --url downloads the file it draws";
    return ParseResult::kError;
  }
  if (!o->url.empty() && !is_download_url(o->url)) {
    *error = "--url takes an http:// or https:// URL with a host name, not '" + o->url + "'";
    return ParseResult::kError;
  }
  std::error_code ec;
  const std::string ext = lower_extension(o->out);
  const bool folder =
      !o->out.empty() && (o->out.back() == '/' || std::filesystem::is_directory(o->out, ec));
  if (o->frames == 0) {
    // One picture, as PNG.
    o->output = OutputKind::kPoster;
    if (folder) {
      *error = "--out '" + o->out + "' is a folder; give the poster's file name, ending in .png";
      return ParseResult::kError;
    }
    if (!o->out.empty() && o->out != "-" && ext != ".png") {
      *error = "--out '" + o->out +
               "': the poster is written as PNG only, so give a file name ending in .png";
      return ParseResult::kError;
    }
    return ParseResult::kRun;
  }
  if (o->out == "-") {
    *error = "--frames writes files: --out - (standard output) takes one poster only";
    return ParseResult::kError;
  }
  if (folder || o->out.empty() || ext.empty()) {
    o->output = OutputKind::kFrameFolder;
  } else if (ext == ".png") {
    o->output = OutputKind::kApng;
  } else if (ext == ".webp") {
    o->output = OutputKind::kWebp;
  } else if (is_other_picture(ext)) {
    *error = "--out '" + o->out +
             "': animations are written as an animated .png (APNG) or .webp, or as numbered "
             "PNGs into a folder (a name without an extension)";
    return ParseResult::kError;
  } else {
    o->output = OutputKind::kFrameFolder;
  }
  return ParseResult::kRun;
}

}  // namespace poster
