// The Python module's parts. module.cpp creates the module and calls each register_* in turn;
// each part lives in its own file and adds its functions and classes to the module.
#pragma once

#include <pybind11/pybind11.h>

namespace pairtrack::python {

// collision_probability, pair_matrix, the result class PairResult, the frame statistics and
// the unit constants (kernel_bindings.cpp).
void register_kernel(pybind11::module_& m);

// read_catalogue, HistoryFile, Frame, write_history, read_report and their classes
// (file_bindings.cpp).
void register_files(pybind11::module_& m);

// run, its result classes RunResult, FrameTable, BodyTable and PairtrackWarning
// (run_bindings.cpp).
void register_run(pybind11::module_& m);

}  // namespace pairtrack::python
