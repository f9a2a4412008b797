// pairtrack-mpi: the pairtrack run spread over MPI ranks, each using OpenMP threads. Rank 0
// reads standard input and the files and writes every output, exactly as pairtrack; the other
// ranks evaluate frames, or parts of large frames, that rank 0 sends them.
//   mpirun -n N pairtrack-mpi [OPTIONS] < run.in > report.txt
#include <mpi.h>
#include <signal.h>

#include <iostream>

#include "command_line.h"
#include "engine/run_storage.h"
#include "mpi_evaluator.h"

int main(int argc, char** argv) {
  int provided = 0;
  MPI_Init_thread(&argc, &argv, MPI_THREAD_FUNNELED, &provided);
  int rank = 0;
  MPI_Comm_rank(MPI_COMM_WORLD, &rank);
  int status = 0;
  if (rank == 0) {
    std::ios::sync_with_stdio(false);
    pairtrack::detail::MpiEvaluator evaluator(MPI_COMM_WORLD, pairtrack::detail::run_storage(), 0);
    status = pairtrack::detail::command_line_main(argc, argv, &evaluator);
    evaluator.end();
  } else {
    // Rank 0 decides when to stop; the others go on until it tells them. A signal that reaches
    // every rank (srun, or mpirun forwarding SIGUSR1) must not end them first.
    struct sigaction ignore {};
    ignore.sa_handler = [](int) {};
    sigemptyset(&ignore.sa_mask);
    for (const int signal : {SIGTERM, SIGINT, SIGUSR1}) sigaction(signal, &ignore, nullptr);
    pairtrack::detail::serve_frames(MPI_COMM_WORLD, 0);
  }
  MPI_Finalize();
  return status;
}
