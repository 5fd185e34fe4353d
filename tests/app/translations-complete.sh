#!/usr/bin/env bash
# Every text in the program's code has a finished English translation: the .ts brought up to date
# in a scratch copy has no unfinished entry.
set -euo pipefail
here=$(cd "$(dirname "$0")/../.." && pwd)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
cp "$here/resources/translations/lystrel2_en.ts" "$scratch/check.ts"
"$here/tools/update-translations.sh" "$scratch/check.ts"
entries=$(grep -c '<message>' "$scratch/check.ts")
if grep -q 'type="unfinished"' "$scratch/check.ts"; then
  echo "Texts without an English translation (run 'make translations', then translate them):"
  grep -B2 'type="unfinished"' "$scratch/check.ts" | grep '<source>'
  exit 1
fi
echo "$entries texts, all translated"
[ "$entries" -gt 50 ]
