// The provenance manifest of a run (see manifest.h).
#include "engine/manifest.h"

#include <openssl/evp.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <memory>
#include <nlohmann/json.hpp>

#include "engine/input_checks.h"
#include "kernel/fast/fast_kernel.h"
#include "pairtrack/version.h"

namespace pairtrack::detail {

namespace {

using Json = nlohmann::ordered_json;

const char* kernel_path_name() {
  switch (resolved_path(SimdPath::kAuto)) {
    case SimdPath::kAvx512: return "AVX-512";
    case SimdPath::kAvx2: return "AVX2";
    default: return "scalar";
  }
}

Json records_json(const RunParameters& p) {
  return Json{{"catalogue", trimmed_file_name(p.catalog_name)},
              {"history", trimmed_file_name(p.history_name)},
              {"format", p.format_code},
              {"n2_min", p.n2_min},
              {"n2_max", p.n2_max},
              {"time_divisor", p.time_divisor},
              {"write_pairs", p.write_pairs != 0},
              {"q_crit_au", p.q_crit},
              {"p_crit", p.p_crit},
              {"iseed", p.iseed},
              {"v_esc_km_s", p.v_esc}};
}

}  // namespace

std::string utc_now() {
  const std::time_t now = std::time(nullptr);
  std::tm parts{};
  gmtime_r(&now, &parts);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &parts);
  return text;
}

std::string file_sha256(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return {};
  const std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> context(EVP_MD_CTX_new(),
                                                                        &EVP_MD_CTX_free);
  if (!context || EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr) != 1) return {};
  std::vector<char> buffer(1 << 16);
  while (in) {
    in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
    if (in.gcount() > 0 && EVP_DigestUpdate(context.get(), buffer.data(),
                                            static_cast<std::size_t>(in.gcount())) != 1) {
      return {};
    }
  }
  if (in.bad()) return {};
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (EVP_DigestFinal_ex(context.get(), digest, &length) != 1) return {};
  std::string hex;
  char pair[3];
  for (unsigned int k = 0; k < length; ++k) {
    std::snprintf(pair, sizeof pair, "%02x", digest[k]);
    hex += pair;
  }
  return hex;
}

std::string manifest_json(const ManifestInput& m) {
  Json files = Json::array();
  for (const ManifestFile& f : m.files) {
    Json entry{{"role", f.role}, {"path", f.path}};
    std::error_code ec;
    if (f.path == "-") {
      entry["bytes"] = f.bytes ? Json(*f.bytes) : Json(nullptr);
      entry["sha256"] = nullptr;  // a stream, not a file: counted, not hashed
    } else if (const auto size = std::filesystem::file_size(f.path, ec); !ec) {
      entry["bytes"] = size;
      const std::string hash = file_sha256(f.path);
      entry["sha256"] = hash.empty() ? Json(nullptr) : Json(hash);
    } else {
      entry["bytes"] = nullptr;
      entry["sha256"] = nullptr;
    }
    files.push_back(entry);
  }
  const RunSummary& s = m.summary;
  Json doc{{"pairtrack_version", PAIRTRACK_VERSION_STRING},
           {"program", m.program},
           {"arguments", m.arguments},
           {"build",
            {{"compiler", std::string("GCC-compatible ") + __VERSION__},
             {"flags", PAIRTRACK_BUILD_FLAGS},
             {"kernel_path", kernel_path_name()}}},
           {"records", s.records_read ? records_json(s.records) : Json(nullptr)},
           {"mode",
            {{"integration", "classic Gauss-Legendre rule"},
             {"node_difference_nodes", 10},
             {"anomaly_nodes", 10}}},
           {"threads", m.threads},
           {"ranks", m.ranks},
           {"files", files},
           {"started_utc", m.started_utc},
           {"ended_utc", m.ended_utc},
           {"exit_status", m.exit_status},
           {"frames", s.frames},
           {"stopped_by_signal", s.stop_signal != 0 ? Json(s.stop_signal) : Json(nullptr)},
           {"resumed_from", s.resumed_from.empty() ? Json(nullptr) : Json(s.resumed_from)},
           {"warnings", s.warnings},
           {"errors", s.errors}};
  return doc.dump(2) + "\n";
}

bool write_manifest(const std::string& path, const std::string& json, std::string& reason) {
  const std::string temporary = path + ".tmp";
  std::FILE* f = std::fopen(temporary.c_str(), "wb");
  if (f == nullptr) {
    reason = std::strerror(errno);
    return false;
  }
  const bool written = std::fwrite(json.data(), 1, json.size(), f) == json.size();
  errno = 0;
  const bool closed = std::fclose(f) == 0;
  if (!written || !closed || std::rename(temporary.c_str(), path.c_str()) != 0) {
    reason = std::strerror(errno != 0 ? errno : EIO);
    std::remove(temporary.c_str());
    return false;
  }
  return true;
}

}  // namespace pairtrack::detail
