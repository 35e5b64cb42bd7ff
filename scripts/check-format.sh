#!/usr/bin/env bash
# Fails when a C++ file of the project differs from what the project's
# .clang-format makes of it. Usage: scripts/check-format.sh [--fix]
set -euo pipefail
cd "$(dirname "$0")/.."

mapfile -t files < <(git ls-files -- '*.cpp' '*.h' | grep -v '^build/')
if [ "${1:-}" = "--fix" ]; then
  clang-format -i "${files[@]}"
  exit 0
fi
if ! clang-format --dry-run --Werror "${files[@]}" 2>/tmp/check-format.$$; then
  grep -E '^[^ ].*: (error|warning)' /tmp/check-format.$$ | cut -d: -f1 | sort -u | sed 's/^/check-format: not formatted: /'
  rm -f /tmp/check-format.$$
  echo "check-format: run scripts/check-format.sh --fix" >&2
  exit 1
fi
rm -f /tmp/check-format.$$
echo "check-format: ${#files[@]} files formatted"
