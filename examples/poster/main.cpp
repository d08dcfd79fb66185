// quillon-poster: draws a map poster, or an animation of it, with libordane,
// libvelket and libtorvik. With no arguments it reads the bundled Natural
// Earth countries and writes out/poster.png.
//
// Exit status: 0 done, 1 the input, the download or the output failed,
// 2 the command line is wrong.
#include <ordane.h>
#include <torvik.h>
#include <velket.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <cstdlib>
#include <filesystem>
#include <regex>
#include <string>
#include <system_error>
#include <thread>

#include <sys/stat.h>
#include <unistd.h>

#include "animation.h"
#include "attributes.h"
#include "bl_objects.h"
#include "download.h"
#include "frame_pool.h"
#include "map_data.h"
#include "options.h"
#include "png_encoder.h"
#include "safe_file.h"
#include "scene.h"
#include "sparks.h"
#include "timeline.h"

#ifndef QUILLON_POSTER_BLEND2D
#define QUILLON_POSTER_BLEND2D "Blend2D"
#endif

namespace {

namespace fs = std::filesystem;

constexpr const char* kSample = "data/countries_110m.shp";

// Where progress and notes go: standard output, or standard error when the
// poster itself goes to standard output.
std::FILE* g_log = stdout;

int fail(const std::string& message) {
  std::fprintf(stderr, "quillon-poster: %s\n", message.c_str());
  return 1;
}

// Text written to standard output must have arrived (a full disk, a closed
// pipe): checked once at the end, as a failure of the run.
int finish(int status) {
  if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
    const int err = errno;
    std::fprintf(stderr, "quillon-poster: cannot write to standard output: %s\n",
                 err ? std::strerror(err) : "write error");
    return 1;
  }
  return status;
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

int frame_digits(int count) { return std::max<int>(4, static_cast<int>(std::to_string(count).size())); }

std::string frame_name(const fs::path& folder, int index, int count) {
  // Zero-padded to at least four digits, so the names sort in frame order.
  std::string number = std::to_string(index);
  number.insert(0, static_cast<size_t>(frame_digits(count)) - number.size(), '0');
  return (folder / ("frame_" + number + ".png")).string();
}

// Frames in "folder" that this run does not write: left by an earlier run
// with more frames (or numbered with more digits), they would play on after
// the new ones. They are removed, and the run says so.
bool remove_stale_frames(const fs::path& folder, int count, std::string* error) {
  const std::regex pattern("frame_([0-9]+)\\.png");
  std::vector<std::string> stale;
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    std::smatch m;
    if (!std::regex_match(name, m, pattern)) continue;
    const std::string digits = m[1].str();
    const bool ours = static_cast<int>(digits.size()) == frame_digits(count) &&
                      digits.size() <= 6 && std::stoi(digits) >= 1 && std::stoi(digits) <= count;
    if (!ours) stale.push_back(name);
  }
  if (ec) {
    *error = "cannot list the folder '" + folder.string() + "': " + ec.message();
    return false;
  }
  if (stale.empty()) return true;
  std::sort(stale.begin(), stale.end());
  for (const std::string& name : stale) {
    if (!fs::remove(folder / name, ec) && ec) {
      *error = "cannot remove the stale frame '" + (folder / name).string() + "': " + ec.message();
      return false;
    }
  }
  std::fprintf(g_log, "removed %zu stale frame%s from an earlier, longer run (%s%s%s)\n",
               stale.size(), stale.size() == 1 ? "" : "s", stale.front().c_str(),
               stale.size() > 1 ? " to " : "", stale.size() > 1 ? stale.back().c_str() : "");
  return true;
}

// On a terminal the progress line redraws itself; into a file or a pipe it
// is one line every twentieth of the run (and for the last frame), so that
// a log reads cleanly. Each line is flushed as it is written.
void progress(bool terminal, int done, int count, const std::string& what) {
  if (!terminal) {
    const int every = std::max(1, count / 20);
    if (done % every == 0 || done == count) {
      std::fprintf(g_log, "frame %d/%d %s\n", done, count, what.c_str());
      std::fflush(g_log);
    }
    return;
  }
  const int bar = 30;
  const int filled = static_cast<int>(static_cast<long long>(done) * bar / count);
  std::fprintf(g_log, "\rframe %d/%d [%s%s] %s", done, count, std::string(static_cast<size_t>(filled), '#').c_str(),
               std::string(static_cast<size_t>(bar - filled), '.').c_str(), what.c_str());
  std::fflush(g_log);
}

std::string version_text() {
  auto v = [](int major, int minor, int patch) {
    return std::to_string(major) + "." + std::to_string(minor) + "." + std::to_string(patch);
  };
  return "quillon-poster " +
         v(ORDANE_VERSION_MAJOR, ORDANE_VERSION_MINOR, ORDANE_VERSION_PATCH) + "\nlibordane " +
         v(ORDANE_VERSION_MAJOR, ORDANE_VERSION_MINOR, ORDANE_VERSION_PATCH) + ", libvelket " +
         v(VELKET_VERSION_MAJOR, VELKET_VERSION_MINOR, VELKET_VERSION_PATCH) + ", libtorvik " +
         v(TORVIK_VERSION_MAJOR, TORVIK_VERSION_MINOR, TORVIK_VERSION_PATCH) + "\n" +
         QUILLON_POSTER_BLEND2D + " " +
         v((BL_VERSION >> 16) & 0xFF, (BL_VERSION >> 8) & 0xFF, BL_VERSION & 0xFF) + "\n" +
         poster::encoder_versions() + "\n";
}

std::string human_size(uintmax_t bytes) {
  char text[32];
  if (bytes < 10000)
    std::snprintf(text, sizeof text, "%ju bytes", bytes);
  else if (bytes < 10000000)
    std::snprintf(text, sizeof text, "%.1f kB", static_cast<double>(bytes) / 1e3);
  else
    std::snprintf(text, sizeof text, "%.1f MB", static_cast<double>(bytes) / 1e6);
  return text;
}

// Downloads "url" into "dest". The bytes go to a temporary file beside it
// that is renamed only when the transfer succeeded, so a failed download
// never replaces an earlier good one. While it runs, the size received so
// far is shown (redrawn on a terminal, one line per megabyte into a log).
bool download(const std::string& url, const std::string& dest, int32_t* status,
              std::string* error) {
  poster::SafeFile file;
  if (!file.open(dest, error)) return false;
  std::fprintf(g_log, "downloading %s\n", url.c_str());
  std::fflush(g_log);
  std::atomic<bool> done{false};
  int32_t rc = ORDANE_OK;
  int32_t http_status = 0;
  std::thread transfer([&] {
    rc = ordane_http_download_file_status(url.c_str(), file.temp_path().c_str(), &http_status);
    done.store(true);
  });
  const bool terminal = isatty(fileno(g_log)) == 1;
  uintmax_t shown = 0;
  while (!done.load()) {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    std::error_code ec;
    const uintmax_t size = fs::file_size(file.temp_path(), ec);
    if (ec || size == shown) continue;
    if (terminal) {
      std::fprintf(g_log, "\r  %s received", human_size(size).c_str());
    } else if (size / 1000000 != shown / 1000000) {
      std::fprintf(g_log, "  %s received\n", human_size(size).c_str());
    }
    std::fflush(g_log);
    shown = size;
  }
  transfer.join();
  if (terminal && shown > 0) std::fprintf(g_log, "\n");
  *status = http_status;
  // An error page or a redirect that was not followed is not the file: the
  // temporary file goes, and an earlier download stays as it was.
  if (rc != ORDANE_OK || poster::is_failure_status(http_status)) {
    *error = poster::download_failure(url, rc, http_status);
    return false;
  }
  std::error_code ec;
  const uintmax_t size = fs::file_size(file.temp_path(), ec);
  if (!file.commit(error)) return false;
  std::fprintf(g_log, "saved %s (%s)\n", dest.c_str(), human_size(ec ? 0 : size).c_str());
  return true;
}

// Standard input copied to a temporary file, since the shapefile is read in
// two passes (its header, then its records).
bool read_stdin(poster::SafeFile* copy, std::string* error) {
  if (isatty(STDIN_FILENO) == 1) {
    *error = "--shp - reads the shapefile from standard input, which is a terminal: pipe a "
             "file into it (quillon-poster --shp - < countries.shp)";
    return false;
  }
  const char* tmp = std::getenv("TMPDIR");
  const std::string folder = tmp && *tmp ? tmp : "/tmp";
  if (!copy->open(folder + "/quillon-poster-stdin.shp", error)) return false;
  std::vector<char> buffer(1 << 16);
  for (;;) {
    const ssize_t n = read(STDIN_FILENO, buffer.data(), buffer.size());
    if (n == 0) return true;
    if (n < 0) {
      if (errno == EINTR) continue;
      *error = std::string("cannot read standard input: ") + std::strerror(errno);
      return false;
    }
    if (!copy->write(buffer.data(), static_cast<size_t>(n), error)) return false;
  }
}

void replace_all(std::string* text, const std::string& from, const std::string& to) {
  if (from.empty()) return;
  for (size_t at = text->find(from); at != std::string::npos; at = text->find(from, at + to.size()))
    text->replace(at, from.size(), to);
}

int run(const poster::Options& options) {
  std::string error;
  std::string shp = options.shp.empty() ? sample_path() : options.shp;
  std::string shown_name = shp;
  poster::SafeFile stdin_copy;
  if (options.shp == "-") {
    if (!read_stdin(&stdin_copy, &error)) return fail(error);
    shp = stdin_copy.temp_path();
    shown_name = "standard input";
  }
  int32_t http_status = 0;
  if (!options.url.empty()) {
    if (!make_folder("out/downloads", &error)) return fail(error);
    shp = shown_name = poster::download_destination(options.url, "out/downloads");
    if (!download(options.url, shp, &http_status, &error)) return fail(error);
  }

  poster::MapData map;
  if (!poster::load_shapefile(shp, &map, &error)) {
    replace_all(&error, "'" + shp + "'", shown_name == shp ? "'" + shp + "'" : shown_name);
    // The server answered with success, but not with a shapefile (a login
    // page, say).
    if (!options.url.empty())
      error = "what " + options.url + " returned (" + poster::http_status_text(http_status) +
              ") is unusable: " + error + "; what arrived is left in '" + shp + "'";
    return fail(error);
  }
  if (!options.color_by.empty() || !options.where_field.empty()) {
    if (options.shp == "-")
      return fail("--color-by and --where need the attribute table (.dbf) beside the "
                  "shapefile, which standard input cannot bring");
    poster::AttributeChoice choice{options.where_field, options.where_value, options.color_by};
    std::string summary;
    if (!poster::apply_attributes(shp, choice, &map, &summary, &error)) return fail(error);
    if (!summary.empty()) std::fprintf(g_log, "%s\n", summary.c_str());
  }
  // A damaged file is still drawn as far as it goes, but the run fails.
  const bool damaged = !map.damage.empty();
  if (damaged) {
    replace_all(&map.damage, "'" + shp + "'", shown_name == shp ? "'" + shp + "'" : shown_name);
    std::fprintf(stderr, "quillon-poster: warning: %s\n", map.damage.c_str());
  }
  if (map.stray_points > 0)
    std::fprintf(stderr,
                 "quillon-poster: note: left out %lld point%s of '%s' that lie%s outside "
                 "longitude -180..180 and latitude -90..90\n",
                 static_cast<long long>(map.stray_points), map.stray_points == 1 ? "" : "s",
                 shown_name.c_str(), map.stray_points == 1 ? "s" : "");
  if (map.reprojected)
    std::fprintf(g_log, "reprojected %s from %s (its .prj) to longitude/latitude with PROJ\n",
                 shown_name.c_str(), map.crs_name.c_str());
  if (!map.prj_problem.empty())
    std::fprintf(stderr, "quillon-poster: note: the .prj of '%s' cannot be used: %s\n",
                 shown_name.c_str(), map.prj_problem.c_str());
  if (!map.geographic && options.world != poster::Projection::kNone) {
    const poster::Box& b = map.bounds;
    std::fprintf(stderr,
                 "quillon-poster: note: '%s' has coordinates outside longitude -180..180 and "
                 "latitude -90..90 (x %.6g to %.6g, y %.6g to %.6g)%s; it looks projected (in "
                 "metres or feet, say). Its coordinates are drawn as they are and the globe "
                 "stays empty; %s\n",
                 shown_name.c_str(), b.min_x, b.max_x, b.min_y, b.max_y,
                 map.has_prj ? "" : " and no .prj beside it",
                 map.has_prj ? "its .prj could not be used"
                             : "put the .prj that came with it beside it to have it reprojected");
  }

  poster::SceneOptions scene_options;
  scene_options.world = options.world;
  scene_options.conic = options.conic;
  scene_options.width = options.width;
  scene_options.world_given = options.world_given;
  scene_options.lon0 = options.lon0;
  scene_options.lon0_given = options.lon0_given;
  const poster::Scene scene(map, scene_options);
  for (const std::string& note : scene.notes())
    std::fprintf(stderr, "quillon-poster: note: %s\n", note.c_str());

  if (options.frames == 0) {
    const std::string file = options.out.empty() ? std::string("out/poster.png") : options.out;
    if (file == "-" && isatty(STDOUT_FILENO) == 1)
      return fail("--out - writes the PNG to standard output, which is a terminal: redirect it "
                  "(quillon-poster --out - > poster.png)");
    if (file != "-" && !make_folder(fs::path(file).parent_path(), &error)) return fail(error);
    poster::SafeFile out;
    if (!out.open(file, &error)) return fail(error);
    poster::Sparks sparks(scene.pixel_scale());
    poster::Image image(scene.width(), scene.height());
    const poster::SceneState state = poster::poster_state();
    scene.warm_up(state, &sparks);
    scene.render(state, sparks, &image);
    std::vector<uint8_t> png;
    if (!poster::encode_png(image, poster::PngEffort::kSmall, true, &png, &error) ||
        !out.write(png.data(), png.size(), &error) || !out.commit(&error))
      return fail(error);
    std::fprintf(g_log, "wrote %s (%d x %d) from %s: %d shapes, %zu parts\n",
                 file == "-" ? "the poster to standard output" : file.c_str(), scene.width(),
                 scene.height(), shown_name.c_str(), map.num_shapes, map.parts.size());
    if (damaged) return fail("the poster shows only what could be read");
    return scene.empty() ? fail("the poster shows none of the data") : 0;
  }

  const int count = options.frames;
  const int threads = options.threads > 0 ? options.threads : poster::default_threads();
  const bool terminal = isatty(fileno(g_log)) == 1;
  const auto started = std::chrono::steady_clock::now();
  poster::FrameEncoder encoder;
  poster::FrameConsumer consumer;
  poster::ApngWriter apng;
  poster::WebpWriter webp;
  std::string target;
  switch (options.output) {
    case poster::OutputKind::kPoster:
    case poster::OutputKind::kFrameFolder: {
      const fs::path folder = options.out.empty() ? fs::path("out/frames") : fs::path(options.out);
      target = folder.string();
      if (!make_folder(folder, &error) || !remove_stale_frames(folder, count, &error))
        return fail(error);
      encoder = [](const poster::Image& image, std::vector<uint8_t>* bytes, std::string* e) {
        return poster::encode_png(image, poster::PngEffort::kFast, true, bytes, e);
      };
      consumer = [&, folder](int i, std::vector<uint8_t>& bytes, std::string* e) {
        const std::string file = frame_name(folder, i + 1, count);
        // Every frame renamed into place complete; flushed to the disk only
        // as a whole, at the end, which is much faster.
        poster::SafeFile out;
        if (!out.open(file, e) || !out.write(bytes.data(), bytes.size(), e) || !out.commit(e, false))
          return false;
        progress(terminal, i + 1, count, file);
        return true;
      };
      break;
    }
    case poster::OutputKind::kApng:
      target = options.out;
      if (!make_folder(fs::path(target).parent_path(), &error) ||
          !apng.open(target, count, &error))
        return fail(error);
      encoder = [](const poster::Image& image, std::vector<uint8_t>* bytes, std::string* e) {
        // Every frame in the same colour type, as the animation requires.
        return poster::encode_png(image, poster::PngEffort::kFast, false, bytes, e);
      };
      consumer = [&](int i, std::vector<uint8_t>& bytes, std::string* e) {
        if (!apng.add(bytes, e)) return false;
        progress(terminal, i + 1, count, target);
        return true;
      };
      break;
    case poster::OutputKind::kWebp:
      target = options.out;
      if (!make_folder(fs::path(target).parent_path(), &error) ||
          !webp.open(target, scene.width(), scene.height(), &error))
        return fail(error);
      encoder = [](const poster::Image& image, std::vector<uint8_t>* bytes, std::string*) {
        int channels = 0;
        poster::straight_pixels(image, false, bytes, &channels);
        return true;
      };
      consumer = [&](int i, std::vector<uint8_t>& bytes, std::string* e) {
        if (!webp.add(bytes, e)) return false;
        progress(terminal, i + 1, count, target);
        return true;
      };
      break;
  }
  int workers = 1;
  const bool drawn =
      poster::draw_frames(scene, count, threads, encoder, consumer, &error, &workers);
  if (terminal) std::fprintf(g_log, "\n");
  if (!drawn) return fail(error);
  if (options.output == poster::OutputKind::kApng && !apng.finish(&error)) return fail(error);
  if (options.output == poster::OutputKind::kWebp && !webp.finish(&error)) return fail(error);
  if (options.output == poster::OutputKind::kFrameFolder) sync();
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  std::fprintf(g_log, "wrote %d frames to %s in %.1f s (%.1f frames per second, %d thread%s)\n",
               count, target.c_str(), seconds, seconds > 0 ? count / seconds : 0.0,
               workers, workers == 1 ? "" : "s");
  if (damaged) return fail("the frames show only what could be read");
  return scene.empty() ? fail("the frames show none of the data") : 0;
}

}  // namespace

int main(int argc, char** argv) {
  // Every line reaches a log or a pipe as it is written, not when a buffer
  // fills.
  std::setvbuf(stdout, nullptr, _IOLBF, BUFSIZ);
  poster::install_interrupt_cleanup();
  poster::Options options;
  std::string error;
  switch (poster::parse_options(argc, argv, &options, &error)) {
    case poster::ParseResult::kHelp:
      std::fputs(poster::usage_text("quillon-poster").c_str(), stdout);
      return finish(0);
    case poster::ParseResult::kVersion:
      std::fputs(version_text().c_str(), stdout);
      return finish(0);
    case poster::ParseResult::kError:
      std::fprintf(stderr, "quillon-poster: %s\n%s", error.c_str(),
                   "run quillon-poster --help for the options\n");
      return 2;
    case poster::ParseResult::kRun:
      break;
  }
  if (options.out == "-") g_log = stderr;
  return finish(run(options));
}
