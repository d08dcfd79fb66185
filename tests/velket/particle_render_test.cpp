// Tests of particle rendering, read back from the pixels of a real image at
// particle centres: opaque colours exactly, translucent ones to within one
// unit per channel (rasterisers round premultiplication differently).

#include <velket.h>

#include "../../motion/particle_system_p.h"
#include "bl_holders.h"
#include "velket_holders.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

namespace {

using quillon_test::Canvas;

using quillon_test::PsPtr;

// A particle at rest at (x, y) with a constant size.
void emit_at(ParticleSystem* ps, double x, double y, double life, double size, uint32_t cs,
             uint32_t ce) {
  velket_ps_emit(ps, 1, x, y, 0.0, 0.0, 0.0, 0.0, life, life, size, size, cs, ce);
}

::testing::AssertionResult NearArgb(uint32_t got, uint32_t want, int tol) {
  for (int shift = 0; shift < 32; shift += 8) {
    const int g = static_cast<int>((got >> shift) & 0xFFu);
    const int w = static_cast<int>((want >> shift) & 0xFFu);
    if (std::abs(g - w) > tol) {
      return ::testing::AssertionFailure()
             << std::hex << "pixel 0x" << got << ", want 0x" << want << " within " << tol;
    }
  }
  return ::testing::AssertionSuccess();
}

}  // namespace

TEST(velket_ps_render, NullHandleOrContextDoesNothing) {
  Canvas canvas(8, 8);
  bl_context_fill_all_rgba32(canvas.ctx(), 0xFF336699u);
  PsPtr ps(velket_ps_create(0));
  emit_at(ps.get(), 4, 4, 1, 3, 0xFFFF0000u, 0xFFFF0000u);
  velket_ps_render(nullptr, canvas.ctx());
  velket_ps_render(ps.get(), nullptr);
  canvas.end();
  EXPECT_EQ(canvas.pixel(4, 4), 0xFF336699u);
}

TEST(velket_ps_render, FreshParticleHasItsStartColourAndSizeAsRadius) {
  Canvas canvas(64, 64);
  bl_context_clear_all(canvas.ctx());
  PsPtr ps(velket_ps_create(0));
  emit_at(ps.get(), 32, 32, 3, 6, 0xFF123456u, 0xFF000000u);
  velket_ps_render(ps.get(), canvas.ctx());
  canvas.end();
  EXPECT_EQ(canvas.pixel(31, 31), 0xFF123456u);
  EXPECT_EQ(canvas.pixel(36, 31), 0xFF123456u);  // farthest corner 5.1 from the centre
  EXPECT_EQ(canvas.pixel(39, 31), 0u);           // nearest point 7 away
  EXPECT_EQ(canvas.pixel(32, 24), 0u);
}

TEST(velket_ps_render, ChannelsBlendByLifeSpent) {
  Canvas canvas(64, 32);
  bl_context_clear_all(canvas.ctx());
  PsPtr ps(velket_ps_create(0));
  // Alpha 255 -> 0 with u = 0.5 gives 0x7F0000FF (127 after truncation).
  emit_at(ps.get(), 10.5, 10.5, 2, 5, 0xFF0000FFu, 0x000000FFu);
  // Red and blue going down 200 -> 100, green going up 100 -> 200, u = 0.25.
  emit_at(ps.get(), 40.5, 10.5, 4, 5, 0xFFC864C8u, 0xFF64C864u);
  velket_ps_update(ps.get(), 1.0);
  // The first particle is at u = 0.5 by now, the second at u = 0.25.
  ASSERT_EQ(ps->particles[0].life, 1.0);
  ASSERT_EQ(ps->particles[1].life, 3.0);
  velket_ps_render(ps.get(), canvas.ctx());
  canvas.end();
  EXPECT_TRUE(NearArgb(canvas.pixel(10, 10), 0x7F00007Fu, 1));  // premultiplied
  EXPECT_EQ(canvas.pixel(40, 10), 0xFFAF7DAFu);                  // 175, 125, 175
}

TEST(velket_ps_render, ZeroLifetimeParticleIsTransparent) {
  Canvas canvas(32, 32);
  bl_context_fill_all_rgba32(canvas.ctx(), 0xFF336699u);
  PsPtr ps(velket_ps_create(0));
  emit_at(ps.get(), 16.5, 16.5, 0, 6, 0xFFFF0000u, 0xFFFF0000u);  // u = 0/0
  velket_ps_render(ps.get(), canvas.ctx());
  canvas.end();
  EXPECT_EQ(canvas.pixel(16, 16), 0xFF336699u);
}

TEST(velket_ps_render, SizeAtOrBelowPointTwoIsNotDrawn) {
  Canvas canvas(32, 32);
  bl_context_clear_all(canvas.ctx());
  PsPtr ps(velket_ps_create(0));
  emit_at(ps.get(), 5.5, 5.5, 1, 0.2, 0xFFFFFFFFu, 0xFFFFFFFFu);
  emit_at(ps.get(), 10.5, 5.5, 1, 0.0, 0xFFFFFFFFu, 0xFFFFFFFFu);
  emit_at(ps.get(), 15.5, 5.5, 1, -4.0, 0xFFFFFFFFu, 0xFFFFFFFFu);
  emit_at(ps.get(), 20.5, 5.5, 1, 0.21, 0xFFFFFFFFu, 0xFFFFFFFFu);
  velket_ps_render(ps.get(), canvas.ctx());
  canvas.end();
  EXPECT_EQ(canvas.pixel(5, 5), 0u);
  EXPECT_EQ(canvas.pixel(10, 5), 0u);
  EXPECT_EQ(canvas.pixel(15, 5), 0u);
  EXPECT_NE(canvas.pixel(20, 5), 0u);  // a small disc covers part of the pixel
}

TEST(velket_ps_render, YoungerParticlesPaintOverOlder) {
  Canvas canvas(32, 32);
  bl_context_clear_all(canvas.ctx());
  PsPtr ps(velket_ps_create(0));
  emit_at(ps.get(), 16.5, 16.5, 5, 6, 0xFFFF0000u, 0xFFFF0000u);
  emit_at(ps.get(), 16.5, 16.5, 5, 3, 0xFF0000FFu, 0xFF0000FFu);
  velket_ps_render(ps.get(), canvas.ctx());
  canvas.end();
  EXPECT_EQ(canvas.pixel(16, 16), 0xFF0000FFu);
  EXPECT_EQ(canvas.pixel(21, 16), 0xFFFF0000u);
}

TEST(velket_ps_render, ChannelsOutsideTheByteRangeKeepTheirLowBits) {
  // Only reachable with records outside what updates produce; the
  // conversion must stay defined. u = 2: red 0 -> 200 gives 400 (0x90),
  // green 200 -> 0 gives -200 (0x38). u = 1e30: far out of range, 0.
  Canvas canvas(32, 16);
  bl_context_clear_all(canvas.ctx());
  PsPtr ps(velket_ps_create(0));
  emit_at(ps.get(), 8.5, 8.5, 1, 4, 0xFF00C800u, 0xFFC80000u);
  emit_at(ps.get(), 24.5, 8.5, 1, 4, 0xFF00C800u, 0xFFC80000u);
  ps->particles[0].life = -1.0;
  ps->particles[1].life = -1e30;
  velket_ps_render(ps.get(), canvas.ctx());
  canvas.end();
  EXPECT_EQ(canvas.pixel(8, 8), 0xFF903800u);
  EXPECT_EQ(canvas.pixel(24, 8), 0xFF000000u);
}
