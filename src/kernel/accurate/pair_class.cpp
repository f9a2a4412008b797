// Classification of orbit pairs into ordinary and degenerate geometries.
#include "kernel/accurate/pair_class.h"

#include "kernel/kernel_constants.h"
#include "kernel/reference/gaussorb.h"

namespace pairtrack::detail::kernel {

PairClass classify_pair(double a1, double e1, double inc1, double a2, double e2, double inc2) {
  if (a1 == a2 && e1 == 0.0 && e2 == 0.0) return PairClass::kCoincidentCircles;
  if (a1 == a2 && e1 == e2 && inc1 == inc2) return PairClass::kIdenticalOrbits;
  // The classic apsis matching decides whether the distance ranges meet.
  if (match_apsides(a1, e1, a2, e2).disjoint()) return PairClass::kOrdinary;
  const bool flat1 = inc1 == 0.0 || inc1 == kPi;
  const bool flat2 = inc2 == 0.0 || inc2 == kPi;
  if (flat1 && flat2) return PairClass::kCoplanar;
  if (inc1 == inc2 || inc1 + inc2 == kPi) return PairClass::kEqualInclinations;
  return PairClass::kOrdinary;
}

const char* pair_class_name(PairClass c) {
  switch (c) {
    case PairClass::kOrdinary: return "ordinary";
    case PairClass::kCoplanar: return "coplanar";
    case PairClass::kCoincidentCircles: return "coincident circles";
    case PairClass::kIdenticalOrbits: return "identical orbits";
    case PairClass::kEqualInclinations: return "equal inclinations";
  }
  return "ordinary";
}

}  // namespace pairtrack::detail::kernel
