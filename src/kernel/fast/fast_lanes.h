// Internal to the fast kernel: up to eight independent probability integrals
// run side by side in lanes (one 512-bit register, two 256-bit registers
// interleaved, or one after the other in scalar code). Per-arc tables (one row per true-anomaly
// node, one row per node difference) hold everything that does not change in the inner loop;
// lengths in cm, speeds in cm/s, times in s.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <initializer_list>

#include "kernel/fast/fast_kernel.h"
#include "kernel/fast/fast_rules.h"
#include "kernel/speed_binning.h"

namespace pairtrack::detail::fast {

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

// Per-lane inputs of the table fill, gathered once per group, and the
// library-call results of the anomaly row being filled. Lanes beyond the
// group's integrals repeat lane 0, so that the vector steps compute ordinary
// numbers there (the copies of lane 0 that idle lanes must hold).
struct alignas(64) FillLanes {
  // Orbit A (solved for) and orbit B (quadrature variable) of each lane.
  double e_a[kLanes], e_b[kLanes];
  double p_a[kLanes], p_b[kLanes];  // semi-latus recta
  double v_scale_a[kLanes], v_scale_b[kLanes];
  double period_a[kLanes], period_b[kLanes];
  double e_p_a[kLanes];  // e_A p_A
  double c_c[kLanes];    // cos i_A cos i_B
  double s_s[kLanes];    // sin i_A sin i_B
  // The current anomaly row: cos and sin of B's true anomaly, P_B,
  // cos f_A, sin(acos(cos f_A)) and the anomaly weight.
  double cos_t[kLanes], sin_t[kLanes], pp_b[kLanes];
  double cos_fa[kLanes], acos_fa[kLanes], sin_fa[kLanes], w_theta[kLanes];
};

// Working storage of one group of lanes: n_cap node rows, n_theta anomaly
// rows, the fill's lane inputs and, per lane, the anomaly rule of its arc
// (n_theta entries at lane * n_theta).
struct LaneTables {
  NodeRow* nodes = nullptr;
  ThetaRow* thetas = nullptr;
  double* scratch_x = nullptr;  // kLanes * n_theta entries
  double* scratch_w = nullptr;  // kLanes * n_theta entries
  FillLanes* lanes = nullptr;
};

// sums[s][lane] with s = sum_p, sum_v, sum_v2, sum_vimp (g_integral's order).
using LaneSums = double[4][kLanes];

// Speed bins of the integrals of one group (the binning quadrature only). Each point has two
// distinct terms: term 1 (signs (-,-), body A inbound) and term 2 (signs (-,+), A outbound);
// the terms of signs (+,+) and (+,-) mirror them, so every sum counts twice. Lane L adds the
// weight W of its term t to impact[L * stride + t * term_stride + bin of its impact speed] and
// to encounter[...] likewise by its encounter speed, in the order the terms enter the sums, and
// widens the stored indices it touched, [lo[L], hi[L]] (where `range` asks for it; the scalar
// quadrature always does): the two terms' sums are kept apart (no
// bin takes both terms of a point), and a lane's distribution is the two added bin by bin. A
// lane's bins need not be empty: the quadrature adds to whatever they hold (a row may sum many
// integrals in one lane's bins). Lanes from n_lanes on are idle.
// Where every term's impact speed is its encounter speed (no focusing, and every speed's
// square a normal number), a vector quadrature may bin the impact speeds only: state[L] says
// how lane L's bins stand, and the quadrature keeps it true.
struct LaneBins {
  enum State : std::uint8_t {
    kEmpty = 0,   // every bin zero
    kShared = 1,  // the encounter bins zero: the encounter sums are the impact sums
    kApart = 2,   // impact and encounter each in their own bins
  };
  const SpeedBinning* bins = nullptr;
  double* impact = nullptr;
  double* encounter = nullptr;
  int* lo = nullptr;
  int* hi = nullptr;
  std::uint8_t* state = nullptr;
  int stride = 0;       // from one lane's bins to the next's
  int term_stride = 0;  // from a lane's term-1 bins to its term-2 bins
  int n_lanes = 0;
  bool range = true;  // widen lo and hi (false: the caller finds the bins in use itself)

  // Lane `lane`'s encounter sums from now on in bins of their own: where they were the impact
  // sums, these are copied over.
  void set_apart(int lane) const {
    if (state[lane] == kShared) {
      const int at = lane * stride;
      std::copy(impact + at, impact + at + stride, encounter + at);
    }
    state[lane] = kApart;
  }

  // Term `term` (0 or 1) of lane `lane`, whose bins are apart: weight w (cm^-2 s^-1),
  // encounter speed u_km and impact speed v_imp, km/s.
  void add(int lane, int term, double w, double u_km, double v_imp) const {
    const int i = bins->index(v_imp);
    const int e = v_imp == u_km ? i : bins->index(u_km);
    const int at = lane * stride + term * term_stride;
    impact[at + i] += w;
    encounter[at + e] += w;
    lo[lane] = std::min(lo[lane], std::min(i, e));
    hi[lane] = std::max(hi[lane], std::max(i, e));
  }
};

// The vector parts of the fill on one instruction set: the node rows of all
// lanes, and one anomaly row of all lanes from the FillLanes row values.
// Every value is formed with the scalar operations and order of the
// reference integrand; vector add, subtract, multiply, divide and square
// root round exactly as their scalar forms.
struct FillKernels {
  int width = 1;  // lanes per register
  void (*nodes)(const FastRules& rules, const FillLanes& in, int n_lanes, NodeRow* rows) = nullptr;
  void (*cos_fa)(FillLanes& in, int n_lanes) = nullptr;  // P_B and cos f_A from cos_t
  void (*row)(const FillLanes& in, int n_lanes, ThetaRow& row) = nullptr;
};
FillKernels fill_kernels_scalar();
FillKernels fill_kernels_avx2();    // only on processors with AVX2
FillKernels fill_kernels_avx512();  // only on processors with AVX-512F

// Fills the tables of jobs[0 .. n_jobs-1] (n_jobs <= kLanes), one piece at a
// time: per lane its arc (two acos calls at most, the anomaly rule); the node
// rows of all lanes (vector); then per anomaly row, stage by stage across the
// lanes: every lane's cos and sin of B's anomaly, cos f_A of all lanes
// (vector), every lane's acos of it, every lane's sine of that, and the rest
// of the row for all lanes (vector). Consecutive library calls thus belong to
// different lanes and do not wait for each other. Lanes from n_jobs up to the
// register width hold copies of lane 0.
//
// The vector quadrature of one group calls step() between its points while
// this fills the next group's tables, so that the library calls (scalar code
// that leaves the divider idle) run while the quadrature's divisions and
// square roots occupy it; the fill's own divisions and square roots run eight
// lanes to an instruction.
class TableFill {
 public:
  TableFill() = default;  // nothing to fill
  TableFill(const FastRules& rules, const IntegralJob* jobs, int n_jobs, const LaneTables& t,
            const FillKernels& kernels);
  // Fills the next piece; false when the tables were already complete.
  bool step();
  void finish() {
    while (step()) {
    }
  }

 private:
  enum class Stage { kArcs, kNodes, kCosSin, kCosFa, kAcos, kSin, kRow, kDone };
  void arc(int lane);
  void cos_sin(int lane);

  const FastRules* rules_ = nullptr;
  const IntegralJob* jobs_ = nullptr;
  int n_jobs_ = 0;
  int n_lanes_ = 0;  // n_jobs_ rounded up to the register width
  LaneTables t_;
  FillKernels kernels_;
  Stage stage_ = Stage::kDone;
  int lane_ = 0;
  int row_ = 0;
  bool whole_[kLanes] = {};  // the lane's arc is the whole half orbit (FastRules::whole_x)
};

// Fills the tables at once (the scalar path, and the first group of a row).
void fill_tables(const FastRules& rules, const IntegralJob* jobs, int n_jobs, const LaneTables& t,
                 const FillKernels& kernels);

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
// The same loops, the speed bins of every term added besides (the sums are those of the
// plain loops, bit for bit).
void integrate_scalar_binned(const FastRules& rules, const LaneTables& t, int n_lanes, double v_esc,
                             LaneSums& sums, const LaneBins& bins);
// The same with AVX2 registers: lanes 0-3 and, when n_lanes > 4, lanes 4-7
// as a second register interleaved with the first, so that two independent
// chains keep the divider busy. Lanes up to 4 (or 8) beyond n_lanes must hold
// ordinary numbers (copies of lane 0). Only to be called when the processor
// has AVX2.
void integrate_avx2(const FastRules& rules, const LaneTables& t, int n_lanes, double v_esc,
                    LaneSums& sums, TableFill* next = nullptr);
void integrate_avx2_binned(const FastRules& rules, const LaneTables& t, int n_lanes, double v_esc,
                           LaneSums& sums, TableFill* next, const LaneBins& bins);
// The same with one AVX-512 register of eight lanes (all eight must hold
// ordinary numbers). Only to be called when the processor has AVX-512F.
void integrate_avx512(const FastRules& rules, const LaneTables& t, double v_esc, LaneSums& sums,
                      TableFill* next = nullptr);
void integrate_avx512_binned(const FastRules& rules, const LaneTables& t, double v_esc,
                             LaneSums& sums, TableFill* next, const LaneBins& bins);

// The stored indices of speeds v[0 .. n - 1] (km/s) as the binning
// quadrature's registers find them, into out[]: SpeedBinning::index, bit for
// bit, whatever the speed that is not negative (an edge, either side of one,
// NaN, infinite; the quadrature's speeds are magnitudes). For the tests of
// that identity; only to be called when the processor has the instruction
// set.
void bin_indices_avx2(const SpeedBinning& bins, const double* v, int n, int* out);
void bin_indices_avx512(const SpeedBinning& bins, const double* v, int n, int* out);

// Whether integrate_avx2 and integrate_avx512 exist in this build (x86-64
// with GCC or Clang).
bool avx2_compiled();
bool avx512_compiled();

}  // namespace pairtrack::detail::fast
