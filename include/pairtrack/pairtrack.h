// pairtrack public API: everything in one include.
//
//   kernel.h      the collision kernel over arrays of orbits (all pairs, element-wise pairs)
//   speeds.h      collision-weighted distributions of impact and encounter speeds
//   catalogue.h   the orbit catalogue reader
//   history.h     the binary history file: format detection, frame reader and writer
//   statistics.h  the mean and deviations of a frame line
//   report.h      a report's frame lines read back as columns
//   run.h         the complete run: report, frame and body tables, diagnostics
//   tables.h      the rows of the frame and body tables
//   units.h       units, capacities and the pair file's name
//
// Link with the CMake target pairtrack::pairtrack (find_package(pairtrack)).
#pragma once

#include "pairtrack/catalogue.h"
#include "pairtrack/history.h"
#include "pairtrack/kernel.h"
#include "pairtrack/report.h"
#include "pairtrack/run.h"
#include "pairtrack/speeds.h"
#include "pairtrack/statistics.h"
#include "pairtrack/tables.h"
#include "pairtrack/units.h"
#include "pairtrack/version.h"
