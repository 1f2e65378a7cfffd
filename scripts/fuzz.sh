#!/usr/bin/env bash
# Builds the libFuzzer targets (fuzz/, a project of its own, built with clang)
# and runs each for a bounded time on a copy of its committed seed corpus, so
# the repository stays clean. Any crash, sanitizer report, leak, time-out or
# memory growth fails the run; the reproducer is kept in the artifacts folder.
#
#   scripts/fuzz.sh [build-dir]       (default: build-fuzz)
#   FUZZ_SECONDS=60                   seconds per target
#   FUZZ_TARGETS="fuzz_transcoder"    run only these targets
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${1:-$root/build-fuzz}"
seconds="${FUZZ_SECONDS:-60}"
targets=(${FUZZ_TARGETS:-fuzz_transcoder fuzz_output_namer fuzz_file_list})

CC="${CC:-clang}" CXX="${CXX:-clang++}" cmake -S "$root/fuzz" -B "$build" -G Ninja \
  ${CORVANE_WERROR:+-DCORVANE_WERROR="$CORVANE_WERROR"} >/dev/null
cmake --build "$build" --parallel "${CORVANE_JOBS:-2}"

work="$(mktemp -d "${TMPDIR:-/tmp}/corvane-fuzz.XXXXXX")"
artifacts="${FUZZ_ARTIFACTS:-$build/artifacts}"
mkdir -p "$artifacts"
status=0
summary=()
for target in "${targets[@]}"; do
  corpus="$work/$target"
  mkdir -p "$corpus"
  cp "$root/fuzz/corpus/$target/"* "$corpus/"
  dict=()
  case "$target" in
    fuzz_transcoder) dict=(-dict="$root/fuzz/transcoder.dict") ;;
    fuzz_output_namer) dict=(-dict="$root/fuzz/output_namer.dict") ;;
    fuzz_file_list) dict=(-dict="$root/fuzz/file_list.dict") ;;
  esac
  log="$work/$target.log"
  echo "== $target: ${seconds} s"
  start=$(date +%s)
  # rss_limit_mb/malloc_limit_mb: memory must stay bounded whatever the input.
  if ASAN_OPTIONS="halt_on_error=1:detect_leaks=1" UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1" \
    "$build/$target" "${dict[@]}" -max_total_time="$seconds" -max_len=65536 -timeout=10 \
      -rss_limit_mb=1024 -malloc_limit_mb=256 -print_final_stats=1 \
      -artifact_prefix="$artifacts/$target-" "$corpus" >"$log" 2>&1; then
    result=ok
  else
    result=FAILED
    status=1
    tail -n 60 "$log"
  fi
  elapsed=$(( $(date +%s) - start ))
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  cov=$(grep -Eo 'cov: [0-9]+ ft: [0-9]+' "$log" | tail -n 1 || true)
  summary+=("$target: $result, ${runs:-?} executions in ${elapsed} s, ${cov:-no coverage line}, corpus $(ls "$corpus" | wc -l) inputs")
done
rm -rf "$work"
printf '%s\n' "${summary[@]}"
exit "$status"
