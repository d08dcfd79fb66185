// quillon-poster: draws a map poster, or an animation of it, with libordane,
// libvelket and libtorvik. With no arguments it reads the bundled Natural
// Earth countries and writes out/poster.png.
//
// Exit status: 0 done, 1 the input, the download or the output failed,
// 2 the command line is wrong.
#include <ordane.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

#include <unistd.h>

#include "bl_objects.h"
#include "download.h"
#include "map_data.h"
#include "options.h"
#include "scene.h"
#include "sparks.h"
#include "timeline.h"

namespace {

namespace fs = std::filesystem;

constexpr const char* kSample = "data/countries_110m.shp";

int fail(const std::string& message) {
  std::fprintf(stderr, "quillon-poster: %s\n", message.c_str());
  return 1;
}

// The sample relative to the working folder (the README runs from the
// repository), else where the build found it.
std::string sample_path() {
  std::error_code ec;
  if (fs::exists(kSample, ec)) return kSample;
#ifdef QUILLON_SAMPLE_SHP
  if (fs::exists(QUILLON_SAMPLE_SHP, ec)) return QUILLON_SAMPLE_SHP;
#endif
  return kSample;
}

bool make_folder(const fs::path& folder, std::string* error) {
  if (folder.empty()) return true;
  std::error_code ec;
  fs::create_directories(folder, ec);
  if (ec) *error = "cannot create the folder '" + folder.string() + "': " + ec.message();
  return !ec;
}

std::string frame_name(const fs::path& folder, int index, int count) {
  // Zero-padded to at least four digits, so the names sort in frame order.
  const size_t digits = std::max<size_t>(4, std::to_string(count).size());
  std::string number = std::to_string(index);
  number.insert(0, digits - number.size(), '0');
  return (folder / ("frame_" + number + ".png")).string();
}

// Why "file" cannot be written, found by opening it the way the PNG writer
// will; an empty reason when it can be.
std::string write_problem(const fs::path& file) {
  std::error_code ec;
  if (fs::is_directory(file, ec)) return "it is a folder; give a file name ending in .png";
  const bool existed = fs::exists(file, ec);
  errno = 0;
  std::FILE* f = std::fopen(file.string().c_str(), "ab");
  const int err = errno;
  if (f) {
    std::fclose(f);
    if (!existed) fs::remove(file, ec);
    return std::string();
  }
  return err ? std::strerror(err) : "unknown reason";
}

// On a terminal the progress line redraws itself; into a file or a pipe it
// is one line every twentieth of the run (and for the last frame), so that
// a log reads cleanly.
void progress(bool terminal, int done, int count, const std::string& file) {
  if (!terminal) {
    const int every = std::max(1, count / 20);
    if (done % every == 0 || done == count)
      std::printf("frame %d/%d %s\n", done, count, file.c_str());
    return;
  }
  const int bar = 30;
  const int filled = static_cast<int>(static_cast<long long>(done) * bar / count);
  std::printf("\rframe %d/%d [%s%s] %s", done, count, std::string(filled, '#').c_str(),
              std::string(bar - filled, '.').c_str(), file.c_str());
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  poster::Options options;
  std::string error;
  switch (poster::parse_options(argc, argv, &options, &error)) {
    case poster::ParseResult::kHelp:
      std::fputs(poster::usage_text("quillon-poster").c_str(), stdout);
      return 0;
    case poster::ParseResult::kError:
      std::fprintf(stderr, "quillon-poster: %s\n%s", error.c_str(),
                   "run quillon-poster --help for the options\n");
      return 2;
    case poster::ParseResult::kRun:
      break;
  }

  std::string shp = options.shp.empty() ? sample_path() : options.shp;
  if (!options.url.empty()) {
    if (!make_folder("out/downloads", &error)) return fail(error);
    shp = poster::download_destination(options.url, "out/downloads");
    std::printf("downloading %s\n", options.url.c_str());
    std::fflush(stdout);
    const int32_t rc = ordane_http_download_file(options.url.c_str(), shp.c_str());
    if (rc != ORDANE_OK)
      return fail("download of " + options.url + " failed: " + poster::download_result_text(rc) +
                  " (code " + std::to_string(rc) + ")");
    std::printf("saved %s\n", shp.c_str());
  }

  poster::MapData map;
  if (!poster::load_shapefile(shp, &map, &error)) {
    // The download saves whatever body arrives, whatever the HTTP status, so
    // an error page (404, a login page) lands in the file.
    if (!options.url.empty())
      error = "what " + options.url + " returned is unusable: " + error +
              "; the server may have answered with an error page instead of the file "
              "(the download keeps whatever body arrives, whatever the HTTP status); what arrived "
              "is left in '" + shp + "'";
    return fail(error);
  }
  // A damaged file is still drawn as far as it goes, but the run fails.
  const bool damaged = !map.damage.empty();
  if (damaged) std::fprintf(stderr, "quillon-poster: warning: %s\n", map.damage.c_str());
  if (map.stray_points > 0)
    std::fprintf(stderr,
                 "quillon-poster: note: left out %lld point%s of '%s' that lie%s outside "
                 "longitude -180..180 and latitude -90..90\n",
                 static_cast<long long>(map.stray_points), map.stray_points == 1 ? "" : "s",
                 shp.c_str(), map.stray_points == 1 ? "s" : "");
  if (!map.geographic && options.world != poster::Projection::kNone)
    std::fprintf(stderr,
                 "quillon-poster: note: '%s' is not in longitude/latitude degrees; "
                 "drawing its coordinates as they are\n",
                 shp.c_str());

  poster::SceneOptions scene_options;
  scene_options.world = options.world;
  scene_options.conic = options.conic;
  scene_options.width = options.width;
  const poster::Scene scene(map, scene_options);
  // rand() drives the particle emission; a fixed seed makes every run draw
  // the same sparks.
  std::srand(20240611u);
  poster::Sparks sparks(scene.pixel_scale());
  poster::Image image(scene.width(), scene.height());

  if (options.frames == 0) {
    const fs::path file = options.out.empty() ? fs::path("out/poster.png") : fs::path(options.out);
    if (!make_folder(file.parent_path(), &error)) return fail(error);
    const std::string problem = write_problem(file);
    if (!problem.empty()) return fail("cannot write '" + file.string() + "': " + problem);
    const poster::SceneState state = poster::poster_state();
    scene.warm_up(state, &sparks);
    scene.render(state, sparks, &image);
    if (!image.write_png(file.string().c_str()))
      return fail("cannot write '" + file.string() + "': the PNG encoder failed");
    std::printf("wrote %s (%d x %d) from %s: %d shapes, %zu parts\n", file.string().c_str(),
                scene.width(), scene.height(), shp.c_str(), map.num_shapes, map.parts.size());
    return damaged ? fail("the poster shows only what could be read") : 0;
  }

  const fs::path folder = options.out.empty() ? fs::path("out/frames") : fs::path(options.out);
  if (!make_folder(folder, &error)) return fail(error);
  const bool terminal = isatty(fileno(stdout)) == 1;
  const double frame_time = 1.0 / 24.0;
  double previous_reveal = 0.0;
  for (int i = 0; i < options.frames; ++i) {
    const poster::SceneState state = poster::frame_state(i, options.frames);
    if (previous_reveal < 1.0 && state.reveal >= 1.0) scene.finale(&sparks);
    previous_reveal = state.reveal;
    scene.advance(state, &sparks, frame_time);
    scene.render(state, sparks, &image);
    const std::string file = frame_name(folder, i + 1, options.frames);
    if (!image.write_png(file.c_str())) {
      if (terminal) std::printf("\n");
      std::fflush(stdout);
      const std::string problem = write_problem(file);
      return fail("cannot write '" + file + "': " +
                  (problem.empty() ? std::string("the PNG encoder failed") : problem));
    }
    progress(terminal, i + 1, options.frames, file);
  }
  std::printf("%swrote %d frames to %s\n", terminal ? "\n" : "", options.frames,
              folder.string().c_str());
  return damaged ? fail("the frames show only what could be read") : 0;
}
