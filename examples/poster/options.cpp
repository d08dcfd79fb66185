#include "options.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace poster {

namespace {

bool parse_int(const char* text, long lo, long hi, int* out) {
  errno = 0;
  char* end = nullptr;
  const long v = std::strtol(text, &end, 10);
  if (errno != 0 || end == text || *end != '\0' || v < lo || v > hi) return false;
  *out = static_cast<int>(v);
  return true;
}

bool ends_with_png(const std::string& path) {
  if (path.size() < 4) return false;
  std::string ext = path.substr(path.size() - 4);
  for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return ext == ".png";
}

}  // namespace

bool is_download_url(const std::string& url) {
  std::string lower;
  for (char c : url.substr(0, 8)) lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
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
         " [options]\n"
         "\n"
         "Renders a map poster through libordane, libvelket and libtorvik: a world map\n"
         "with its coastline being drawn on and sparks flying, a globe, a tilted conic\n"
         "map seen through a perspective camera and the easing curves that animate it.\n"
         "\n"
         "  --shp FILE          polygon, polyline or point shapefile to draw\n"
         "                      (default: the bundled data/countries_110m.shp)\n"
         "  --url URL           download a shapefile over http or https first\n"
         "  --projection NAME   world map projection: mercator (default), lcc, albers, none\n"
         "  --conic NAME        projection of the tilted map: lcc (default) or albers\n"
         "  --frames N          write N numbered frames of the animation instead of one poster\n"
         "  --width PIXELS      poster width, 320 to 6400 (default 1600; height is 5/8 of it)\n"
         "  --out PATH          poster file, a .png (default out/poster.png), or with\n"
         "                      --frames the folder for the frames (default out/frames)\n"
         "  --help              show this text\n";
}

ParseResult parse_options(int argc, char** argv, Options* o, std::string* error) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") return ParseResult::kHelp;
    const bool takes_value = arg == "--shp" || arg == "--url" || arg == "--out" ||
                             arg == "--frames" || arg == "--width" || arg == "--projection" ||
                             arg == "--conic";
    if (!takes_value) {
      *error = "unknown option '" + arg + "'";
      return ParseResult::kError;
    }
    if (i + 1 >= argc) {
      *error = "option " + arg + " needs a value";
      return ParseResult::kError;
    }
    const char* value = argv[++i];
    if (arg == "--shp") {
      o->shp = value;
    } else if (arg == "--url") {
      o->url = value;
    } else if (arg == "--out") {
      o->out = value;
    } else if (arg == "--frames") {
      if (!parse_int(value, 1, 100000, &o->frames)) {
        *error = std::string("--frames takes a whole number from 1 to 100000, not '") + value + "'";
        return ParseResult::kError;
      }
    } else if (arg == "--width") {
      if (!parse_int(value, 320, 6400, &o->width)) {
        *error = std::string("--width takes a whole number from 320 to 6400, not '") + value + "'";
        return ParseResult::kError;
      }
    } else if (arg == "--projection") {
      if (!parse_projection(value, &o->world)) {
        *error =
            std::string("unknown projection '") + value + "' (choose " + projection_names() + ")";
        return ParseResult::kError;
      }
    } else if (arg == "--conic") {
      Projection p;
      if (!parse_projection(value, &p) || (p != Projection::kLcc && p != Projection::kAlbers)) {
        *error = std::string("unknown conic projection '") + value + "' (choose lcc or albers)";
        return ParseResult::kError;
      }
      o->conic = p;
    }
  }
  if (!o->shp.empty() && !o->url.empty()) {
    *error = "--shp and --url cannot be combined: --url downloads the file it draws";
    return ParseResult::kError;
  }
  if (!o->url.empty() && !is_download_url(o->url)) {
    *error = "--url takes an http:// or https:// URL with a host name, not '" + o->url + "'";
    return ParseResult::kError;
  }
  // Only PNG is written; the frames go into a folder, so this is for posters.
  std::error_code ec;
  if (o->frames == 0 && !o->out.empty() &&
      (o->out.back() == '/' || std::filesystem::is_directory(o->out, ec))) {
    *error = "--out '" + o->out + "' is a folder; give the poster's file name, ending in .png";
    return ParseResult::kError;
  }
  if (o->frames == 0 && !o->out.empty() && !ends_with_png(o->out)) {
    *error = "--out '" + o->out +
             "': the poster is written as PNG only, so give a file name ending in .png";
    return ParseResult::kError;
  }
  return ParseResult::kRun;
}

}  // namespace poster
