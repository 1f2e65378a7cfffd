#!/usr/bin/env bash
# Whole-program timings of csv2crc against cp (the I/O floor) and mawk (a
# plain scripted conversion), plus csv2crc's peak memory on every input.
#
#   bench/run-cli-bench.sh [PATH/TO/csv2crc]
#
# Without an argument csv2crc (and bench_gen) are looked for in $BUILD_DIR, or
# else in the first build*/ folder of the source tree that holds them.
# Environment (sizes take a K, M or G suffix):
#   SHORT_SIZE=256M   short records, CR LF ends, and the same records LF-only
#   LONG_SIZE=256M    records of ~100 KiB fields (0 skips)
#   HUGE_SIZE=1G      LF-only short records: one 1 GiB "line" (0 skips)
#   MANY_FILES=128    a batch of that many files of short CR LF records (0 skips),
#   MANY_SIZE=2M      each of this size: `csv2crc -o DIR *.csv` against `cp *.csv DIR/`
#   RUNS=10           timed runs per command (hyperfine); MAWK_RUNS=2
# Times are hyperfine medians; ratios compare medians taken in the same run.
#   SKIP_MAWK=1       leave out mawk (it takes ~30x longer than csv2crc)
# Needs: hyperfine, mawk, GNU time (/usr/bin/time), cmp. Inputs are generated
# once under bench/data/ (not tracked) and reused while their size matches.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(dirname "$here")
data=$here/data
out=$data/out

SHORT_SIZE=${SHORT_SIZE:-256M}
LONG_SIZE=${LONG_SIZE:-256M}
HUGE_SIZE=${HUGE_SIZE:-1G}
RUNS=${RUNS:-10}
MAWK_RUNS=${MAWK_RUNS:-2}
SKIP_MAWK=${SKIP_MAWK:-0}
MANY_FILES=${MANY_FILES:-128}
MANY_SIZE=${MANY_SIZE:-2M}

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
gen=$(dirname "$(dirname "$csv2crc")")/bench/bench_gen
[[ -x $gen ]] || gen=$(find_tool bench_gen || true)
[[ -n $gen && -x $gen ]] || die "bench_gen not found: build the target bench_gen"
for tool in hyperfine mawk cmp; do
  command -v "$tool" >/dev/null || die "$tool is missing"
done
[[ -x /usr/bin/time ]] || die "/usr/bin/time is missing (Debian package: time)"

mkdir -p "$data" "$out"

# make_input KIND SIZE FILE: generate FILE unless it was made with these arguments.
make_input() {
  local kind=$1 size=$2 file=$3
  if [[ ! -f $file || "$(cat "$file.args" 2>/dev/null)" != "$kind $size" ]]; then
    echo "generating $file ($kind, $size)" >&2
    "$gen" "$kind" "$size" "$file"
    echo "$kind $size" >"$file.args"
  fi
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

median_of() {  # hyperfine CSV export -> median seconds of its only command
  awk -F, 'NR == 2 { print $4 }' "$1"
}

summary=()
for input in "${inputs[@]}"; do
  name=$(basename "$input" .csv)
  crc=$out/A1_$name.crc
  size=$(stat -c %s "$input")
  echo
  echo "=== $name: $size bytes"
  cat "$input" >/dev/null  # warm the page cache

  hyperfine --style basic --warmup 1 --runs "$RUNS" --export-csv "$out/cp.csv" \
    --prepare "rm -f '$out/copy'" "cp '$input' '$out/copy'" >&2
  rm -f "$out/copy"
  hyperfine --style basic --warmup 1 --runs "$RUNS" --export-csv "$out/csv2crc.csv" \
    --prepare "rm -f '$crc'" "'$csv2crc' -o '$out' '$input'" >&2
  cp_s=$(median_of "$out/cp.csv")
  tool_s=$(median_of "$out/csv2crc.csv")

  rm -f "$crc"
  /usr/bin/time -v -o "$out/time.txt" "$csv2crc" -o "$out" "$input"
  rss_kib=$(awk -F': ' '/Maximum resident set size/ { print $2 }' "$out/time.txt")

  # mawk only on CR LF inputs: in an LF-only file it holds the whole file as
  # one record, and its time grows far faster than the file.
  mawk_s=
  if [[ $SKIP_MAWK != 1 && $name == *-crlf ]]; then
    hyperfine --style basic --runs "$MAWK_RUNS" --export-csv "$out/mawk.csv" \
      --prepare "rm -f '$out/mawk.crc'" \
      "mawk -f '$here/csv2crc.awk' '$input' > '$out/mawk.crc'" >&2
    mawk_s=$(median_of "$out/mawk.csv")
    cmp "$crc" "$out/mawk.crc" || die "csv2crc and mawk outputs differ for $name"
    rm -f "$out/mawk.crc"
  fi
  out_size=$(stat -c %s "$crc")
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

  line=$(awk -v n="$name" -v c="$cp_s" -v t="$tool_s" -v m="$mawk_s" -v r="$rss_kib" \
    -v i="$size" -v o="$out_size" 'BEGIN {
      s = sprintf("%-11s in %7.1f MiB out %7.1f MiB  cp %.3f s  csv2crc %.3f s = %.2fx cp",
                  n, i / 1048576, o / 1048576, c, t, t / c)
      if (m != "") s = s sprintf("  mawk %.2f s = %.1fx csv2crc", m, m / t)
      s = s sprintf("  peak RSS %.1f MiB", r / 1024)
      print s }')
  echo "$line"
  summary+=("$line")
done
rm -f "$out"/*.csv "$out/time.txt" "$out/short-crlf.keep"

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
  cat "${files[@]}" >/dev/null
  prepare="rm -rf '$dest' && mkdir '$dest'"
  hyperfine --style basic --warmup 1 --runs "$RUNS" --export-csv "$out/many.csv" \
    --prepare "$prepare" "cp ${files[*]} '$dest/'" \
    --prepare "$prepare" "'$csv2crc' -o '$dest' ${files[*]}" \
    --prepare "$prepare" "'$csv2crc' -j 1 -o '$dest' ${files[*]}" >&2
  cp_s=$(awk -F, 'NR == 2 { print $4 }' "$out/many.csv")
  tool_s=$(awk -F, 'NR == 3 { print $4 }' "$out/many.csv")
  one_s=$(awk -F, 'NR == 4 { print $4 }' "$out/many.csv")
  rm -rf "$dest" && mkdir "$dest"
  /usr/bin/time -v -o "$out/time.txt" "$csv2crc" -o "$dest" "${files[@]}"
  rss_kib=$(awk -F': ' '/Maximum resident set size/ { print $2 }' "$out/time.txt")
  for f in "${files[@]}"; do
    name=$(basename "$f" .csv)
    [[ -f $dest/A1_$name.crc ]] || die "no output for $f"
  done
  line=$(awk -v n="$MANY_FILES x $MANY_SIZE" -v c="$cp_s" -v t="$tool_s" -v o="$one_s" \
    -v r="$rss_kib" 'BEGIN {
      printf "%-11s  cp %.3f s  csv2crc %.3f s = %.2fx cp  (-j 1: %.3f s = %.2fx cp)  peak RSS %.1f MiB\n",
             n, c, t, t / c, o, o / c, r / 1024 }')
  echo "$line"
  summary+=("$line")
  rm -rf "$dest" "$out/many.csv" "$out/time.txt"
fi

echo
echo "=== summary ($(date -u +%Y-%m-%dT%H:%MZ), $(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg))"
echo "csv2crc: $csv2crc"
printf '%s\n' "${summary[@]}"
