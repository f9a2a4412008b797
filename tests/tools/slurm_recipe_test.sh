#!/usr/bin/env bash
# The Slurm recipe (examples/slurm/pairtrack.sbatch) run as sbatch would run it, in a fake
# scheduler environment (no Slurm here): the mpirun form runs the example, is stopped by
# SIGUSR1 at frame 3, asks to be requeued, and the requeued start resumes to the report of an
# uninterrupted run; the srun form is checked for its flags through a stand-in srun.
# Arguments: the source folder, pairtrack, pairtrack-mpi.
set -euo pipefail
source_dir="$1" serial="$2" mpi_exe="$3"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cd "$work"
cp "$source_dir"/examples/{mainbelt.cat,history_f8.bin,example.in} .
mv example.in run.in
mkdir -p prefix/bin fake
ln -s "$mpi_exe" prefix/bin/pairtrack-mpi
"$serial" --frames expected.frames.csv < run.in > expected.report
# scontrol and srun stand-ins: they write down how they were called.
printf '#!/bin/sh\necho "$@" >> "%s/scontrol.calls"\n' "$work" > fake/scontrol
cat > fake/srun <<'SRUN'
#!/bin/sh
echo "$@" > "$WORK/srun.calls"
while [ "${1#-}" != "$1" ]; do shift; done  # srun's options, then the program and its own
exec "$@"
SRUN
chmod +x fake/scontrol fake/srun
export WORK="$work" PATH="$work/fake:$PATH" PAIRTRACK_PREFIX="$work/prefix"
export SLURM_JOB_ID=4242 SLURM_CPUS_PER_TASK=1 SLURM_SUBMIT_DIR="$work"
export OMPI_ALLOW_RUN_AS_ROOT=1 OMPI_ALLOW_RUN_AS_ROOT_CONFIRM=1
export PAIRTRACK_MPIRUN_ARGS="-n 2 --oversubscribe"
recipe="$source_dir/examples/slurm/pairtrack.sbatch"
fail() { echo "slurm_recipe_test: $*" >&2; exit 1; }

status=0
PAIRTRACK_TEST_RAISE=3:10 bash "$recipe" 2> first.log || status=$?
[ "$status" = 138 ] || fail "the stopped job ended with $status, not 138: $(cat first.log)"
grep -q "pairtrack: stopped by signal 10 after frame" first.log || fail "no stop line: $(cat first.log)"
[ "$(cat scontrol.calls)" = "requeue 4242" ] || fail "not requeued: $(cat scontrol.calls)"
bash "$recipe" 2> second.log || fail "the resumed job failed: $(cat second.log)"
grep -q "resumes from its checkpoint" second.log || fail "did not resume: $(cat second.log)"
cmp pairtrack-4242.report expected.report || fail "the resumed report differs"
cmp pairtrack-4242.frames.csv expected.frames.csv || fail "the resumed frame table differs"
grep -q "pairtrack: progress: rank 1:" second.log || fail "no rank summary: $(cat second.log)"

# The srun form: its flags, then the same run (one task here).
rm -f pairtrack-4242.*
PAIRTRACK_LAUNCHER=srun bash "$recipe" 2> srun.log || fail "the srun form failed: $(cat srun.log)"
read -r -a flags < srun.calls
[ "${flags[0]}" = --input=0 ] && [ "${flags[1]}" = --cpus-per-task=1 ] &&
  [ "${flags[2]}" = --mpi=pmix ] || fail "srun flags: ${flags[*]}"
case "${flags[3]}" in */prefix/bin/pairtrack-mpi) ;; *) fail "srun runs ${flags[3]}" ;; esac
cmp pairtrack-4242.report expected.report || fail "the srun form's report differs"

# A missing installation is said plainly, not an empty report.
status=0
PAIRTRACK_PREFIX="$work/nowhere" bash "$recipe" 2> missing.log || status=$?
[ "$status" = 2 ] && grep -q "pairtrack-mpi not found" missing.log || fail "missing executable: $status $(cat missing.log)"
echo "slurm_recipe_test: 4 passed, 0 failed"
