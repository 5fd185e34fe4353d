#!/usr/bin/env bash
# Brings the English translation source up to date with the texts in the program's code (lupdate):
# new texts come in unfinished, texts no longer in the code go. Then give every unfinished entry its
# English (Qt Linguist, or by hand in the .ts) and rebuild.
# Usage: tools/update-translations.sh [TS_FILE]   (default: resources/translations/lystrel2_en.ts)
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
ts=$(realpath -m "${1:-$here/resources/translations/lystrel2_en.ts}")
lupdate=${LUPDATE:-/usr/lib/qt6/bin/lupdate}
cd "$here"
"$lupdate" -silent -no-obsolete -locations none -source-language ja -target-language en \
  app dialogs display effects hotkeys player platform settings -ts "$ts"
