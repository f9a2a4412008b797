// Long library calls that Ctrl-C can stop. The work runs on a worker thread with the GIL
// released while the calling thread looks for signals every 100 ms (Python handles signals in
// the main thread only, and only when it holds the GIL). When a signal handler raises
// (KeyboardInterrupt), the work is told to stop through its cancel flag, the worker is waited
// for, and the exception propagates; the work is expected to stop within a fraction of a
// second (the library checks the flag between chunks of pairs and between frames).
#pragma once

#include <atomic>
#include <functional>

namespace pairtrack::python {

// Runs work(cancel) as above. With background = false (small jobs, where a thread's start
// would cost more than the work) the work runs on the calling thread, GIL released, and is not
// interruptible. Exceptions of the work propagate.
void run_interruptibly(const std::function<void(const std::atomic<bool>& cancel)>& work,
                       bool background = true);

}  // namespace pairtrack::python
