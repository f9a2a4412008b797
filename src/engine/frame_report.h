// The fixed-layout output lines of the sweep: the frame line on standard
// output (144 characters) and the per-body pair-file line (63 characters).
#pragma once

#include <cstdint>
#include <string>

namespace pairtrack::detail {

// The column header line written once before the first frame.
inline constexpr const char* kColumnHeader =
    " # t [Myr] & proba [10^-18 km^-2 yr^-1] mean & sigma"
    " & impvel [km/s] mean & sigma & n1 & n2 & n_proba & n_impvel";

// The figures of one frame line.
struct FrameFigures {
  double t_myr;
  double proba_mean, proba_sigma;    // 1e-18 km^-2 yr^-1
  double impvel_mean, impvel_sigma;  // km/s, weighted by the probabilities
  std::int32_t n1, n2, n_proba, n_impvel;
};

// "(f16.10,4(1x,f22.16),4(1x,i8))"
void append_frame_line(std::string& out, const FrameFigures& f);

// "(1x,i8,1x,f16.10,1x,f14.8,1x,f10.8,1(1x,f10.5))": identifier, time in Myr,
// semimajor axis in AU, eccentricity, inclination in radians.
void append_pair_line(std::string& out, std::int32_t id, double t_myr, double a_au, double e,
                      double inc);

}  // namespace pairtrack::detail
