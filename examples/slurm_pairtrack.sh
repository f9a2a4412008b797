#!/bin/bash
# pairtrack-mpi under Slurm: one MPI rank per node, OpenMP threads inside each rank.
# Submit from the directory that holds run.in, the catalogue and the history file:
#   sbatch examples/slurm_pairtrack.sh
# Ranks x threads = nodes x cpus-per-task; for one rank per socket, set --ntasks-per-node to
# the sockets per node and --cpus-per-task to the cores per socket.
#SBATCH --job-name=pairtrack
#SBATCH --nodes=16
#SBATCH --ntasks-per-node=1
#SBATCH --cpus-per-task=32
#SBATCH --time=04:00:00
#SBATCH --output=pairtrack-%j.log
set -euo pipefail

# Threads per rank: the cores Slurm gave each task.
export OMP_NUM_THREADS="${SLURM_CPUS_PER_TASK:-1}"

# Only rank 0 (on the first node) reads run.in, the catalogue and the history file and writes
# the report, the pair file and the --bodies / --frames files, all in the submit directory.
# The other nodes need only the executable. mpirun takes the rank count from the allocation;
# -x passes OMP_NUM_THREADS to the other nodes; --bind-to none lets each rank's threads use all
# of its cores (the default binds a rank to one core); -q keeps mpirun's notices off the log.
cd "$SLURM_SUBMIT_DIR"
mpirun -q --bind-to none -x OMP_NUM_THREADS pairtrack-mpi < run.in > report.txt
