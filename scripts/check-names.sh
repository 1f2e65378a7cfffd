#!/usr/bin/env bash
# Fails when two tracked paths differ only in case: a Windows or macOS checkout
# keeps one file of such a pair and silently drops the other. Folders count
# too (ui/Main/x and ui/main/y clash on those systems).
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
clashes=$(git ls-files | awk '{ path = ""; n = split($0, part, "/");
  for (i = 1; i <= n; i++) { path = path (i > 1 ? "/" : "") part[i]; print path } }' |
  sort -u | sort -f | uniq -di)
if [ -n "$clashes" ]; then
  echo "Tracked paths that differ only in case (each shown once, the other spelling exists too):"
  printf '%s\n' "$clashes" | sed 's/^/  /'
  exit 1
fi
echo "No two tracked paths differ only in case."
