#!/usr/bin/env bash
# Whole-program timings of csv2crc against cp (the I/O floor), against an older
# csv2crc (BASELINE) in the same runs, and against mawk (a plain scripted
# conversion), plus csv2crc's peak memory on every input.
#
#   bench/run-cli-bench.sh [PATH/TO/csv2crc]
#   BASELINE=PATH/TO/older/csv2crc bench/run-cli-bench.sh [PATH/TO/csv2crc]
#
# Without an argument csv2crc (and bench_gen) are looked for in $BUILD_DIR, or
# else in the first build*/ folder of the source tree that holds them.
#
# Runs are paired: each of RUNS rounds times cp, csv2crc and BASELINE once each,
# back to back (the order turning from round to round), each writing a fresh
# output. Figures are the minimum, median and maximum over the rounds, and for
# the ratios the same over the ratios of each round's times: the machines here
# are shared, and a ratio taken within one round holds far better than times
# taken minutes apart.
#
# Environment (sizes take a K, M or G suffix):
#   SHORT_SIZE=256M   short records, CR LF ends, and the same records LF-only
#   LONG_SIZE=256M    records of ~100 KiB fields (0 skips)
#   HUGE_SIZE=1G      LF-only short records: one 1 GiB "line" (0 skips)
#   MANY_FILES=128    a batch of that many files of short CR LF records (0 skips),
#   MANY_SIZE=2M      each of this size: `csv2crc -o DIR *.csv` against `cp *.csv DIR/`
#   RUNS=15           paired rounds per input (at least 15 for figures to record)
#   MAWK_RUNS=2       mawk runs per CR LF input; SKIP_MAWK=1 leaves mawk out
#   BASELINE=         an older csv2crc, timed in the same rounds; its outputs
#                     must equal csv2crc's
#   CORVANE_SCAN=     passed on: caps csv2crc's scan level (portable, sse2,
#                     avx2, avx512) to measure one level
#   FLOORS=0          1 adds to each input's rounds the I/O alone: reading the
#                     input (dd to /dev/null) and writing as many bytes as
#                     csv2crc's output (dd from /dev/zero), 1 MiB at a time
# Needs: mawk, GNU time (/usr/bin/time), cmp, bash 5 (EPOCHREALTIME). Inputs are
# generated once under bench/data/ (not tracked) and reused while their size
# matches.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(dirname "$here")
data=$here/data
out=$data/out

SHORT_SIZE=${SHORT_SIZE:-256M}
LONG_SIZE=${LONG_SIZE:-256M}
HUGE_SIZE=${HUGE_SIZE:-1G}
RUNS=${RUNS:-15}
MAWK_RUNS=${MAWK_RUNS:-2}
SKIP_MAWK=${SKIP_MAWK:-0}
MANY_FILES=${MANY_FILES:-128}
MANY_SIZE=${MANY_SIZE:-2M}
BASELINE=${BASELINE:-}
FLOORS=${FLOORS:-0}

die() { echo "run-cli-bench: $*" >&2; exit 1; }

find_tool() {  # name -> path of a built program
  local name=$1 dir
  for dir in ${BUILD_DIR:+"$BUILD_DIR"} "$root"/build*/; do
    for candidate in "$dir/cli/$name" "$dir/bench/$name"; do
      [[ -x $candidate ]] && { echo "$candidate"; return 0; }
    done
  done
  return 1
}

csv2crc=${1:-$(find_tool csv2crc || true)}
[[ -n $csv2crc && -x $csv2crc ]] || die "csv2crc not found: build it or pass its path"
csv2crc=$(realpath "$csv2crc")
if [[ -n $BASELINE ]]; then
  [[ -x $BASELINE ]] || die "BASELINE is not a program: $BASELINE"
  BASELINE=$(realpath "$BASELINE")
fi
gen=$(dirname "$(dirname "$csv2crc")")/bench/bench_gen
[[ -x $gen ]] || gen=$(find_tool bench_gen || true)
[[ -n $gen && -x $gen ]] || die "bench_gen not found: build the target bench_gen"
for tool in mawk cmp; do
  command -v "$tool" >/dev/null || die "$tool is missing"
done
[[ -x /usr/bin/time ]] || die "/usr/bin/time is missing (Debian package: time)"
[[ -n ${EPOCHREALTIME:-} ]] || die "needs bash 5 (EPOCHREALTIME)"
(( RUNS >= 1 )) || die "RUNS must be at least 1"

mkdir -p "$data" "$out"
started_at="$(date -u +%Y-%m-%dT%H:%M:%SZ), load $(cut -d' ' -f1-3 /proc/loadavg)"

# make_input KIND SIZE FILE: generate FILE unless it was made with these arguments.
make_input() {
  local kind=$1 size=$2 file=$3
  if [[ ! -f $file || "$(cat "$file.args" 2>/dev/null)" != "$kind $size" ]]; then
    echo "generating $file ($kind, $size)" >&2
    "$gen" "$kind" "$size" "$file"
    echo "$kind $size" >"$file.args"
  fi
}

# seconds SETUP COMMAND...: runs SETUP (untimed, through the shell), then times
# COMMAND (its output discarded); prints the wall time in seconds.
seconds() {
  local setup=$1 t0 t1
  shift
  eval "$setup"
  t0=$EPOCHREALTIME
  "$@" >/dev/null
  t1=$EPOCHREALTIME
  awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.6f\n", b - a }'
}

# spread FILE [DECIMALS]: "min median max" of the numbers in FILE, one a line.
spread() {
  sort -g "$1" | awk -v d="${2:-3}" '{ v[NR] = $1 } END {
    m = NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2
    f = "%." d "f"
    printf f " " f " " f "\n", v[1], m, v[NR] }'
}
# ratios A B: the per-round ratios A[i] / B[i] of two time files, one a line.
ratios() {
  paste "$1" "$2" | awk '{ printf "%.4f\n", $1 / $2 }'
}
# fmt_spread "min med max" UNIT: "med UNIT (min-max)"
fmt_spread() {
  local min med max
  read -r min med max <<<"$1"
  printf '%s%s (%s-%s)' "$med" "$2" "$min" "$max"
}

# paired NAME1 SETUP1 CMD1 NAME2 SETUP2 CMD2 ...: RUNS rounds, each running every
# command once, starting with a different one each round; the times of command
# NAME go to $out/NAME.t, one a line. A command is a string for eval. SETUP
# (which removes the command's output) runs before each run, and after it but
# in the last round: only one output at a time holds dirty pages, so that the
# kernel's writeback of earlier outputs weighs as little as it can.
paired() {
  local -a names=() setups=() cmds=()
  while (( $# )); do
    names+=("$1"); setups+=("$2"); cmds+=("$3"); shift 3
  done
  local n=${#names[@]} round k j
  for ((k = 0; k < n; k++)); do : >"$out/${names[k]}.t"; done
  for ((round = 0; round < RUNS; round++)); do
    for ((j = 0; j < n; j++)); do
      k=$(( (round + j) % n ))
      seconds "${setups[k]}" eval "${cmds[k]}" >>"$out/${names[k]}.t"
      if (( round + 1 < RUNS )); then eval "${setups[k]}"; fi
    done
  done
}

inputs=()
make_input short-crlf "$SHORT_SIZE" "$data/short-crlf.csv"
inputs+=("$data/short-crlf.csv")
make_input short-lf "$SHORT_SIZE" "$data/short-lf.csv"
inputs+=("$data/short-lf.csv")
if [[ $LONG_SIZE != 0 ]]; then
  make_input long-crlf "$LONG_SIZE" "$data/long-crlf.csv"
  inputs+=("$data/long-crlf.csv")
fi
if [[ $HUGE_SIZE != 0 ]]; then
  make_input short-lf "$HUGE_SIZE" "$data/huge-lf.csv"
  inputs+=("$data/huge-lf.csv")
fi

# The awk baseline must produce the same bytes; check it on a small file first.
make_input short-crlf 64K "$data/check-base.csv"
{ cat "$data/check-base.csv"; printf 'a,b,c,d,e\r\nx\r\r\n\n\nq,,\n\ry,"z"'; } >"$data/check.csv"
rm -f "$out"/A1_check.crc
"$csv2crc" -o "$out" "$data/check.csv"
mawk -f "$here/csv2crc.awk" "$data/check.csv" >"$out/check.mawk"
cmp "$out/A1_check.crc" "$out/check.mawk" || die "mawk and csv2crc disagree on check.csv"
rm -f "$out/A1_check.crc" "$out/check.mawk"

summary=()
for input in "${inputs[@]}"; do
  name=$(basename "$input" .csv)
  crc=$out/A1_$name.crc
  size=$(stat -c %s "$input")
  echo
  echo "=== $name: $size bytes, $RUNS paired rounds ($(date -u +%H:%M:%SZ), load $(cut -d' ' -f1-3 /proc/loadavg))"
  cat "$input" >/dev/null  # warm the page cache

  base_dir=$out/baseline
  mkdir -p "$base_dir"
  commands=(cp "rm -f '$out/copy'" "cp '$input' '$out/copy'"
    csv2crc "rm -f '$crc'" "'$csv2crc' -o '$out' '$input'")
  if [[ -n $BASELINE ]]; then
    commands+=(baseline "rm -f '$base_dir/A1_$name.crc'" "'$BASELINE' -o '$base_dir' '$input'")
  fi
  if [[ $FLOORS == 1 ]]; then
    rm -f "$crc"
    "$csv2crc" -o "$out" "$input"
    out_mib=$(( ($(stat -c %s "$crc") + 1048575) / 1048576 ))
    rm -f "$crc"
    commands+=(read : "dd if='$input' of=/dev/null bs=1M status=none"
      write "rm -f '$out/zero'" "dd if=/dev/zero of='$out/zero' bs=1M count=$out_mib status=none")
  fi
  paired "${commands[@]}"
  rm -f "$out/zero"
  rm -f "$out/copy"
  if [[ -n $BASELINE ]]; then
    cmp "$crc" "$base_dir/A1_$name.crc" || die "csv2crc and BASELINE outputs differ for $name"
    rm -f "$base_dir/A1_$name.crc"
  fi
  cp_s=$(spread "$out/cp.t")
  tool_s=$(spread "$out/csv2crc.t")
  ratios "$out/csv2crc.t" "$out/cp.t" >"$out/ratio.t"
  ratio=$(spread "$out/ratio.t" 2)
  line=$(printf '%-11s cp %s  csv2crc %s = %s cp' "$name" "$(fmt_spread "$cp_s" ' s')" \
    "$(fmt_spread "$tool_s" ' s')" "$(fmt_spread "$ratio" x)")
  if [[ -n $BASELINE ]]; then
    ratios "$out/baseline.t" "$out/cp.t" >"$out/ratio.t"
    base_ratio=$(spread "$out/ratio.t" 2)
    ratios "$out/csv2crc.t" "$out/baseline.t" >"$out/ratio.t"
    gain=$(spread "$out/ratio.t" 2)
    line+=$(printf '  baseline %s = %s cp; csv2crc = %s baseline' \
      "$(fmt_spread "$(spread "$out/baseline.t")" ' s')" "$(fmt_spread "$base_ratio" x)" \
      "$(fmt_spread "$gain" x)")
  fi
  if [[ $FLOORS == 1 ]]; then
    ratios "$out/read.t" "$out/cp.t" >"$out/ratio.t"
    read_ratio=$(spread "$out/ratio.t" 2)
    ratios "$out/write.t" "$out/cp.t" >"$out/ratio.t"
    line+="  reading alone $(fmt_spread "$read_ratio" x) cp, writing alone $(fmt_spread "$(spread "$out/ratio.t" 2)" x) cp"
  fi

  rm -f "$crc"
  /usr/bin/time -v -o "$out/time.txt" "$csv2crc" -o "$out" "$input"
  rss_kib=$(awk -F': ' '/Maximum resident set size/ { print $2 }' "$out/time.txt")

  # mawk only on CR LF inputs: in an LF-only file it holds the whole file as
  # one record, and its time grows far faster than the file.
  if [[ $SKIP_MAWK != 1 && $name == *-crlf ]]; then
    : >"$out/mawk.t"
    for ((k = 0; k < MAWK_RUNS; k++)); do
      seconds "rm -f '$out/mawk.crc'" eval "mawk -f '$here/csv2crc.awk' '$input' > '$out/mawk.crc'" \
        >>"$out/mawk.t"
    done
    cmp "$crc" "$out/mawk.crc" || die "csv2crc and mawk outputs differ for $name"
    rm -f "$out/mawk.crc"
    mawk_med=$(spread "$out/mawk.t" | cut -d' ' -f2)
    tool_med=$(echo "$tool_s" | cut -d' ' -f2)
    line+=$(awk -v m="$mawk_med" -v t="$tool_med" \
      'BEGIN { printf "  mawk %.2f s = %.1fx csv2crc", m, m / t }')
  fi
  out_size=$(stat -c %s "$crc")
  line+=$(awk -v r="$rss_kib" -v i="$size" -v o="$out_size" \
    'BEGIN { printf "  peak RSS %.1f MiB  (in %.1f MiB, out %.1f MiB)", r / 1024, i / 1048576, o / 1048576 }')
  # The LF-only variant holds the same records (and a few more), so its
  # output must start with the whole CR LF output.
  if [[ $name == short-crlf ]]; then
    mv "$crc" "$out/short-crlf.keep"
  elif [[ $name == short-lf && -f $out/short-crlf.keep ]]; then
    cmp -n "$(stat -c %s "$out/short-crlf.keep")" "$out/short-crlf.keep" "$crc" ||
      die "LF-only and CR LF inputs with the same records give different outputs"
    rm -f "$out/short-crlf.keep"
  fi
  rm -f "$crc"
  echo "$line"
  summary+=("$line")
done
rm -f "$out"/*.t "$out/time.txt" "$out/short-crlf.keep"

# A batch of many files: what each file costs besides its bytes, and how well
# files converted at once use the cores. Fresh output folders for every run.
if [[ $MANY_FILES != 0 ]]; then
  many=$data/many
  if [[ "$(cat "$many/args" 2>/dev/null)" != "$MANY_FILES $MANY_SIZE" ]]; then
    rm -rf "$many"
    mkdir -p "$many"
    echo "generating $MANY_FILES files of $MANY_SIZE in $many" >&2
    for i in $(seq -w 1 "$MANY_FILES"); do "$gen" short-crlf "$MANY_SIZE" "$many/f$i.csv"; done
    echo "$MANY_FILES $MANY_SIZE" >"$many/args"
  fi
  files=("$many"/*.csv)
  dest=$out/many
  echo
  echo "=== $MANY_FILES x $MANY_SIZE, $RUNS paired rounds ($(date -u +%H:%M:%SZ), load $(cut -d' ' -f1-3 /proc/loadavg))"
  cat "${files[@]}" >/dev/null
  prepare="rm -rf '$dest' && mkdir '$dest'"
  commands=(cp "$prepare" "cp ${files[*]} '$dest/'"
    csv2crc "$prepare" "'$csv2crc' -o '$dest' ${files[*]}"
    one "$prepare" "'$csv2crc' -j 1 -o '$dest' ${files[*]}")
  if [[ -n $BASELINE ]]; then
    commands+=(baseline "$prepare" "'$BASELINE' -o '$dest' ${files[*]}")
  fi
  paired "${commands[@]}"
  ratios "$out/csv2crc.t" "$out/cp.t" >"$out/ratio.t"
  ratio=$(spread "$out/ratio.t" 2)
  ratios "$out/one.t" "$out/cp.t" >"$out/ratio.t"
  one_ratio=$(spread "$out/ratio.t" 2)
  rm -rf "$dest" && mkdir "$dest"
  /usr/bin/time -v -o "$out/time.txt" "$csv2crc" -o "$dest" "${files[@]}"
  rss_kib=$(awk -F': ' '/Maximum resident set size/ { print $2 }' "$out/time.txt")
  for f in "${files[@]}"; do
    name=$(basename "$f" .csv)
    [[ -f $dest/A1_$name.crc ]] || die "no output for $f"
  done
  line=$(printf '%-11s cp %s  csv2crc %s = %s cp  (-j 1: %s = %s cp)' "$MANY_FILES x $MANY_SIZE" \
    "$(fmt_spread "$(spread "$out/cp.t")" ' s')" "$(fmt_spread "$(spread "$out/csv2crc.t")" ' s')" \
    "$(fmt_spread "$ratio" x)" "$(fmt_spread "$(spread "$out/one.t")" ' s')" \
    "$(fmt_spread "$one_ratio" x)")
  if [[ -n $BASELINE ]]; then
    ratios "$out/baseline.t" "$out/cp.t" >"$out/ratio.t"
    line+="  baseline $(fmt_spread "$(spread "$out/ratio.t" 2)" x) cp"
  fi
  line+=$(awk -v r="$rss_kib" 'BEGIN { printf "  peak RSS %.1f MiB", r / 1024 }')
  echo "$line"
  summary+=("$line")
  rm -rf "$dest" "$out"/*.t "$out/time.txt"
fi
rm -rf "$out/baseline"

echo
echo "=== summary: medians over $RUNS paired rounds (minimum-maximum), $(nproc) cores"
echo "started $started_at"
echo "ended   $(date -u +%Y-%m-%dT%H:%M:%SZ), load $(cut -d' ' -f1-3 /proc/loadavg)"
echo "csv2crc:  $csv2crc${CORVANE_SCAN:+ (CORVANE_SCAN=$CORVANE_SCAN)}"
[[ -n $BASELINE ]] && echo "baseline: $BASELINE"
printf '%s\n' "${summary[@]}"
