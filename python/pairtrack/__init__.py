"""pairtrack: collision probabilities of orbit pairs, and the program's file formats.

The kernel integrates, over all orientations of two Keplerian orbits (Gauss-Legendre quadrature,
10 x 10 nodes), the intrinsic collision probability (1e-18 km^-2 yr^-1) and the encounter and
impact speeds (km/s); the values are bit for bit those of the program pairtrack.

  collision_probability(a1, e1, i1, a2, e2, i2, ...)  pairs element by element (broadcast)
  pair_matrix(orbits1, orbits2, ...)                  every pair of two populations
  read_catalogue(path)                                an orbit catalogue as arrays (degrees)
  HistoryFile(path, format=None)                      a history file, frame by frame (radians)
  write_history(path, frames, format)                 frames to a history file
  read_report(path)                                   a report's frame lines as arrays
  speed_distribution(a1, e1, i1, a2, e2, i2, ...)     collision-weighted impact/encounter speeds
  run(catalogue, history, format, ...)                the complete run: report, tables, warnings
  mean_deviation(values), weighted_mean_deviation(values, weights)
                                                      the frame line's statistics
  CM_PER_AU, RADIANS_PER_DEGREE                       the program's unit conversions

Units: semimajor axes in AU; inclinations in degrees (catalogue) or radians (history files);
v_esc and speeds in km/s. A Catalogue and a Frame carry their unit; for plain arrays pass
degrees=False when they hold radians. Results and tables index, slice, pickle and copy, and
convert with as_dict() and to_pandas(). Warnings are PairtrackWarning; Ctrl-C stops a long call.
"""
from . import _core
from ._common import PairtrackWarning, TruncatedHistoryWarning
from ._files import (Catalogue, Frame, HistoryFile, ReportFrames, read_catalogue, read_report,
                     write_history)
from ._kernel import (CM_PER_AU, RADIANS_PER_DEGREE, PairResult, collision_probability,
                      mean_deviation, pair_matrix, weighted_mean_deviation)
from ._run import BodyTable, FrameTable, RunResult, SpeedHistogramTable, run
from ._speeds import SpeedDistribution, speed_distribution

__version__: str = _core.__version__

__all__ = [
    "BodyTable", "CM_PER_AU", "Catalogue", "Frame", "FrameTable", "HistoryFile", "PairResult",
    "PairtrackWarning", "RADIANS_PER_DEGREE", "ReportFrames", "RunResult", "SpeedDistribution",
    "SpeedHistogramTable",
    "TruncatedHistoryWarning", "collision_probability", "mean_deviation", "pair_matrix",
    "read_catalogue", "read_report", "run", "speed_distribution", "weighted_mean_deviation",
    "write_history",
]
