#!/usr/bin/env bash
# Static analysis: clang-tidy (checks and reasons in .clang-tidy) and cppcheck
# over our sources: engine, filelist, cli, sysinfo, ui and fuzz;
# cppcheck covers tests as well, clang-tidy only with CORVANE_ANALYZE_TESTS=1.
# Any finding fails the run.
#
#   scripts/analyze.sh [build-dir]    (default: build-tidy; configured here, not built)
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${1:-$root/build-tidy}"
jobs="${CORVANE_JOBS:-2}"
start=$(date +%s)

# Configure only: compile_commands.json, the generated headers and Qt's moc
# output are all clang-tidy needs. Clang, so that every flag is one it knows.
CXX=clang++ cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug \
  -DCMAKE_CXX_COMPILER=clang++ -DCORVANE_BUILD_BENCH=OFF >/dev/null
autogen=$(ninja -C "$build" -t targets all | sed -n 's/^\([A-Za-z0-9_]*_autogen\): phony$/\1/p')
if [ -n "$autogen" ]; then
  # shellcheck disable=SC2086
  ninja -C "$build" $autogen >/dev/null
fi
CC=clang CXX=clang++ cmake -S "$root/fuzz" -B "$build/fuzz" -G Ninja >/dev/null

# One compilation database of our own sources: no build outputs (moc, rcc).
db="$build/analyze"
# tidy/: what clang-tidy checks; all/: what cppcheck checks (tests included).
ours() {
  python3 - "$root" "$build/compile_commands.json" "$build/fuzz/compile_commands.json" \
    "$1/compile_commands.json" "$2" <<'PY'
import json, sys
root, main_db, fuzz_db, out, tests = sys.argv[1:]
ours = ("engine/", "filelist/", "cli/", "sysinfo/", "ui/", "fuzz/") + (("tests/",) if tests == "1" else ())
entries, seen = [], set()
for path in (main_db, fuzz_db):
    for e in json.load(open(path)):
        rel = e["file"][len(root) + 1:] if e["file"].startswith(root + "/") else ""
        if rel.startswith(ours) and e["file"] not in seen:
            seen.add(e["file"])
            entries.append(e)
json.dump(entries, open(out, "w"), indent=1)
print(f"analyze: {len(entries)} source files for {out.split('/')[-2]}")
PY
}
mkdir -p "$db/tidy" "$db/all"
ours "$db/tidy" "${CORVANE_ANALYZE_TESTS:-0}"
ours "$db/all" 1

status=0
echo "== clang-tidy"
tidy_log="$db/clang-tidy.log"
if command -v run-clang-tidy-14 >/dev/null; then
  run-clang-tidy-14 -p "$db/tidy" -j "$jobs" -quiet >"$tidy_log" 2>&1 || status=1
else
  python3 -c 'import json,sys; print("\n".join(e["file"] for e in json.load(open(sys.argv[1]))))' \
    "$db/tidy/compile_commands.json" |
    xargs -P "$jobs" -n 1 clang-tidy-14 -p "$db/tidy" --quiet >"$tidy_log" 2>&1 || status=1
fi
if grep -E '(warning|error): ' "$tidy_log"; then
  status=1
fi
tidy_end=$(date +%s)
echo "clang-tidy: $((tidy_end - start)) s"

echo "== cppcheck"
# googletest and qt: the libraries' macros (TEST, Q_OBJECT) as cppcheck must see them.
cppcheck --enable=warning,performance,portability --error-exitcode=1 --inline-suppr \
  --std=c++20 --library=googletest --library=qt \
  --suppressions-list="$root/.cppcheck-suppressions" \
  --project="$db/all/compile_commands.json" -j "$jobs" --quiet || status=1
end=$(date +%s)
echo "cppcheck: $((end - tidy_end)) s; analyze: $((end - start)) s in all"
if [ "$status" -ne 0 ]; then
  echo "analyze: findings above" >&2
fi
exit "$status"
