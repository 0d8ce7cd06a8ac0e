#!/usr/bin/env bash
# Regenerates src/kanji/JisX0212Table.cpp and src/kanji/JisX0213Table.cpp
# from glibc iconv's EUC-JP and EUC-JISX0213 converters.
set -euo pipefail
cd "$(dirname "$0")/.."
TMP=$(mktemp -d)
trap 'rm -rf "$TMP"' EXIT
g++ -std=c++20 -O1 -Wall -Wextra -Isrc -o "$TMP/gen" scripts/gen-jis-tables.cpp
"$TMP/gen" "$TMP/JisX0212Table.cpp" "$TMP/JisX0213Table.cpp"
mv "$TMP/JisX0212Table.cpp" "$TMP/JisX0213Table.cpp" src/kanji/
wc -l src/kanji/JisX0212Table.cpp src/kanji/JisX0213Table.cpp
