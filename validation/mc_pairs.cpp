// Monte Carlo estimates for the validation pairs, as CSV on standard output:
//   mc_pairs PAIRS [--batches N] [--samples N] [--seed N] [--draw-nodes] [--only ID,ID]
// One line per pair, escape speed (0 and 5 km/s) and window radius (rho, 2 rho, 4 rho).
// --speed-histogram FILE also writes the collision-weighted impact- and encounter-speed
// distributions at the smallest window (--speed-bins MIN:MAX:STEP km/s, default 0:40:0.25):
//   id,v_esc,bin,speed_min_km_s,speed_max_km_s,p_impact,p_impact_se,p_encounter,p_encounter_se
// with the underflow bin first (speed_min -inf) and the overflow bin last (speed_max inf).
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "mc_collision.h"
#include "pair_table.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr,
                 "usage: mc_pairs PAIRS [--batches N] [--samples N] [--seed N] "
                 "[--target-pairs N] [--max-samples N] [--program-constants] [--draw-nodes] "
                 "[--rho-scale X] [--only ID,ID,...] [--speed-histogram FILE] "
                 "[--speed-bins MIN:MAX:STEP]\n");
    return 1;
  }
  mcval::McConfig cfg;
  std::string only, speed_file;
  double rho_scale = 1.0;
  for (int a = 2; a < argc; ++a) {
    const std::string arg = argv[a];
    auto value = [&]() -> const char* {
      if (a + 1 >= argc) {
        std::fprintf(stderr, "mc_pairs: %s needs a value\n", arg.c_str());
        std::exit(1);
      }
      return argv[++a];
    };
    if (arg == "--batches")
      cfg.batches = std::atoi(value());
    else if (arg == "--samples")
      cfg.samples_per_batch = std::atoi(value());
    else if (arg == "--seed")
      cfg.seed = std::strtoull(value(), nullptr, 10);
    else if (arg == "--target-pairs")
      cfg.target_pairs_per_batch = std::atof(value());
    else if (arg == "--max-samples")
      cfg.max_samples = std::atoi(value());
    else if (arg == "--program-constants") {
      cfg.gm_km3_s2 = mcval::kGmSunProgramKm3PerS2;
      cfg.au_km = mcval::kAuProgramKm;
    } else if (arg == "--draw-nodes")
      cfg.draw_nodes = true;
    else if (arg == "--rho-scale")
      rho_scale = std::atof(value());
    else if (arg == "--speed-histogram")
      speed_file = value();
    else if (arg == "--speed-bins") {
      auto& b = cfg.speed_bins;
      char tail = 0;
      if (std::sscanf(value(), "%lf:%lf:%lf%c", &b.min_kms, &b.max_kms, &b.step_kms, &tail) != 3 ||
          !(b.step_kms > 0.0) || !(b.max_kms > b.min_kms) ||
          (b.max_kms - b.min_kms) / b.step_kms > 1e6) {
        std::fprintf(stderr,
                     "mc_pairs: --speed-bins needs MIN:MAX:STEP with MIN < MAX, STEP > 0\n");
        return 1;
      }
    } else if (arg == "--only")
      only = "," + std::string(value()) + ",";
    else {
      std::fprintf(stderr, "mc_pairs: unknown option %s\n", arg.c_str());
      return 1;
    }
  }
  if (cfg.batches < 2 || cfg.samples_per_batch < 1) {
    std::fprintf(stderr, "mc_pairs: need at least 2 batches and 1 sample\n");
    return 1;
  }
  const auto pairs = mcval::read_pair_table(argv[1]);
  std::FILE* speeds = nullptr;
  if (!speed_file.empty()) {
    cfg.speed_histograms = true;
    speeds = std::fopen(speed_file.c_str(), "w");
    if (!speeds) {
      std::fprintf(stderr, "mc_pairs: cannot write %s\n", speed_file.c_str());
      return 1;
    }
    std::fprintf(speeds,
                 "id,v_esc,bin,speed_min_km_s,speed_max_km_s,p_impact,p_impact_se,"
                 "p_encounter,p_encounter_se\n");
  }
  std::printf(
      "id,class,v_esc,window,rho_au,p_coll,p_coll_se,v_rel_mean,v_rel_mean_se,"
      "v_rel_rms,v_rel_rms_se,v_imp_mean,v_imp_mean_se,hits,fraction_1,fraction_2,"
      "samples,seconds\n");
  std::uint64_t pair_index = 0;
  for (const auto& p : pairs) {
    ++pair_index;
    if (!only.empty() && only.find("," + p.id + ",") == std::string::npos) continue;
    mcval::McConfig c = cfg;
    c.rho_au = p.rho_au * rho_scale;
    c.seed = cfg.seed * 1000003ULL + pair_index;  // a fixed stream per pair
    const auto t0 = std::chrono::steady_clock::now();
    const auto r = mcval::estimate_pair({p.a1, p.e1, p.i1}, {p.a2, p.e2, p.i2}, c);
    const double secs =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    for (std::size_t v = 0; v < c.v_esc_kms.size(); ++v) {
      for (int k = 0; k < mcval::kWindows; ++k) {
        const auto& w = r.overlap ? r.result[v][k] : mcval::McWindowResult{};
        std::printf(
            "%s,%s,%g,%d,%.6g,%.8g,%.4g,%.8g,%.4g,%.8g,%.4g,%.8g,%.4g,%.0f,%.8g,%.8g,%d,%.2f\n",
            p.id.c_str(), p.pair_class.c_str(), c.v_esc_kms[v], k, c.rho_au * std::ldexp(1.0, k),
            w.p_coll.mean, w.p_coll.se, w.v_rel_mean.mean, w.v_rel_mean.se, w.v_rel_rms.mean,
            w.v_rel_rms.se, w.v_imp_mean.mean, w.v_imp_mean.se, r.hits, r.fraction_1, r.fraction_2,
            r.samples_per_batch, secs);
      }
    }
    std::fflush(stdout);
    if (speeds && r.overlap) {
      const auto& b = c.speed_bins;
      for (std::size_t v = 0; v < c.v_esc_kms.size(); ++v) {
        const auto& h = r.speeds[v][0];
        const int n_bins = static_cast<int>(h.impact.size());
        for (int j = 0; j < n_bins; ++j) {
          char lo[32] = "-inf", hi[32] = "inf";
          if (j > 0) std::snprintf(lo, sizeof lo, "%.10g", b.min_kms + (j - 1) * b.step_kms);
          if (j < n_bins - 1) std::snprintf(hi, sizeof hi, "%.10g", b.min_kms + j * b.step_kms);
          std::fprintf(speeds, "%s,%g,%d,%s,%s,%.8g,%.4g,%.8g,%.4g\n", p.id.c_str(), c.v_esc_kms[v],
                       j, lo, hi, h.impact[j].mean, h.impact[j].se, h.encounter[j].mean,
                       h.encounter[j].se);
        }
      }
      std::fflush(speeds);
    }
  }
  if (speeds && std::fclose(speeds) != 0) {
    std::fprintf(stderr, "mc_pairs: cannot write %s\n", speed_file.c_str());
    return 1;
  }
  return 0;
}
