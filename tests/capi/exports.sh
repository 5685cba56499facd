#!/bin/sh
# The shared library defines exactly the fourteen calls of ovinpdf.h, with C
# linkage (unmangled names), and nothing else.
set -eu
lib="$1"
expected="geterror getwarnings pdfaddimage pdfaddindex pdfaddsubindex pdfaddtext pdfclear pdfinit pdfsave setpdfmaker setpdftitle settempimg showversioninfo validfext"
actual=$(nm -D --defined-only "$lib" | awk '$2 ~ /^[TtWwDdBbRrVviu]$/ {print $3}' | sort | tr '\n' ' ' | sed 's/ $//')
if [ "$actual" != "$expected" ]; then
  echo "exported: $actual"
  echo "expected: $expected"
  exit 1
fi
for name in $expected; do
  nm -D --defined-only "$lib" | grep -q " T $name\$" || { echo "$name is not a function"; exit 1; }
done
echo "exports ok"
