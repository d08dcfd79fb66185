// The textured globe: the worked pixels, where the texture is sampled, the
// atmosphere rim and glow, argument checks and degenerate placements, and a
// comparison with a straightforward per-pixel reference of the formulas at
// every kernel level the CPU runs. The kernels take asin, atan2 and pow from
// a vector library, so they may step one unit off the reference in a rare
// channel; they must paint exactly the same pixels, step at most one unit in
// at most 0.1 % of them, and agree with each other bit for bit.
#include <torvik.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "cpu_dispatch.h"
#include "kernels/globe_kernels.h"

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

// ============================================================================
// Reference renderer
// ============================================================================

// Every formula evaluated for each pixel on its own, nothing hoisted, in the
// order that fixes the result. The guards are the renderer's own: a
// non-finite or unplaceable disc draws nothing, NaN texture coordinates read
// the first texel, and a glow weight below 0 counts as 0.
int32_t reference_globe(uint32_t* pixels, int32_t width, int32_t height, int32_t stride,
                        const uint32_t* texture, int32_t tw, int32_t th, int32_t tstride,
                        double cx, double cy, double radius, double rotation, double tilt,
                        uint32_t atmosphere) {
  if (!pixels || width <= 0 || height <= 0 || !texture || tw < 1 || th < 1) return -1;
  if (std::llabs(stride) < 4LL * width || std::llabs(tstride) < 4LL * tw) return -1;
  if (radius <= 0) return -1;
  if (!std::isfinite(cx) || !std::isfinite(cy) || !std::isfinite(radius * radius) ||
      !std::isfinite(1 / radius)) {
    return 0;
  }
  const double k = 0.017453292519943295;
  const bool atmo = atmosphere >= 0x01000000u;
  const double halo0 = 1.15 * radius;
  const double ry0 = std::max(0.0, std::floor(cy - halo0));
  const double ry1 = std::min(height - 1.0, std::ceil(cy + halo0));
  const double rx0 = std::max(0.0, std::floor(cx - halo0));
  const double rx1 = std::min(width - 1.0, std::ceil(cx + halo0));
  if (ry0 > ry1 || rx0 > rx1) return 0;

  auto byte = [](uint32_t w, int shift) { return static_cast<double>((w >> shift) & 0xFF); };
  for (int64_t y = static_cast<int64_t>(ry0); y <= static_cast<int64_t>(ry1); ++y) {
    for (int64_t x = static_cast<int64_t>(rx0); x <= static_cast<int64_t>(rx1); ++x) {
      const double t = tilt * k, ct = std::cos(t), st = std::sin(t);
      const double rot = rotation * k, inv = 1 / radius, r2 = radius * radius;
      const double halo = 1.15 * radius;
      uint32_t& px = pixels[y * (stride / 4) + x];
      const double dx = static_cast<double>(x) - cx, dy = static_cast<double>(y) - cy;
      const double d2 = dx * dx + dy * dy;
      if (d2 <= r2) {
        const double nx = dx * inv, ny = dy * inv, nz = std::sqrt(r2 - d2) * inv;
        const double yp = ny * ct - nz * st, zp = ny * st + nz * ct;
        const double phi = std::asin(std::min(1.0, std::max(-1.0, -yp)));
        const double lambda = std::atan2(nx, zp) + rot;
        double u = std::fmod(lambda / 6.283185307179586 + 0.5, 1);
        if (u < 0) u += 1;
        if (std::isnan(u)) u = 0;
        double v = phi / -3.141592653589793 + 0.5;
        v = std::isnan(v) ? 0 : std::min(1.0, std::max(0.0, v));
        const double fx = u * (tw - 1), fy = v * (th - 1);
        const int64_t c0 = static_cast<int64_t>(fx), r0 = static_cast<int64_t>(fy);
        const int64_t c1 = std::min<int64_t>(c0 + 1, tw - 1);
        const int64_t r1 = std::min<int64_t>(r0 + 1, th - 1);
        const double ax = fx - static_cast<double>(c0), ay = fy - static_cast<double>(r0);
        const uint32_t t00 = texture[r0 * (tstride / 4) + c0];
        const uint32_t t10 = texture[r0 * (tstride / 4) + c1];
        const uint32_t t01 = texture[r1 * (tstride / 4) + c0];
        const uint32_t t11 = texture[r1 * (tstride / 4) + c1];
        int ch[4];
        for (int i = 0; i < 4; ++i) {
          const int sh = 24 - 8 * i;
          const double top = byte(t00, sh) + (byte(t10, sh) - byte(t00, sh)) * ax;
          const double bottom = byte(t01, sh) + (byte(t11, sh) - byte(t01, sh)) * ax;
          ch[i] = static_cast<int>(std::max(0.0, std::min(255.0, top + (bottom - top) * ay)));
        }
        const double s = nz * 0.4 + 0.6;
        int r = static_cast<int>(ch[1] * s), g = static_cast<int>(ch[2] * s);
        int b = static_cast<int>(ch[3] * s);
        if (atmo && 1 - nz > 0.6) {
          const double w = (1 - nz - 0.6) / 0.4;
          r = static_cast<int>(std::min(255.0, w * byte(atmosphere, 16) * 0.5 + r));
          g = static_cast<int>(std::min(255.0, w * byte(atmosphere, 8) * 0.5 + g));
          b = static_cast<int>(std::min(255.0, w * byte(atmosphere, 0) * 0.5 + b));
        }
        px = static_cast<uint32_t>(ch[0]) << 24 | static_cast<uint32_t>(r) << 16 |
             static_cast<uint32_t>(g) << 8 | static_cast<uint32_t>(b);
      } else if (atmo && std::sqrt(d2) < halo) {
        const double d = std::sqrt(d2);
        const double gain = std::pow(std::max(0.0, 1 - (d - radius) / (0.15 * radius)), 2.5);
        uint32_t out = 0;
        for (int sh = 24; sh >= 0; sh -= 8) {
          const double c = std::min(255.0, byte(atmosphere, sh) * gain + byte(px, sh));
          out |= static_cast<uint32_t>(c) << sh;
        }
        px = out;
      }
    }
  }
  return 0;
}

// ============================================================================
// Buffers
// ============================================================================

// A 32-bit image with a chosen row distance in bytes; a negative stride stores
// the rows bottom-up, with the pointer at row 0 near the end of the storage.
// Storage is sized exactly, so AddressSanitizer catches any stray access.
struct Image {
  int32_t width, height, stride;
  std::vector<uint32_t> storage;

  Image(int32_t w, int32_t h, int32_t stride_bytes, uint32_t fill)
      : width(w), height(h), stride(stride_bytes) {
    const int64_t row_words = std::llabs(stride_bytes / 4);
    storage.assign(static_cast<size_t>(row_words * (h - 1) + w), fill);
  }
  uint32_t* data() {
    return stride >= 0 ? storage.data() : storage.data() + std::llabs(stride / 4) * (height - 1);
  }
  uint32_t& at(int32_t x, int32_t y) { return data()[static_cast<int64_t>(y) * (stride / 4) + x]; }
};

// Column in red (0, 50, 100, ...), row in alpha (50, 150, 250): alpha is not
// shaded, so the sampled row can be read back from any globe pixel.
Image grid_texture(int32_t w, int32_t h) {
  Image t(w, h, 4 * w, 0);
  for (int32_t y = 0; y < h; ++y) {
    for (int32_t x = 0; x < w; ++x) {
      t.at(x, y) = static_cast<uint32_t>(50 + 100 * y) << 24 | static_cast<uint32_t>(50 * x) << 16;
    }
  }
  return t;
}

int red(uint32_t p) { return (p >> 16) & 0xFF; }
int alpha(uint32_t p) { return p >> 24; }

struct Scene {
  double cx = 50, cy = 50, radius = 10, rotation = 0, tilt = 0;
  uint32_t atmosphere = 0;
};

// How a rendering compares with the reference, both started from `before`.
struct Agreement {
  int64_t painted = 0;    // pixels the reference changed
  int64_t coverage = 0;   // pixels changed by one rendering and not the other
  int64_t differing = 0;  // pixels whose words differ
  int max_step = 0;       // largest difference in one channel
  void add(const std::vector<uint32_t>& before, const std::vector<uint32_t>& got,
           const std::vector<uint32_t>& want) {
    for (size_t i = 0; i < want.size(); ++i) {
      painted += want[i] != before[i];
      coverage += (want[i] != before[i]) != (got[i] != before[i]);
      if (got[i] == want[i]) continue;
      ++differing;
      for (int sh = 0; sh < 32; sh += 8) {
        const int step = std::abs(static_cast<int>((got[i] >> sh) & 0xFF) -
                                  static_cast<int>((want[i] >> sh) & 0xFF));
        max_step = std::max(max_step, step);
      }
    }
  }
};

void expect_within_bar(const Agreement& a) {
  testing::Test::RecordProperty("painted", std::to_string(a.painted));
  testing::Test::RecordProperty("differing", std::to_string(a.differing));
  EXPECT_EQ(a.coverage, 0);
  EXPECT_LE(a.max_step, 1);
  EXPECT_LE(a.differing * 1000, a.painted) << a.differing << " of " << a.painted;
}

int32_t render(Image& dst, Image& tex, const Scene& s) {
  return torvik_render_globe(dst.data(), dst.width, dst.height, dst.stride, tex.data(), tex.width,
                             tex.height, tex.stride, s.cx, s.cy, s.radius, s.rotation, s.tilt,
                             s.atmosphere);
}

}  // namespace

// ----------------------------------------------------------------------------
// Worked pixels
// ----------------------------------------------------------------------------

TEST(torvik_render_globe, ShadeRunsFromCentreToRim) {
  Image tex(2, 2, 8, 0xFF808080);
  Image dst(100, 100, 400, 0x12345678);
  ASSERT_EQ(render(dst, tex, Scene{}), 0);
  EXPECT_EQ(dst.at(50, 50), 0xFF808080u);  // shade 1
  EXPECT_EQ(dst.at(60, 50), 0xFF4C4C4Cu);  // exactly on the circle: shade 0.6
  EXPECT_EQ(dst.at(59, 50), 0xFF636363u);
  for (int y = 0; y < 100; ++y) {
    for (int x = 0; x < 100; ++x) {
      if ((x - 50) * (x - 50) + (y - 50) * (y - 50) > 100) {
        ASSERT_EQ(dst.at(x, y), 0x12345678u) << x << ", " << y;
      }
    }
  }
}

TEST(torvik_render_globe, AtmosphereTintsRimAndAddsGlow) {
  Image tex(2, 2, 8, 0xFF808080);
  Image dst(100, 100, 400, 0);
  Scene s;
  s.atmosphere = 0x800000FF;
  ASSERT_EQ(render(dst, tex, s), 0);
  EXPECT_EQ(dst.at(60, 50), 0xFF4C4CCBu);  // rim weight 1: blue + 255 * 0.5
  EXPECT_EQ(dst.at(59, 50), 0xFF636363u);  // too far in for the rim tint
  EXPECT_EQ(dst.at(61, 50), 0x08000010u);  // glow (1/3)^2.5, alpha included
  EXPECT_EQ(dst.at(62, 50), 0u);           // beyond 1.15 * radius

  // An atmosphere with alpha 0 is off, whatever its colour.
  Image plain(100, 100, 400, 0);
  s.atmosphere = 0x00FFFFFF;
  ASSERT_EQ(render(plain, tex, s), 0);
  EXPECT_EQ(plain.at(60, 50), 0xFF4C4C4Cu);
  EXPECT_EQ(plain.at(61, 50), 0u);
}

TEST(torvik_render_globe, GlowSaturatesInsteadOfWrapping) {
  Image tex(2, 2, 8, 0xFF808080);
  Image dst(100, 100, 400, 0xF0F0F0F0);
  Scene s;
  s.atmosphere = 0xFFFFFFFF;  // adds 16.4 to each channel at (61, 50)
  ASSERT_EQ(render(dst, tex, s), 0);
  EXPECT_EQ(dst.at(61, 50), 0xFFFFFFFFu);
}

TEST(torvik_render_globe, TextureAlphaPassesThroughAndReplaces) {
  Image tex(2, 2, 8, 0x80808080);
  Image dst(100, 100, 400, 0xFFFFFFFF);
  ASSERT_EQ(render(dst, tex, Scene{}), 0);
  EXPECT_EQ(dst.at(50, 50), 0x80808080u);
  EXPECT_EQ(dst.at(60, 50), 0x804C4C4Cu);
}

// ----------------------------------------------------------------------------
// Where the texture is sampled
// ----------------------------------------------------------------------------

TEST(torvik_render_globe, CentreTopAndBottomSampleMiddleTopAndBottomRows) {
  Image tex = grid_texture(5, 3);
  Image dst(100, 100, 400, 0);
  ASSERT_EQ(render(dst, tex, Scene{}), 0);
  EXPECT_EQ(dst.at(50, 50), tex.at(2, 1));  // u = 0.5, v = 0.5, shade 1
  EXPECT_EQ(alpha(dst.at(50, 40)), 50);     // top of the disc: top row
  EXPECT_EQ(alpha(dst.at(50, 60)), 250);    // bottom of the disc: bottom row
}

TEST(torvik_render_globe, RotationMovesLongitudeAndWrapsAtTheSeam) {
  Image tex = grid_texture(5, 3);
  Image dst(100, 100, 400, 0);
  Scene s;
  s.rotation = 90;  // u = 0.75: column 3
  ASSERT_EQ(render(dst, tex, s), 0);
  EXPECT_NEAR(red(dst.at(50, 50)), 150, 1);

  s.rotation = 180;  // u = 1 wraps to 0: the first column, not the last
  ASSERT_EQ(render(dst, tex, s), 0);
  EXPECT_LE(red(dst.at(50, 50)), 1);

  s.rotation = -90;  // u = 0.25: column 1
  ASSERT_EQ(render(dst, tex, s), 0);
  EXPECT_NEAR(red(dst.at(50, 50)), 50, 1);
}

TEST(torvik_render_globe, PositiveTiltBringsTheNorthPoleForward) {
  Image tex = grid_texture(5, 3);
  Image dst(100, 100, 400, 0);
  Scene s;
  s.tilt = 90;
  ASSERT_EQ(render(dst, tex, s), 0);
  EXPECT_EQ(alpha(dst.at(50, 50)), 50);
  s.tilt = -90;
  ASSERT_EQ(render(dst, tex, s), 0);
  EXPECT_EQ(alpha(dst.at(50, 50)), 250);
}

TEST(torvik_render_globe, NaNOrInfiniteOrientationReadsTheFirstTexel) {
  Image tex = grid_texture(5, 3);
  const double orientations[][2] = {{kNaN, 0}, {0, kNaN}, {kInf, 0}, {-kInf, 20}};
  for (const auto& o : orientations) {
    const double rotation = o[0], tilt = o[1];
    Image dst(100, 100, 400, 0);
    Scene s;
    s.rotation = rotation;
    s.tilt = tilt;
    ASSERT_EQ(render(dst, tex, s), 0);
    if (std::isnan(tilt)) {
      EXPECT_EQ(dst.at(50, 50), tex.at(0, 0));  // u and v both NaN
    } else {
      EXPECT_EQ(red(dst.at(50, 50)), 0) << rotation;  // u NaN, v still sound
    }
  }
}

TEST(torvik_render_globe, BottomUpBufferAndTextureGiveTheSameImage) {
  Image tex_down = grid_texture(9, 5);
  Image tex_up(9, 5, -4 * 9 - 4, 0);  // padded rows, stored bottom-up
  for (int32_t y = 0; y < 5; ++y) {
    for (int32_t x = 0; x < 9; ++x) tex_up.at(x, y) = tex_down.at(x, y);
  }
  Image down(64, 48, 4 * 64, 0x01020304);
  Image up(64, 48, -4 * 64, 0x01020304);
  Scene s;
  s.cx = 30.25;
  s.cy = 20.5;
  s.radius = 17;
  s.rotation = 33;
  s.tilt = 12;
  s.atmosphere = 0xC0FF8040;
  ASSERT_EQ(render(down, tex_down, s), 0);
  ASSERT_EQ(render(up, tex_up, s), 0);
  for (int32_t y = 0; y < 48; ++y) {
    for (int32_t x = 0; x < 64; ++x) ASSERT_EQ(up.at(x, y), down.at(x, y)) << x << ", " << y;
  }
  EXPECT_NE(down.at(30, 20), 0x01020304u);
}

// ----------------------------------------------------------------------------
// Arguments and placement
// ----------------------------------------------------------------------------

TEST(torvik_render_globe, InvalidArgumentsWriteNothing) {
  Image tex(4, 4, 16, 0xFF808080);
  Image dst(20, 20, 80, 0x11223344);
  const uint32_t* t = tex.data();
  uint32_t* p = dst.data();
  EXPECT_EQ(torvik_render_globe(nullptr, 20, 20, 80, t, 4, 4, 16, 10, 10, 5, 0, 0, 0), -1);
  EXPECT_EQ(torvik_render_globe(p, 0, 20, 80, t, 4, 4, 16, 10, 10, 5, 0, 0, 0), -1);
  EXPECT_EQ(torvik_render_globe(p, 20, 0, 80, t, 4, 4, 16, 10, 10, 5, 0, 0, 0), -1);
  EXPECT_EQ(torvik_render_globe(p, 20, -3, 80, t, 4, 4, 16, 10, 10, 5, 0, 0, 0), -1);
  EXPECT_EQ(torvik_render_globe(p, 20, 20, 79, t, 4, 4, 16, 10, 10, 5, 0, 0, 0), -1);
  EXPECT_EQ(torvik_render_globe(p, 20, 20, -79, t, 4, 4, 16, 10, 10, 5, 0, 0, 0), -1);
  EXPECT_EQ(torvik_render_globe(p, 20, 20, 80, nullptr, 4, 4, 16, 10, 10, 5, 0, 0, 0), -1);
  EXPECT_EQ(torvik_render_globe(p, 20, 20, 80, t, 0, 4, 16, 10, 10, 5, 0, 0, 0), -1);
  EXPECT_EQ(torvik_render_globe(p, 20, 20, 80, t, 4, 0, 16, 10, 10, 5, 0, 0, 0), -1);
  EXPECT_EQ(torvik_render_globe(p, 20, 20, 80, t, 4, 4, 15, 10, 10, 5, 0, 0, 0), -1);
  EXPECT_EQ(torvik_render_globe(p, 20, 20, 80, t, 4, 4, -15, 10, 10, 5, 0, 0, 0), -1);
  EXPECT_EQ(torvik_render_globe(p, 20, 20, 80, t, 4, 4, 16, 10, 10, 0, 0, 0, 0), -1);
  EXPECT_EQ(torvik_render_globe(p, 20, 20, 80, t, 4, 4, 16, 10, 10, -2, 0, 0, 0), -1);
  EXPECT_EQ(torvik_render_globe(p, 20, 20, 80, t, 4, 4, 16, 10, 10, -kInf, 0, 0, 0), -1);
  // 4 * width does not fit in 32 bits here; a stride of 4 must still be too small.
  EXPECT_EQ(torvik_render_globe(p, 1 << 30, 1, 4, t, 4, 4, 16, 10, 0, 5, 0, 0, 0), -1);
  EXPECT_EQ(torvik_render_globe(p, 20, 20, 80, t, 1 << 30, 1, 4, 10, 10, 5, 0, 0, 0), -1);
  for (uint32_t v : dst.storage) ASSERT_EQ(v, 0x11223344u);
}

TEST(torvik_render_globe, UnplaceableOrOutsideDiscDrawsNothing) {
  Image tex(4, 4, 16, 0xFF808080);
  const Scene cases[] = {
      {50, -100, 10, 0, 0, 0xFF0000FF},     // entirely above the buffer
      {150, 50, 10, 0, 0, 0xFF0000FF},      // entirely to the right
      {1e300, 50, 10, 0, 0, 0xFF0000FF},    // huge finite centre
      {50, -1e300, 10, 0, 0, 0xFF0000FF},
      {kNaN, 50, 10, 0, 0, 0xFF0000FF},
      {50, kInf, 10, 0, 0, 0xFF0000FF},
      {50, 50, kNaN, 0, 0, 0xFF0000FF},
      {50, 50, kInf, 0, 0, 0xFF0000FF},
      {50, 50, 1e200, 0, 0, 0xFF0000FF},    // radius squared overflows
      {50, 50, 1e-320, 0, 0, 0xFF0000FF},   // 1 / radius overflows
  };
  for (const Scene& s : cases) {
    Image dst(100, 100, 400, 0x11223344);
    EXPECT_EQ(render(dst, tex, s), 0) << s.cx << " " << s.cy << " " << s.radius;
    for (uint32_t v : dst.storage) ASSERT_EQ(v, 0x11223344u);
  }
}

TEST(torvik_render_globe, TinyRadiusOnAPixelDrawsThatPixelOnly) {
  Image tex(2, 2, 8, 0xFF808080);
  Image dst(10, 10, 40, 0);
  Scene s;
  s.cx = 4;
  s.cy = 5;
  s.radius = 1e-200;  // its square underflows to 0: only d2 = 0 is inside
  ASSERT_EQ(render(dst, tex, s), 0);
  for (int y = 0; y < 10; ++y) {
    for (int x = 0; x < 10; ++x) ASSERT_EQ(dst.at(x, y), (x == 4 && y == 5) ? 0xFF4C4C4Cu : 0u);
  }
}

// ----------------------------------------------------------------------------
// Against the reference
// ----------------------------------------------------------------------------

TEST(torvik_render_globe, MatchesPerPixelReference) {
  std::mt19937_64 rng(11);
  std::uniform_int_distribution<uint32_t> word;
  std::uniform_real_distribution<double> unit(0, 1);
  const int32_t texture_sizes[][2] = {{1, 1}, {2, 1}, {1, 5}, {7, 4}, {64, 32}, {33, 17}};
  int cases = 0;
  Agreement agreement;
  for (const auto& ts : texture_sizes) {
    for (int variant = 0; variant < 12; ++variant) {
      const int32_t tw = ts[0], th = ts[1];
      // Strides: exact, padded, not a multiple of 4, and bottom-up.
      const int32_t pads[] = {0, 8, 3, 0};
      const int32_t tstride = (4 * tw + pads[variant % 4]) * (variant % 4 == 3 ? -1 : 1);
      Image tex(tw, th, tstride, 0);
      for (uint32_t& v : tex.storage) v = word(rng);

      const int32_t w = 61 + variant, h = 47;
      const int32_t stride = (4 * w + pads[(variant + 1) % 4]) * ((variant + 1) % 4 == 3 ? -1 : 1);
      Image got(w, h, stride, 0);
      for (uint32_t& v : got.storage) v = word(rng);
      Image want = got;
      const std::vector<uint32_t> before = got.storage;

      Scene s;
      s.cx = -10 + 80 * unit(rng);  // partly off the buffer at times
      s.cy = -10 + 70 * unit(rng);
      s.radius = variant == 0 ? 0.7 : 3 + 30 * unit(rng);
      s.rotation = -720 + 1440 * unit(rng);
      s.tilt = -180 + 360 * unit(rng);
      s.atmosphere = variant % 3 == 0 ? (word(rng) & 0x00FFFFFF) : (word(rng) | 0x01000000);

      const int32_t rg = render(got, tex, s);
      const int32_t rw =
          reference_globe(want.data(), w, h, stride, tex.data(), tw, th, tstride, s.cx, s.cy,
                          s.radius, s.rotation, s.tilt, s.atmosphere);
      ASSERT_EQ(rg, rw);
      agreement.add(before, got.storage, want.storage);
      ++cases;
    }
  }
  EXPECT_EQ(cases, 72);
  expect_within_bar(agreement);
}

// Large frames of a smooth and of a noisy texture, forced through each kernel
// level: within the bar of the reference, and one image for all vector levels.
TEST(torvik_render_globe, EveryKernelLevelMatchesReferenceAndEachOther) {
  std::mt19937_64 rng(29);
  std::uniform_int_distribution<uint32_t> word;
  const int32_t w = 512, h = 400, tw = 1024, th = 512;
  Image smooth(tw, th, 4 * tw, 0), noisy(tw, th, 4 * tw, 0);
  for (int32_t y = 0; y < th; ++y) {
    for (int32_t x = 0; x < tw; ++x) {
      smooth.at(x, y) = 0xFF000000u | static_cast<uint32_t>(x * 255 / tw) << 16 |
                        static_cast<uint32_t>(y * 255 / th) << 8 |
                        static_cast<uint32_t>((x ^ y) & 0xFF);
      noisy.at(x, y) = word(rng) & 0xFEFFFFFFu;
    }
  }
  struct Frame {
    Image* tex;
    Scene s;
  };
  const Frame frames[] = {
      {&smooth, {256, 200, 180, 0, 23.5, 0}},
      {&smooth, {256.5, 199.25, 210, 97, -40, 0x804080FFu}},
      {&noisy, {300, 150, 190, -180, 90, 0xFF20E0A0u}},
      {&noisy, {100.75, 300.5, 230, 720.5, 179, 0x01FFFFFFu}},
      {&smooth, {256, 200, 1.5, 10, 10, 0x80FF0000u}},
  };
  Agreement agreement;
  for (const Frame& f : frames) {
    for (uint32_t fill : {0u, 0xFFFFFFFFu, 0x80402010u}) {
      Image want(w, h, 4 * w, fill);
      const std::vector<uint32_t> before = want.storage;
      reference_globe(want.data(), w, h, want.stride, f.tex->data(), tw, th, f.tex->stride,
                      f.s.cx, f.s.cy, f.s.radius, f.s.rotation, f.s.tilt, f.s.atmosphere);
      std::vector<uint32_t> first_vector;
      for (quillon::SimdLevel isa : {quillon::SimdLevel::kScalar, quillon::SimdLevel::kSse2, quillon::SimdLevel::kAvx2,
                              quillon::SimdLevel::kAvx512}) {
        if (!quillon::simd_level_supported(isa)) continue;
        SCOPED_TRACE(testing::Message() << "level " << static_cast<int>(isa) << " radius "
                                        << f.s.radius << " fill " << fill);
        Image got(w, h, 4 * w, fill);
        torvik::GlobeCall call;
        ASSERT_TRUE(torvik::globe_setup(got.data(), w, h, got.stride, f.tex->data(), tw, th,
                                        f.tex->stride, f.s.cx, f.s.cy, f.s.radius, f.s.rotation,
                                        f.s.tilt, f.s.atmosphere, call));
        torvik::render_globe(isa, call);
        agreement.add(before, got.storage, want.storage);
        if (isa == quillon::SimdLevel::kScalar) continue;
        if (first_vector.empty()) {
          first_vector = got.storage;
        } else {
          EXPECT_TRUE(got.storage == first_vector);
        }
      }
    }
  }
  expect_within_bar(agreement);
  EXPECT_GT(agreement.painted, 1000000);
}
