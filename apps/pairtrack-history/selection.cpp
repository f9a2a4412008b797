// Parsing of the dump's selections; strict, so that a typing error is refused rather than read
// as a different selection.
#include "selection.h"

#include <algorithm>
#include <charconv>

namespace pairtrack::history_tool {

namespace {

// A whole-text integer in decimal, optionally signed.
template <typename T>
std::optional<T> parse_integer(std::string_view text) {
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  T value{};
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, value);
  if (text.empty() || ec != std::errc() || ptr != end) return std::nullopt;
  return value;
}

}  // namespace

std::optional<IndexRange> parse_range(std::string_view text) {
  IndexRange r;
  const std::size_t colon = text.find(':');
  if (colon == std::string_view::npos) {
    const auto v = parse_integer<std::int64_t>(text);
    if (!v) return std::nullopt;
    r.first = r.last = *v;
  } else {
    const std::string_view a = text.substr(0, colon);
    const std::string_view b = text.substr(colon + 1);
    if (a.empty() && b.empty()) return std::nullopt;
    if (!a.empty()) {
      const auto v = parse_integer<std::int64_t>(a);
      if (!v) return std::nullopt;
      r.first = *v;
    }
    if (!b.empty()) {
      const auto v = parse_integer<std::int64_t>(b);
      if (!v) return std::nullopt;
      r.last = *v;
    }
  }
  if (r.first < 1 || r.last < r.first) return std::nullopt;
  return r;
}

std::optional<std::vector<std::int32_t>> parse_id_list(std::string_view text) {
  std::vector<std::int32_t> ids;
  for (;;) {
    const std::size_t comma = text.find(',');
    const auto v = parse_integer<std::int32_t>(text.substr(0, comma));
    if (!v || *v < -32768 || *v > 32767) return std::nullopt;
    ids.push_back(*v);
    if (comma == std::string_view::npos) break;
    text.remove_prefix(comma + 1);
  }
  std::sort(ids.begin(), ids.end());
  return ids;
}

bool BodySelection::selects(std::int64_t position, std::int32_t id) const {
  switch (kind) {
    case Kind::ids: return std::binary_search(ids.begin(), ids.end(), id);
    case Kind::positions: return positions.contains(position);
    default: return true;
  }
}

}  // namespace pairtrack::history_tool
