#!/usr/bin/env bash
# Static analysis: clang-tidy (checks and reasons in .clang-tidy) and cppcheck
# over our sources: platform, engine, filelist, cli, sysinfo, ui and fuzz;
# cppcheck covers tests as well, clang-tidy only with CORVANE_ANALYZE_TESTS=1.
# Any finding fails the run.
#
#   scripts/analyze.sh [build-dir]    (default: build-sanitize)
#
# It reads the compilation database of a clang build (so that every flag is one
# clang-tidy knows) that holds the fuzz targets: the sanitizer build, which
# scripts/sanitize.sh leaves. A build folder that is not there yet is
# configured with the preset "sanitize", and only Qt's generated sources are
# built, which is all clang-tidy needs besides.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${1:-$root/build-sanitize}"
jobs="${CORVANE_JOBS:-2}"
start=$(date +%s)

if [ ! -f "$build/compile_commands.json" ]; then
  [ "$build" = "$root/build-sanitize" ] ||
    { echo "analyze: no compile_commands.json in $build" >&2; exit 2; }
  (cd "$root" && cmake --preset sanitize ${CORVANE_WERROR:+-DCORVANE_WERROR="$CORVANE_WERROR"} >/dev/null)
fi
autogen=$(ninja -C "$build" -t targets all | sed -n 's/^\([A-Za-z0-9_]*_autogen\): phony$/\1/p')
if [ -n "$autogen" ]; then
  # shellcheck disable=SC2086
  ninja -C "$build" $autogen >/dev/null
fi

# One compilation database of our own sources: no build outputs (moc, rcc).
db="$build/analyze"
# tidy/: what clang-tidy checks; all/: what cppcheck checks (tests included).
ours() {
  python3 - "$root" "$build/compile_commands.json" "$1/compile_commands.json" "$2" <<'PY'
import json, sys
root, build_db, out, tests = sys.argv[1:]
ours = ("platform/", "engine/", "filelist/", "cli/", "sysinfo/", "ui/", "fuzz/") + (("tests/",) if tests == "1" else ())
entries, seen = [], set()
for e in json.load(open(build_db)):
    rel = e["file"][len(root) + 1:] if e["file"].startswith(root + "/") else ""
    if rel.startswith(ours) and e["file"] not in seen:
        seen.add(e["file"])
        entries.append(e)
# The files that pull in the heavy libraries (CLI11, Qt) first, so that the last
# ones to finish are short and no core waits long for one file.
entries.sort(key=lambda e: not e["file"][len(root) + 1:].startswith(("cli/", "ui/")))
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
