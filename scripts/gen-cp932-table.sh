#!/usr/bin/env bash
# Regenerates src/kanji/Cp932Table.cpp from glibc iconv's CP932 converter.
set -euo pipefail
cd "$(dirname "$0")/.."
TMP=$(mktemp -d)
trap 'rm -rf "$TMP"' EXIT
g++ -std=c++20 -O1 -Wall -Wextra -Isrc -o "$TMP/gen" scripts/gen-cp932-table.cpp
"$TMP/gen" >"$TMP/Cp932Table.cpp"
mv "$TMP/Cp932Table.cpp" src/kanji/Cp932Table.cpp
echo "src/kanji/Cp932Table.cpp: $(wc -l <src/kanji/Cp932Table.cpp) lines"
