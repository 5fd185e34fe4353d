#!/usr/bin/env bash
# Runs every fuzz harness built in BUILD (BUILD/tests/fuzz/fuzz_<name>) for SECONDS from its seed
# corpus tests/fuzz/corpus/<name>/. Each runs on a copy of its corpus, so what a run discovers
# stays out of the repository. A crash, leak, sanitizer report, an input slower than 10 s or a
# harness without seeds fails the run; the failing input is kept in BUILD/fuzz-artifacts/.
# The random seed is fixed (FUZZ_SEED, 1 unless set), so that a run walks the same mutations each
# time and `make test` passes or fails alike; set another seed to search further.
# Usage: tests/fuzz/run.sh BUILD [SECONDS]
set -uo pipefail

build=$1
seconds=${2:-30}
here=$(cd "$(dirname "$0")" && pwd)
artifacts=$build/fuzz-artifacts
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$artifacts"
export LSAN_OPTIONS=suppressions=$here/../lsan.supp
export UBSAN_OPTIONS=print_stacktrace=1

failed=()
harnesses=("$build"/tests/fuzz/fuzz_*)
[ -x "${harnesses[0]}" ] || { echo "no fuzz harnesses in $build/tests/fuzz" >&2; exit 1; }
for harness in "${harnesses[@]}"; do
  name=${harness##*/fuzz_}
  if [ ! -d "$here/corpus/$name" ]; then
    echo "fuzz $name: no seed corpus in tests/fuzz/corpus/$name" >&2
    failed+=("$name")
    continue
  fi
  cp -r "$here/corpus/$name" "$work/$name"
  if "$harness" -seed="${FUZZ_SEED:-1}" -max_total_time="$seconds" -timeout=10 -print_final_stats=1 \
      -artifact_prefix="$artifacts/$name-" "$work/$name" >"$work/$name.log" 2>&1; then
    echo "fuzz $name: $(grep -m1 'stat::number_of_executed_units' "$work/$name.log" | awk '{print $2}') runs, no failure"
  else
    tail -n 60 "$work/$name.log"
    echo "fuzz $name: FAILED (input kept in $artifacts/)" >&2
    failed+=("$name")
  fi
done
[ ${#failed[@]} -eq 0 ] || { echo "fuzz harnesses that failed: ${failed[*]}" >&2; exit 1; }
