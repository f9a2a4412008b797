// The Python module's parts. module.cpp creates the module and calls each register_* in turn;
// each part lives in its own file and adds its functions and classes to the module.
#pragma once

#include <pybind11/pybind11.h>

namespace pairtrack::python {

// collision_pairs, collision_pair_matrix, the frame statistics, argument conversions and
// the unit constants (kernel_bindings.cpp).
void register_kernel(pybind11::module_& m);

// read_catalogue, the history reader handle and writer, read_report
// (file_bindings.cpp).
void register_files(pybind11::module_& m);

// run
// (run_bindings.cpp).
void register_run(pybind11::module_& m);

// speed_distribution
// (speed_bindings.cpp).
void register_speeds(pybind11::module_& m);

}  // namespace pairtrack::python
