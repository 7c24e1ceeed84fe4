#!/usr/bin/env bash
# Runs each libFuzzer target of a ZU_BUILD_FUZZ build for a bounded time and
# fails on any crash, leak, timeout or out-of-memory. New inputs go to
# BUILD/fuzz-corpus/<target> (the committed seeds are only read); a failing
# input is saved as BUILD/fuzz-artifacts/<target>-*.
#
#   fuzz/run-fuzzers.sh BUILD SECONDS [TARGET...]
set -uo pipefail

build=${1:?usage: run-fuzzers.sh BUILD SECONDS [TARGET...]}
seconds=${2:?usage: run-fuzzers.sh BUILD SECONDS [TARGET...]}
shift 2
manifest=$build/fuzz-targets.txt
[ -r "$manifest" ] || { echo "run-fuzzers: no $manifest (configure with -DZU_BUILD_FUZZ=ON)" >&2; exit 2; }

mkdir -p "$build/fuzz-corpus" "$build/fuzz-artifacts"

failed=0
total=0
summary=()
while read -r name binary dict seeds; do
  [ -n "$name" ] || continue
  if [ $# -gt 0 ] && [[ " $* " != *" $name "* ]]; then continue; fi
  work=$build/fuzz-corpus/$name
  log=$build/fuzz-artifacts/$name.log
  mkdir -p "$work"
  args=(-max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1
        -artifact_prefix="$build/fuzz-artifacts/$name-")
  [ "$dict" != "-" ] && args+=(-dict="$dict")
  # shellcheck disable=SC2086  # seed directories are separate words
  ASAN_OPTIONS=detect_leaks=1:abort_on_error=0 UBSAN_OPTIONS=print_stacktrace=1 \
    "$binary" "${args[@]}" "$work" $seeds >"$log" 2>&1
  status=$?
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  runs=${runs:-0}
  total=$((total + runs))
  if [ $status -ne 0 ]; then
    failed=1
    summary+=("$(printf '%-20s FAILED (exit %d) after %s runs; see %s' "$name" "$status" "$runs" "$log")")
    grep -E 'ERROR: |SUMMARY: |property broken|Test unit written' "$log" | head -n 20 >&2
  else
    summary+=("$(printf '%-20s %12s runs, corpus %s files' "$name" "$runs" "$(find "$work" -type f | wc -l)")")
  fi
done <"$manifest"

printf '%s\n' "${summary[@]}"
printf '%-20s %12s runs\n' total "$total"
exit $failed
