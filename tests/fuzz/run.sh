#!/usr/bin/env bash
# Runs every fuzz harness built in BUILD (BUILD/tests/fuzz/fuzz_<name>) for SECONDS from its seed
# corpus tests/fuzz/corpus/<name>/. Each runs on a copy of its corpus, so what a run discovers
# stays out of the repository. A crash, leak, sanitizer report, an input slower than 10 s or a
# harness without seeds fails the run; the failing input is kept in BUILD/fuzz-artifacts/.
# The random seed is fixed (FUZZ_SEED, 1 unless set), so that a run walks the same mutations each
# time and `make test` passes or fails alike; set another seed, or FUZZ_SEED=random, to search
# further. With FUZZ_FOUND set to a folder, the inputs a run finds that reach new code are kept in
# FUZZ_FOUND/<name>/, and the next run starts from them as well as from the seeds.
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

# libFuzzer picks a seed of its own for 0.
seed=${FUZZ_SEED:-1}
[ "$seed" = random ] && seed=0

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
  # libFuzzer writes what it finds into the first folder it is given.
  corpora=("$work/$name")
  if [ -n "${FUZZ_FOUND:-}" ]; then
    mkdir -p "$FUZZ_FOUND/$name"
    corpora=("$FUZZ_FOUND/$name" "$work/$name")
  fi
  kept_before=$(find "${corpora[0]}" -type f | wc -l)
  if "$harness" -seed="$seed" -max_total_time="$seconds" -timeout=10 -print_final_stats=1 \
      -artifact_prefix="$artifacts/$name-" "${corpora[@]}" >"$work/$name.log" 2>&1; then
    runs=$(grep -m1 'stat::number_of_executed_units' "$work/$name.log" | awk '{print $2}')
    used=$(grep -m1 'INFO: Seed:' "$work/$name.log" | awk '{print $3}')
    found=$(( $(find "${corpora[0]}" -type f | wc -l) - kept_before ))
    echo "fuzz $name: $runs runs from seed $used, $found new inputs, no failure"
  else
    tail -n 60 "$work/$name.log"
    echo "fuzz $name: FAILED (input kept in $artifacts/)" >&2
    failed+=("$name")
  fi
done
[ ${#failed[@]} -eq 0 ] || { echo "fuzz harnesses that failed: ${failed[*]}" >&2; exit 1; }
