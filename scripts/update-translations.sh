#!/bin/sh
# Brings the window's translation of the reasons up to date with the code:
# every text marked for translation in the engine, the run and the lists
# (QCoreApplication::translate, QT_TRANSLATE_NOOP) gets an entry, new ones
# unfinished, and entries whose text is gone are dropped.
#   ./scripts/update-translations.sh          updates translations/korrin_zh_CN.ts
#   ./scripts/update-translations.sh FILE.ts  updates FILE.ts instead (the
#                                             test translations_complete
#                                             runs it on a copy)
# Then translate the unfinished entries (Qt Linguist, or by hand: fill in
# <translation> and drop type="unfinished").
set -eu
repo=$(cd "$(dirname "$0")/.." && pwd)
ts=$(realpath "${1:-$repo/translations/korrin_zh_CN.ts}")
lupdate=${LUPDATE:-/usr/lib/qt5/bin/lupdate}
cd "$repo"
# Line numbers would change with every edit of the code; entries are found
# by context and text.
"$lupdate" -silent -no-obsolete -locations none -extensions cpp,h -target-language zh_CN \
    src/excel src/replace src/lists src/app/listtab.cpp -ts "$ts"
