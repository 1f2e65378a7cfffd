#!/usr/bin/env bash
# Stress test, run by hand (not in CI): converts one LF-only "line" of several
# GiB (default 5 GiB, past both the 2 GiB and the 4 GiB marks) with the built
# csv2crc under /usr/bin/time -v, checks the output against an independent
# expectation, reports peak memory and time, and cleans up.
#
# The input is N copies of a block of LF-ended records, so the whole file is
# one line of N * (records per block) records. The expected output is the
# block converted by a small awk program written from the rules, N times over;
# it is never stored: its SHA-256 is taken from a stream and compared with the
# output's.
#
# Environment:
#   STRESS_SIZE  input size (bytes, or with an IEC suffix: 5G, 512M); default 5G
#   STRESS_DIR   folder for the input and output; default a new folder in /tmp
#   CSV2CRC      the program; default build/cli/csv2crc of this checkout
set -euo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
size=$(numfmt --from=iec "${STRESS_SIZE:-5G}")
csv2crc=${CSV2CRC:-$repo/build/cli/csv2crc}
[[ -x $csv2crc ]] || { echo "no csv2crc at $csv2crc (set CSV2CRC)" >&2; exit 2; }
for tool in /usr/bin/time mawk sha256sum numfmt; do
  command -v "$tool" >/dev/null || { echo "needs $tool" >&2; exit 2; }
done

if [[ -n ${STRESS_DIR:-} ]]; then
  work=$STRESS_DIR
  mkdir -p "$work"
  own_work=0
else
  work=$(mktemp -d /tmp/corvane-stress-XXXXXX)
  own_work=1
fi
cleanup() {
  rm -f "$work/huge.csv" "$work/A1_huge.crc" "$work"/.A1_huge.crc.* "$work/block" \
    "$work/block.crc" "$work/chunk" "$work/chunk.crc" "$work/time.txt"
  if ((own_work)); then rmdir "$work" 2>/dev/null || true; fi
}
trap cleanup EXIT

# One block of LF-ended records: short and long fields, a missing fourth
# field, extra commas kept in the fourth column, a blank record, quotes and
# spaces as plain characters.
{
  for i in $(seq 1 200); do
    printf 'rec%05d,name %d,"q%d",value,%d,%d,tail\n' "$i" "$i" "$i" "$((i * 7))" "$((i * 13))"
    printf 'short%d,b\n' "$i"
    printf '\n'
    printf ',,,%s\n' "$(printf 'x%.0s' $(seq 1 $((i % 50))))"
  done
} >"$work/block"

# The block's expected output, from the rules: the first three fields end at
# a comma, the fourth keeps the rest; five columns joined by two TABs; CR LF.
mawk 'BEGIN { RS = "\n"; ORS = "" }
{
  r = $0; f4 = ""; done = 0
  for (k = 1; k <= 3; k++) {
    p = index(r, ",")
    if (p == 0) { f[k] = r; r = ""; done = 1; for (j = k + 1; j <= 3; j++) f[j] = ""; break }
    f[k] = substr(r, 1, p - 1); r = substr(r, p + 1)
  }
  if (!done) f4 = r
  printf "%s\t\t%s\t\t111 x 222\t\t%s\t\t%s\r\n", f[1], f[2], f[3], f4
}' "$work/block" >"$work/block.crc"

# 4 MiB-ish chunks of whole blocks keep generation to a few thousand cat calls.
block_bytes=$(stat -c %s "$work/block")
per_chunk=$(((4 << 20) / block_bytes))
for _ in $(seq 1 "$per_chunk"); do cat "$work/block"; done >"$work/chunk"
for _ in $(seq 1 "$per_chunk"); do cat "$work/block.crc"; done >"$work/chunk.crc"
chunk_bytes=$(stat -c %s "$work/chunk")
chunks=$(((size + chunk_bytes - 1) / chunk_bytes))
in_bytes=$((chunks * chunk_bytes))
out_bytes=$((chunks * $(stat -c %s "$work/chunk.crc")))

# Room for the input and the output (written beside it), plus 1 GiB to spare.
need=$((in_bytes + out_bytes + (1 << 30)))
avail=$(($(df --output=avail -B1 "$work" | tail -1)))
if ((avail < need)); then
  echo "not enough disk in $work: need $(numfmt --to=iec "$need"), have $(numfmt --to=iec "$avail")" >&2
  echo "set STRESS_SIZE smaller or STRESS_DIR elsewhere" >&2
  exit 3
fi

echo "input:  $(numfmt --to=iec "$in_bytes") ($in_bytes bytes), one line of LF-ended records"
echo "output: $(numfmt --to=iec "$out_bytes") expected"
start=$(date +%s)
for _ in $(seq 1 "$chunks"); do cat "$work/chunk"; done >"$work/huge.csv"
echo "generated in $(($(date +%s) - start)) s"
[[ $(stat -c %s "$work/huge.csv") -eq $in_bytes ]] || { echo "input generation failed" >&2; exit 1; }

/usr/bin/time -v -o "$work/time.txt" "$csv2crc" "$work/huge.csv"
rss_kib=$(awk -F': ' '/Maximum resident set size/ { print $2 }' "$work/time.txt")
elapsed=$(awk -F': ' '/Elapsed \(wall clock\)/ { print $2 }' "$work/time.txt")
user=$(awk -F': ' '/User time/ { print $2 }' "$work/time.txt")
sys=$(awk -F': ' '/System time/ { print $2 }' "$work/time.txt")

got_bytes=$(stat -c %s "$work/A1_huge.crc")
got_sum=$(sha256sum <"$work/A1_huge.crc" | cut -d' ' -f1)
want_sum=$(for _ in $(seq 1 "$chunks"); do cat "$work/chunk.crc"; done | sha256sum | cut -d' ' -f1)

echo "converted: wall $elapsed, user ${user}s, sys ${sys}s, peak RSS ${rss_kib} KiB"
echo "output:    $got_bytes bytes, sha256 $got_sum"
if [[ $got_bytes -ne $out_bytes || $got_sum != "$want_sum" ]]; then
  echo "FAIL: output differs from the expectation (sha256 $want_sum, $out_bytes bytes)" >&2
  exit 1
fi
echo "OK: output matches the independent expectation"
