#!/bin/sh
# localenumbers.sh FOLDER PROGRAM: runs PROGRAM (localepdfs or qtlocale) once
# in the C locale and once in de_DE.UTF-8, whose decimal point is a comma,
# and checks that both runs write the same bytes. The German locale is made
# here with localedef, so no locale of the system is needed.
set -eu
folder="$1" program="$2"
rm -rf "$folder"
mkdir -p "$folder/locale" "$folder/c" "$folder/comma"
localedef -i de_DE -f UTF-8 "$folder/locale/de_DE.UTF-8" ||
  { echo "localedef could not make de_DE.UTF-8"; exit 1; }

LC_ALL=C "$program" "$folder/c" .
LOCPATH="$folder/locale" LANG=de_DE.UTF-8 LC_ALL=de_DE.UTF-8 "$program" "$folder/comma" ,

status=0
for pdf in classic.pdf document.pdf; do
  qpdf --check "$folder/c/$pdf" >/dev/null || { echo "$pdf: qpdf --check failed"; status=1; }
  if ! cmp "$folder/c/$pdf" "$folder/comma/$pdf"; then
    # The lines that differ, with the streams uncompressed.
    for run in c comma; do
      qpdf --qdf --static-id --object-streams=disable "$folder/$run/$pdf" \
        "$folder/$run/qdf-$pdf" 2>/dev/null || true
    done
    diff -a "$folder/c/qdf-$pdf" "$folder/comma/qdf-$pdf" | grep -a '^[<>]' | grep -av ' 00000 n' |
      head -12
    status=1
  fi
done
[ "$status" -eq 0 ] && echo "same bytes in the C and the de_DE.UTF-8 locale"
exit "$status"
