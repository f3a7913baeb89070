#!/usr/bin/env bash
# Prints the lines of test code against the lines of the code it tests (the project aims at 0.35 or less).
# Counts tracked *.cpp and *.h only, so build output and the fetched third-party files stay out.
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root" || exit 0
count() { xargs -r cat 2>/dev/null | wc -l; }
files="$(git ls-files -- '*.cpp' '*.h' 2>/dev/null | grep -v -e '^third_party' -e '/third_party/')"
tests="$(printf '%s\n' "$files" | grep '^tests/' | count)"
code="$(printf '%s\n' "$files" | grep -v '^tests/' | count)"
if [ "${code:-0}" -gt 0 ]; then
  ratio="$(awk -v t="$tests" -v c="$code" 'BEGIN { printf "%.3f", t / c }')"
else
  ratio="n/a"
fi
printf 'test lines %s, code lines %s, ratio %s\n' "$tests" "$code" "$ratio"
exit 0
