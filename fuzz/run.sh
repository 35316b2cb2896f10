#!/usr/bin/env bash
# Runs every fuzz target from its committed corpus.
# Usage: fuzz/run.sh BUILD_DIR [RUNS]   (RUNS inputs per target, default 20000)
# New inputs the fuzzer finds go to a scratch directory, never into the
# committed corpus; an input that breaks a target is left in the current
# directory as crash-<hash>, the target's report is shown, and the script ends
# with status 1 once every target has run.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build_dir=${1:?usage: fuzz/run.sh BUILD_DIR [RUNS]}
runs=${2:-20000}
scratch=$(mktemp -d)
export LSAN_OPTIONS="suppressions=$root/fuzz/lsan.supp${LSAN_OPTIONS:+:$LSAN_OPTIONS}"
trap 'rm -rf "$scratch"' EXIT

# Targets that do much more per input run a share of the count.
declare -A divisor=([label_renderer]=40)

status=0
for corpus in "$root"/fuzz/corpus/*/; do
  name=$(basename "$corpus")
  target="$build_dir/fuzz/fuzz_$name"
  if [ ! -x "$target" ]; then
    echo "fuzz_$name is not built in $build_dir" >&2
    status=1
    continue
  fi
  mkdir -p "$scratch/$name"
  n=$(( runs / ${divisor[$name]:-1} ))
  start=$(date +%s)
  if "$target" -runs="$n" -seed=1 -print_final_stats=0 "$scratch/$name" "$corpus" \
      >"$scratch/$name.log" 2>&1; then
    echo "fuzz_$name: $n runs, $(( $(date +%s) - start )) s"
  else
    echo "fuzz_$name FAILED:" >&2
    tail -n 40 "$scratch/$name.log" >&2
    status=1
  fi
done
exit $status
