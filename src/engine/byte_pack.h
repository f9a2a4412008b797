// Plain bytes of trivially copyable values, appended to and read back from a buffer in the
// machine's own representation: the messages between ranks of one run, never files.
#pragma once

#include <cstring>
#include <type_traits>
#include <vector>

namespace pairtrack::detail {

// Appends the bytes of `value` to `out`.
template <class T>
void put(std::vector<char>& out, const T& value) {
  static_assert(std::is_trivially_copyable_v<T>);
  const auto* p = reinterpret_cast<const char*>(&value);
  out.insert(out.end(), p, p + sizeof(T));
}

// Reads a `T` at `in` and moves `in` past it; the caller knows the buffer holds it.
template <class T>
T get(const char*& in) {
  static_assert(std::is_trivially_copyable_v<T>);
  T value;
  std::memcpy(&value, in, sizeof(T));
  in += sizeof(T);
  return value;
}

}  // namespace pairtrack::detail
