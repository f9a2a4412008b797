// Internal to the fast kernel: up to eight independent probability integrals
// run side by side in lanes (one 512-bit register, two 256-bit registers
// interleaved, or one after the other in scalar code). Per-arc tables (one row per true-anomaly node,
// one row per node difference) hold everything that does not change in the
// inner loop; lengths in cm, speeds in cm/s, times in s.
#pragma once

#include "kernel/fast_kernel.h"
#include "kernel/fast_rules.h"

namespace pairtrack::fast {

inline constexpr int kLanes = 8;
// Lanes of one 256-bit register.
inline constexpr int kHalfLanes = 4;

// One integral: orbit A solved for at orbit B's distance, orbit B's true
// anomaly between the arc-end cosines c_1 and c_2, node difference on [0, pi].
struct IntegralJob {
  const PreparedOrbit* a = nullptr;
  const PreparedOrbit* b = nullptr;
  double c_1 = 0.0;
  double c_2 = 0.0;
};

// What one true-anomaly node contributes independently of the node
// difference, lane by lane. Terms 1 and 2 are the sign pairs (sigma_B,
// sigma_A) = (-1, -1) and (-1, +1); (+1, +1) and (+1, -1) repeat them exactly.
struct alignas(64) ThetaRow {
  double vt_a[kLanes];     // transverse speed of body A
  double vt_b[kLanes];     // transverse speed of body B
  double pb_db[kLanes];    // P_B / D_B
  double pp_a[kLanes];     // P_A = 1 + e_A cos f_A
  double h_a[kLanes];      // 4 |sin f_A| T_A
  double h_b[kLanes];      // v_B T_B
  double w_theta[kLanes];  // anomaly weight
  double tt[kLanes];       // t_A^2 + t_B^2 (the same for both sign pairs)
  double dr2_1[kLanes];    // radial relative speed squared, term 1
  double dr2_2[kLanes];    //   term 2
  double dru_1[kLanes];    // radial relative speed times u_B, term 1
  double dru_2[kLanes];    //   term 2
  double m2ab_1[kLanes];   // (-2 t_A) t_B, term 1
  double m2ab_2[kLanes];   //   term 2
};

// The mutual-inclination quantities of one node difference, lane by lane.
struct alignas(64) NodeRow {
  double cos_i[kLanes];
  double sin_i[kLanes];
  double sin2_i[kLanes];
  double k_a[kLanes];  // e_A p_A sin I
};

// Working storage of one group of lanes: n_cap node rows, n_theta anomaly
// rows, and per-lane scratch for the anomaly rule.
struct LaneTables {
  NodeRow* nodes = nullptr;
  ThetaRow* thetas = nullptr;
  double* scratch_x = nullptr;  // n_theta entries
  double* scratch_w = nullptr;  // n_theta entries
};

// sums[s][lane] with s = sum_p, sum_v, sum_v2, sum_vimp (g_integral's order).
using LaneSums = double[4][kLanes];

// Fills lanes 0 .. n_jobs-1 of the tables with jobs[0 .. n_jobs-1]
// (n_jobs <= kLanes); other lanes are left as they are. Scalar code: the
// elementary functions are the C library's.
void fill_tables(const FastRules& rules, const IntegralJob* jobs, int n_jobs,
                 const LaneTables& t);

// The same fill, one piece at a time: a lane's arc and node rows, then its
// anomaly rows one by one, lane after lane. The vector quadrature of one
// group calls step() between its points while this fills the next group's
// tables, so that the elementary-function calls of the fill (scalar code
// that leaves the divider idle) run while the quadrature's divisions and
// square roots occupy it. Every value is the one fill_tables writes.
class TableFill {
 public:
  TableFill() = default;  // nothing to fill
  TableFill(const FastRules& rules, const IntegralJob* jobs, int n_jobs, const LaneTables& t)
      : rules_(&rules), jobs_(jobs), n_jobs_(n_jobs), t_(t) {}
  // Fills the next piece; false when the tables were already complete.
  bool step();
  void finish() {
    while (step()) {
    }
  }

 private:
  const FastRules* rules_ = nullptr;
  const IntegralJob* jobs_ = nullptr;
  int n_jobs_ = 0;
  LaneTables t_;
  int lane_ = 0;
  int row_ = -1;  // -1: the lane's arc and node rows come next
  bool whole_ = false;  // the lane's arc is the whole half orbit (FastRules::whole_x)
};

// The quadrature loops over filled tables: node difference ascending, anomaly
// ascending, terms added as 1, 2, 2, 1 (the reference's sign order). Sums of
// every lane start at zero. `v_esc` in km/s.
//
// With v_esc^2 = 0 the focusing factor 0 / U_km^2 + 1 is exactly 1 and
// sqrt(U_km^2 + 0) is exactly U_km, as long as U_km^2 is a normal number:
// the square root of the rounded square of a double is that double unless the
// square underflows or overflows. A term whose U_km^2 is zero, subnormal,
// infinite or NaN is computed literally (in the vector paths: every term of
// that register), so the identity never decides a bit.
//
// Lanes 0 .. n_lanes-1 are integrated. The vector paths call next->step()
// after every quadrature point when `next` is not null (the fill of the
// following group; see TableFill).
void integrate_scalar(const FastRules& rules, const LaneTables& t, int n_lanes, double v_esc,
                      LaneSums& sums);
// The same with AVX2 registers: lanes 0-3 and, when n_lanes > 4, lanes 4-7
// as a second register interleaved with the first, so that two independent
// chains keep the divider busy. Lanes up to 4 (or 8) beyond n_lanes must hold
// ordinary numbers (copies of lane 0). Only to be called when the processor
// has AVX2.
void integrate_avx2(const FastRules& rules, const LaneTables& t, int n_lanes, double v_esc,
                    LaneSums& sums, TableFill* next = nullptr);
// The same with one AVX-512 register of eight lanes (all eight must hold
// ordinary numbers). Only to be called when the processor has AVX-512F.
void integrate_avx512(const FastRules& rules, const LaneTables& t, double v_esc, LaneSums& sums,
                      TableFill* next = nullptr);

// Whether integrate_avx2 and integrate_avx512 exist in this build (x86-64
// with GCC or Clang).
bool avx2_compiled();
bool avx512_compiled();

}  // namespace pairtrack::fast
