// Ctrl-C for long library calls (see interrupt.h).
#include "interrupt.h"

#include <pybind11/pybind11.h>

#include <chrono>
#include <exception>
#include <future>
#include <thread>

namespace pairtrack::python {

namespace py = pybind11;

void run_interruptibly(const std::function<void(const std::atomic<bool>&)>& work, bool background) {
  std::atomic<bool> cancel{false};
  if (!background) {
    py::gil_scoped_release unlocked;
    work(cancel);
    return;
  }
  std::exception_ptr failure;
  std::promise<void> finished;
  std::future<void> done = finished.get_future();
  bool interrupted = false;
  {
    py::gil_scoped_release unlocked;
    std::thread worker([&] {
      try {
        work(cancel);
      } catch (...) {
        failure = std::current_exception();
      }
      finished.set_value();
    });
    while (done.wait_for(std::chrono::milliseconds(100)) != std::future_status::ready) {
      py::gil_scoped_acquire locked;
      if (PyErr_CheckSignals() != 0) {  // a handler raised: its exception is now set
        interrupted = true;
        cancel.store(true);
        break;
      }
    }
    worker.join();
  }
  if (interrupted) throw py::error_already_set();
  if (failure) std::rethrow_exception(failure);
}

}  // namespace pairtrack::python
