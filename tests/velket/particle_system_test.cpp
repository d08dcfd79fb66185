// Tests of the particle system. They read the particle records through the
// library's private header, since the exports only report a count.

#include <velket.h>

#include "../../motion/particle_system_p.h"
#include "velket_holders.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

namespace {

using velket::Particle;

using quillon_test::make_ps;
using quillon_test::PsPtr;

// Emits particles at rest at (x, y) with a fixed life and size.
void emit_still(ParticleSystem* ps, uint64_t count, double x, double y, double life,
                double size = 1.0, uint32_t cs = 0xFFFFFFFFu, uint32_t ce = 0xFFFFFFFFu) {
  velket_ps_emit(ps, count, x, y, 0.0, 0.0, 0.0, 0.0, life, life, size, size, cs, ce);
}

// Number of rand() results that `fn` consumed, found by seeding, recording
// the sequence, seeding again and locating the next value after `fn`.
template <class Fn>
int count_draws(Fn fn) {
  constexpr unsigned kSeed = 20240611u;
  std::srand(kSeed);
  std::vector<int> seq(400);
  for (int& v : seq) v = std::rand();
  std::srand(kSeed);
  fn();
  // Four values in a row: with a 15-bit rand() (RAND_MAX 32767 on Windows)
  // single values repeat within 400 draws.
  std::vector<int> next(4);
  for (int& v : next) v = std::rand();
  const auto it = std::search(seq.begin(), seq.end(), next.begin(), next.end());
  return it == seq.end() ? -1 : static_cast<int>(it - seq.begin());
}

// The library's draw: the top 15 bits of one rand() result, whatever
// RAND_MAX is (2^31 - 1 with glibc, 2^15 - 1 on Windows).
int rand_bits() {
  int bits = 0;
  for (unsigned long long m = static_cast<unsigned long long>(RAND_MAX); m != 0; m >>= 1) ++bits;
  return bits;
}
double unit_from(int r) { return (r >> (rand_bits() - 15)) / 32767.0; }

// Velocity and position after one step, written straight from the formulas,
// one force at a time. The library hoists and specialises; it must agree
// bit for bit.
void reference_step(Particle& p, const std::vector<velket::Force>& forces, double dt) {
  p.life -= dt;
  for (const velket::Force& f : forces) {
    if (f.kind == velket::kForceGravity) {
      p.vx = f.p1 * dt + p.vx;
      p.vy = f.p2 * dt + p.vy;
    } else if (f.kind == velket::kForceDrag) {
      const double k = std::max(1.0 - f.p1 * dt, 0.0);
      p.vx *= k;
      p.vy *= k;
    } else if (f.kind == velket::kForceAttractor) {
      const double dx = f.p1 - p.x;
      const double dy = f.p2 - p.y;
      const double d2 = dx * dx + dy * dy + 100.0;
      const double d = std::sqrt(d2);
      const double s = (f.p3 / d2) * dt;
      p.vx = (dx / d) * s + p.vx;
      p.vy = (dy / d) * s + p.vy;
    }
  }
  p.x += p.vx * dt;
  p.y += p.vy * dt;
  p.rotation = p.spin * dt + p.rotation;
  p.size = (p.size_end - p.size_start) * (1.0 - p.life / p.max_life) + p.size_start;
}

}  // namespace

// ============================================================================
// Handles
// ============================================================================

TEST(velket_ps_create, LimitAndReservation) {
  PsPtr d = make_ps(0);
  EXPECT_EQ(d->max_particles, 10000u);
  EXPECT_EQ(d->particles.capacity(), 10000u);
  emit_still(d.get(), 10050, 0, 0, 1.0);
  EXPECT_EQ(velket_ps_get_count(d.get()), 10000u);

  // Above 10000 the limit holds but only 10000 are reserved.
  PsPtr big = make_ps(20000);
  EXPECT_EQ(big->particles.capacity(), 10000u);
  emit_still(big.get(), 25000, 0, 0, 1.0);
  EXPECT_EQ(velket_ps_get_count(big.get()), 20000u);

  PsPtr small = make_ps(7);
  EXPECT_EQ(small->particles.capacity(), 7u);
  EXPECT_TRUE(small->forces.empty());
}

TEST(velket_ps_create, NullHandleIsAcceptedEverywhere) {
  velket_ps_destroy(nullptr);
  velket_ps_clear(nullptr);
  velket_ps_add_gravity(nullptr, 0, 10);
  velket_ps_add_drag(nullptr, 1);
  velket_ps_add_attractor(nullptr, 0, 0, 5);
  EXPECT_EQ(count_draws([] { velket_ps_emit(nullptr, 5, 0, 0, 0, 1, 0, 1, 1, 2, 1, 1, 0, 0); }),
            0);
  velket_ps_update(nullptr, 1.0);
  EXPECT_EQ(velket_ps_get_count(nullptr), 0u);
  velket_ps_render(nullptr, nullptr);
}

TEST(velket_ps_clear, RemovesParticlesAndForcesKeepsLimitAndStorage) {
  PsPtr ps = make_ps(50);
  velket_ps_add_gravity(ps.get(), 0, 10);
  velket_ps_add_attractor(ps.get(), 100, 100, 1e6);
  emit_still(ps.get(), 40, 0, 0, 5.0);
  const Particle* storage = ps->particles.data();
  velket_ps_clear(ps.get());
  EXPECT_EQ(velket_ps_get_count(ps.get()), 0u);
  EXPECT_EQ(ps->max_particles, 50u);

  // Particles emitted after the clear move in straight lines.
  velket_ps_emit(ps.get(), 60, 5, 5, 2, 2, 0, 0, 10, 10, 1, 1, 0, 0);
  EXPECT_EQ(velket_ps_get_count(ps.get()), 50u);
  EXPECT_EQ(ps->particles.data(), storage);
  velket_ps_update(ps.get(), 0.5);
  for (const Particle& p : ps->particles) {
    EXPECT_EQ(p.vx, 2.0);
    EXPECT_EQ(p.vy, 0.0);
    EXPECT_EQ(p.x, 6.0);
    EXPECT_EQ(p.y, 5.0);
  }
}

// ============================================================================
// velket_ps_emit
// ============================================================================

TEST(velket_ps_emit, StopsAtTheLimitAndDrawsFourPerParticle) {
  PsPtr ps = make_ps(10);
  emit_still(ps.get(), 8, 0, 0, 1.0);
  EXPECT_EQ(count_draws([&] { emit_still(ps.get(), 50, 0, 0, 1.0); }), 8);
  EXPECT_EQ(velket_ps_get_count(ps.get()), 10u);

  // Full: nothing appended, nothing drawn. Count 0: the same.
  EXPECT_EQ(count_draws([&] { emit_still(ps.get(), 3, 0, 0, 1.0); }), 0);
  PsPtr empty = make_ps(10);
  EXPECT_EQ(count_draws([&] { emit_still(empty.get(), 0, 0, 0, 1.0); }), 0);
  EXPECT_EQ(velket_ps_get_count(empty.get()), 0u);
}

TEST(velket_ps_emit, DrawsSpeedAngleLifeSpinInThatOrder) {
  constexpr unsigned kSeed = 7u;
  std::srand(kSeed);
  std::vector<int> r(8);
  for (int& v : r) v = std::rand();
  std::srand(kSeed);
  PsPtr ps = make_ps();
  velket_ps_emit(ps.get(), 2, 3.0, -4.0, 10.0, 20.0, 1.0, -2.0, 0.5, 4.5, 2.0, 6.0, 0x11223344u,
                 0x55667788u);
  ASSERT_EQ(velket_ps_get_count(ps.get()), 2u);
  for (size_t i = 0; i < 2; ++i) {
    const Particle& p = ps->particles[i];
    const double speed = unit_from(r[4 * i]) * (20.0 - 10.0) + 10.0;
    const double angle = unit_from(r[4 * i + 1]) * (-2.0 - 1.0) + 1.0;  // reversed range
    const double life = unit_from(r[4 * i + 2]) * (4.5 - 0.5) + 0.5;
    const double spin = unit_from(r[4 * i + 3]) * 10.0 + (-5.0);
    EXPECT_EQ(p.vx, std::cos(angle) * speed);
    EXPECT_EQ(p.vy, std::sin(angle) * speed);
    EXPECT_EQ(p.life, life);
    EXPECT_EQ(p.max_life, life);
    EXPECT_EQ(p.spin, spin);
    EXPECT_EQ(p.x, 3.0);
    EXPECT_EQ(p.y, -4.0);
    // The current size is the start size until the first update.
    EXPECT_EQ(p.size, 2.0);
    EXPECT_EQ(p.size_start, 2.0);
    EXPECT_EQ(p.size_end, 6.0);
    EXPECT_EQ(p.color_start, 0x11223344u);
    EXPECT_EQ(p.color_end, 0x55667788u);
    EXPECT_EQ(p.rotation, 0.0);
  }
}

TEST(velket_ps_emit, DrawsCoverBothEndsOfTheRange) {
  // Over many draws every value stays in [lo, hi] and the ends are reached
  // (32768 equally likely steps).
  PsPtr ps = make_ps(400000);
  std::srand(1u);
  velket_ps_emit(ps.get(), 400000, 0, 0, 0, 0, 0, 0, 2.0, 3.0, 1, 1, 0, 0);
  double lo = 10.0;
  double hi = -10.0;
  for (const Particle& p : ps->particles) {
    lo = std::min(lo, p.life);
    hi = std::max(hi, p.life);
    ASSERT_GE(p.spin, -5.0);
    ASSERT_LE(p.spin, 5.0);
  }
  EXPECT_EQ(lo, 2.0);
  EXPECT_EQ(hi, 3.0);
}

// ============================================================================
// velket_ps_update
// ============================================================================

TEST(velket_ps_update, NonPositiveDtChangesNothing) {
  PsPtr ps = make_ps();
  velket_ps_add_gravity(ps.get(), 1, 2);
  velket_ps_emit(ps.get(), 3, 1, 2, 1, 5, 0, 6, 1, 3, 1, 2, 0, 0);
  emit_still(ps.get(), 1, 0, 0, 0.0);  // would die in any real step
  const std::vector<Particle> before = ps->particles;
  for (double dt : {0.0, -0.0, -1.0, -std::numeric_limits<double>::infinity()}) {
    velket_ps_update(ps.get(), dt);
    ASSERT_EQ(ps->particles.size(), before.size());
    EXPECT_EQ(std::memcmp(ps->particles.data(), before.data(), before.size() * sizeof(Particle)),
              0)
        << dt;
  }
}

TEST(velket_ps_update, RemovesAtLifeZeroAndKeepsOrder) {
  PsPtr ps = make_ps();
  emit_still(ps.get(), 1, 1, 0, 5.0);
  emit_still(ps.get(), 1, 2, 0, 1.0);  // reaches exactly 0
  emit_still(ps.get(), 1, 3, 0, 5.0);
  emit_still(ps.get(), 1, 4, 0, 0.5);
  emit_still(ps.get(), 1, 5, 0, 0.0);  // counted until the next step
  EXPECT_EQ(velket_ps_get_count(ps.get()), 5u);
  const Particle* storage = ps->particles.data();
  velket_ps_update(ps.get(), 1.0);
  ASSERT_EQ(velket_ps_get_count(ps.get()), 2u);
  EXPECT_EQ(ps->particles[0].x, 1.0);
  EXPECT_EQ(ps->particles[1].x, 3.0);
  EXPECT_EQ(ps->particles[1].life, 4.0);
  EXPECT_EQ(ps->particles.data(), storage);  // compacted in place

  velket_ps_update(ps.get(), 4.0);
  EXPECT_EQ(velket_ps_get_count(ps.get()), 0u);
}

TEST(velket_ps_update, NaNLifeIsNeverRemoved) {
  PsPtr ps = make_ps();
  emit_still(ps.get(), 2, 0, 0, 1.0);
  velket_ps_update(ps.get(), std::numeric_limits<double>::quiet_NaN());
  ASSERT_EQ(velket_ps_get_count(ps.get()), 2u);
  EXPECT_TRUE(std::isnan(ps->particles[0].life));
  velket_ps_update(ps.get(), 100.0);
  EXPECT_EQ(velket_ps_get_count(ps.get()), 2u);
}

TEST(velket_ps_update, MovesWithThisStepsVelocityAndBlendsSize) {
  PsPtr ps = make_ps();
  velket_ps_add_gravity(ps.get(), 0, 10);
  velket_ps_emit(ps.get(), 1, 5, 7, 0, 0, 0, 0, 4, 4, 2.0, 10.0, 0, 0);
  const double spin = ps->particles[0].spin;
  velket_ps_update(ps.get(), 1.0);
  const Particle& p = ps->particles[0];
  EXPECT_EQ(p.vy, 10.0);
  EXPECT_EQ(p.y, 17.0);
  EXPECT_EQ(p.x, 5.0);
  EXPECT_EQ(p.rotation, spin);
  EXPECT_EQ(p.size, 4.0);  // u = 1 - 3/4
}

TEST(velket_ps_update, ForcesActInRegistrationOrder) {
  // Gravity then drag halves this step's gain; drag then gravity keeps it.
  PsPtr gd = make_ps();
  velket_ps_add_gravity(gd.get(), 0, 10);
  velket_ps_add_drag(gd.get(), 0.5);
  emit_still(gd.get(), 1, 0, 0, 5.0);
  velket_ps_update(gd.get(), 1.0);
  EXPECT_EQ(gd->particles[0].vy, 5.0);

  PsPtr dg = make_ps();
  velket_ps_add_drag(dg.get(), 0.5);
  velket_ps_add_gravity(dg.get(), 0, 10);
  emit_still(dg.get(), 1, 0, 0, 5.0);
  velket_ps_update(dg.get(), 1.0);
  EXPECT_EQ(dg->particles[0].vy, 10.0);
}

TEST(velket_ps_update, StrongDragStopsButLaterForcesStillAct) {
  PsPtr ps = make_ps();
  velket_ps_add_drag(ps.get(), 3.0);  // 1 - 3 * 0.5 < 0: factor 0
  velket_ps_add_gravity(ps.get(), 0, 10);
  velket_ps_emit(ps.get(), 1, 0, 0, 8, 8, 0.3, 0.3, 5, 5, 1, 1, 0, 0);
  velket_ps_update(ps.get(), 0.5);
  EXPECT_EQ(ps->particles[0].vx, 0.0);
  EXPECT_EQ(ps->particles[0].vy, 5.0);
}

TEST(velket_ps_update, AttractorPullIsSoftenedAndZeroAtTheCentre) {
  PsPtr ps = make_ps();
  velket_ps_add_attractor(ps.get(), 50, 20, 3000);
  emit_still(ps.get(), 1, 50, 20, 5.0);  // at the centre
  emit_still(ps.get(), 1, 40, 20, 5.0);  // 10 to the left
  emit_still(ps.get(), 1, 50, 30, 5.0);  // 10 below
  velket_ps_update(ps.get(), 0.25);
  const double pull = 3000 * 0.25 * 10 / std::pow(200.0, 1.5);
  EXPECT_EQ(ps->particles[0].vx, 0.0);
  EXPECT_EQ(ps->particles[0].vy, 0.0);
  EXPECT_NEAR(ps->particles[1].vx, pull, 1e-12);
  EXPECT_EQ(ps->particles[1].vy, 0.0);
  EXPECT_EQ(ps->particles[2].vx, 0.0);
  EXPECT_NEAR(ps->particles[2].vy, -pull, 1e-12);

  // A negative strength pushes away.
  PsPtr rep = make_ps();
  velket_ps_add_attractor(rep.get(), 50, 20, -3000);
  emit_still(rep.get(), 1, 40, 20, 5.0);
  velket_ps_update(rep.get(), 0.25);
  EXPECT_NEAR(rep->particles[0].vx, -pull, 1e-12);
}

TEST(velket_ps_update, EveryForceListMatchesTheFormulasExactly) {
  using velket::Force;
  const Force g{velket::kForceGravity, 0.3, 9.81, 0.0};
  const Force g2{velket::kForceGravity, -1.7, 0.2, 0.0};
  const Force d{velket::kForceDrag, 0.35, 0.0, 0.0};
  const Force a{velket::kForceAttractor, 120.0, -40.0, 2500.0};
  const Force a2{velket::kForceAttractor, -30.0, 60.0, -900.0};
  const Force unknown{7, 1e9, 1e9, 1e9};
  std::vector<std::vector<Force>> lists = {
      {}, {g}, {d}, {a}, {g, d}, {d, g}, {g, a}, {a, g}, {g, d, a}, {a, d, g},
      {g, unknown, d, a}, {g, d, a, a2, g2}, {unknown}};
  std::vector<Force> many;  // longer than any list decoded up front
  for (int i = 0; i < 7; ++i) {
    many.insert(many.end(), {g, d, a});
  }
  many.push_back(unknown);
  lists.push_back(many);

  for (size_t li = 0; li < lists.size(); ++li) {
    PsPtr ps = make_ps();
    ps->forces = lists[li];
    std::srand(99u);
    velket_ps_emit(ps.get(), 64, 10, 20, 5, 80, -3, 3, 0.05, 3.0, 1, 9, 0, 0);
    std::vector<Particle> want = ps->particles;
    for (int step = 0; step < 6; ++step) {
      const double dt = 0.1 + 0.07 * step;
      std::vector<Particle> next;
      for (Particle p : want) {
        reference_step(p, lists[li], dt);
        if (p.life > 0.0) next.push_back(p);
      }
      want.swap(next);
      velket_ps_update(ps.get(), dt);
      ASSERT_EQ(ps->particles.size(), want.size()) << "list " << li << " step " << step;
      for (size_t i = 0; i < want.size(); ++i) {
        ASSERT_EQ(std::memcmp(&ps->particles[i], &want[i], sizeof(Particle)), 0)
            << "list " << li << " step " << step << " particle " << i;
      }
    }
    EXPECT_LT(want.size(), 64u) << "some particles should have died";
  }
}
