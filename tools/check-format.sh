#!/usr/bin/env bash
# check-format.sh [--fix]: every C and C++ file of ours formatted as .clang-format says.
# Prints the files that differ (and the first lines of each difference) and exits 1; with --fix
# formats them in place instead. Generated files and the build folders are not ours to format.
set -euo pipefail
cd "$(dirname "$(readlink -f "$0")")/.."
mapfile -t files < <(git ls-files '*.c' '*.cpp' '*.h')
if [ "${1:-}" = --fix ]; then
  clang-format -i "${files[@]}"
  exit 0
fi
status=0
for f in "${files[@]}"; do
  if ! out=$(clang-format "$f" | diff -u "$f" -); then
    echo "$f is not formatted as .clang-format says (tools/check-format.sh --fix):"
    printf '%s\n' "$out" | sed -n '3,12p'
    status=1
  fi
done
[ $status = 0 ] && echo "Formatting: ${#files[@]} files as .clang-format says."
exit $status
