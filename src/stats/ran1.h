// Uniform random deviates in the open interval (0, 1): the minimal-standard
// multiplicative congruential generator (multiplier 16807, modulus 2^31 - 1)
// shuffled through a 32-entry table. Dimensionless.
#pragma once

#include <cstdint>

namespace pairtrack::detail {

// Returns the next deviate, exactly iy * 2^-31 for the table value iy drawn,
// capped at 0.99999988079071044921875 (1 - 2^-23); never 0 or 1.
//
// `idum` is the caller's state word, updated in place on every call. The
// shuffle table and the last drawn table value iy are statics of the routine,
// zero at the start of the process. The table is (re)built from the state
// word when idum <= 0, or on the first call of the process (iy = 0) whatever
// idum holds: the seed is then -idum when that is a usable positive state,
// and 1 otherwise, so that 0, any positive first seed, -2147483647 and
// -2147483648 all start the sequence of -1. After the call idum lies in
// 1 ... 2147483646; passing it back continues the sequence.
//
// One sequence per process: not reentrant, to be called from one thread.
double ran1(std::int32_t& idum);

// The generator's statics: the last drawn table value and the shuffle table. With the caller's
// state word they are the whole state of the sequence: a run that stops after a frame saves
// them, and a run resumed from there restores them and draws the same numbers as a run that
// never stopped.
struct Ran1Table {
  std::int32_t iy = 0;
  std::int32_t iv[32] = {};
};
Ran1Table ran1_table();
void ran1_restore(const Ran1Table& table);

// Returns the statics to their start-of-process state (iy = 0, table zero).
// The run driver calls it when a run starts, so that a run inside a longer-
// lived process (a test) draws exactly what the same run as a process would.
void ran1_reset();

}  // namespace pairtrack::detail
