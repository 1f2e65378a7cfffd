#!/usr/bin/env bash
# Runs the libFuzzer targets of fuzz/ for a bounded time each, on a copy of its
# committed seed corpus, so the repository stays clean. They are built in the
# sanitizer build (the preset "sanitize", build-sanitize/; scripts/sanitize.sh
# builds them, and so does this script when they are missing or out of date).
# Any crash, sanitizer report, leak, time-out or memory growth fails the run;
# the reproducer is kept in the artifacts folder.
#
#   scripts/fuzz.sh
#   FUZZ_SECONDS=60                   seconds per target (CI gives each 30)
#   FUZZ_TARGETS="fuzz_transcoder"    run only these targets
#   FUZZ_JOBS=2                       targets run at once, one core each
#                                     (default: CORVANE_JOBS, else 2)
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$root/build-sanitize"
seconds="${FUZZ_SECONDS:-60}"
jobs="${FUZZ_JOBS:-${CORVANE_JOBS:-2}}"
targets=(${FUZZ_TARGETS:-fuzz_transcoder fuzz_output_namer fuzz_file_list})

cd "$root"
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake --preset sanitize ${CORVANE_WERROR:+-DCORVANE_WERROR="$CORVANE_WERROR"} >/dev/null
fi
cmake --build --preset sanitize --parallel "${CORVANE_JOBS:-2}" --target "${targets[@]}"

work="$(mktemp -d "${TMPDIR:-/tmp}/corvane-fuzz.XXXXXX")"
trap 'rm -rf "$work"' EXIT
artifacts="${FUZZ_ARTIFACTS:-$build/fuzz/artifacts}"
mkdir -p "$artifacts"

# fuzz TARGET: runs one target and leaves its one-line summary in $work/TARGET.summary.
fuzz() {
  local target=$1 corpus="$work/$1" log="$work/$1.log" result start elapsed runs cov
  local dict=()
  mkdir -p "$corpus"
  cp "$root/fuzz/corpus/$target/"* "$corpus/"
  case "$target" in
    fuzz_transcoder) dict=(-dict="$root/fuzz/transcoder.dict") ;;
    fuzz_output_namer) dict=(-dict="$root/fuzz/output_namer.dict") ;;
    fuzz_file_list) dict=(-dict="$root/fuzz/file_list.dict") ;;
  esac
  start=$(date +%s)
  # rss_limit_mb/malloc_limit_mb: memory must stay bounded whatever the input.
  if ASAN_OPTIONS="halt_on_error=1:detect_leaks=1" UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1" \
    "$build/fuzz/$target" "${dict[@]}" -max_total_time="$seconds" -max_len=65536 -timeout=10 \
      -rss_limit_mb=1024 -malloc_limit_mb=256 -print_final_stats=1 \
      -artifact_prefix="$artifacts/$target-" "$corpus" >"$log" 2>&1; then
    result=ok
  else
    result=FAILED
  fi
  elapsed=$(($(date +%s) - start))
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  cov=$(grep -Eo 'cov: [0-9]+ ft: [0-9]+' "$log" | tail -n 1 || true)
  echo "$target: $result, ${runs:-?} executions in ${elapsed} s, ${cov:-no coverage line}, corpus $(ls "$corpus" | wc -l) inputs" \
    >"$work/$target.summary"
}

echo "== ${targets[*]}: ${seconds} s each, up to $jobs at once"
running=0
for target in "${targets[@]}"; do
  if [ "$running" -ge "$jobs" ]; then
    wait -n || true
    running=$((running - 1))
  fi
  fuzz "$target" &
  running=$((running + 1))
done
wait || true

status=0
for target in "${targets[@]}"; do
  if ! grep -q ": ok," "$work/$target.summary" 2>/dev/null; then
    status=1
    echo "== $target failed:"
    tail -n 60 "$work/$target.log"
  fi
done
for target in "${targets[@]}"; do
  cat "$work/$target.summary" 2>/dev/null || echo "$target: FAILED, no summary"
done
exit "$status"
