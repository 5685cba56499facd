#!/bin/sh
# install.sh BUILD SOURCE GENERATOR WITH_QT LIBDIR INCLUDEDIR: installs BUILD into a fresh
# prefix and builds on it as another project would, once with pkg-config and
# once with find_package(ovinpdf); both programs save a PDF through the
# installed library. With WITH_QT=ON the find_package project also checks
# that the installed library finds its Qt module in its private folder.
# OVIN_TEST_FLAGS (sanitizer options) go to every compile and link.
set -eu
build="$1" source="$2" generator="$3" withqt="$4" libdir="$5" includedir="$6"
flags="${OVIN_TEST_FLAGS:-}"
capi="$source/tests/capi"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
p="$work/prefix"
lib="$p/$libdir"

cmake --install "$build" --prefix "$p" >/dev/null

fail() { echo "$*"; exit 1; }
# The usual links down to one real file named by the SONAME's version.
[ -L "$lib/libovinpdf.so" ] || fail "libovinpdf.so is not a link"
real=$(readlink -f "$lib/libovinpdf.so")
case "$(basename "$real")" in libovinpdf.so.1.*) ;; *) fail "libovinpdf.so points to $real" ;; esac
[ "$(readlink -f "$lib/libovinpdf.so.1")" = "$real" ] || fail "libovinpdf.so.1 is not the library"
readelf -d "$real" | grep -q 'SONAME.*\[libovinpdf\.so\.1\]' || fail "SONAME is not libovinpdf.so.1"
for header in "$source"/include/*.h; do
  cmp -s "$header" "$p/$includedir/$(basename "$header")" || fail "$(basename "$header") is not installed"
done
sh "$capi/exports.sh" "$lib/ovinpdf/libovinpdf-ocr.so" ovinpdfocr_makeengine >/dev/null ||
  fail "the text recognition module is missing from its private folder or exports more than its factory"
# Tesseract and the libraries it brings load only with that module.
! readelf -d "$real" | grep -q 'NEEDED.*libtesseract' || fail "libovinpdf.so links Tesseract itself"
if [ "$withqt" = ON ]; then
  sh "$capi/exports.sh" "$lib/ovinpdf/libovinpdf-qt.so" ovinpdfqt_makeui >/dev/null ||
    fail "the Qt module is missing from its private folder or exports more than its factory"
fi

# pkg-config, with the prefix found from the .pc file's own place.
PKG_CONFIG_PATH="$lib/pkgconfig" pkg-config --exists ovinpdf || fail "no ovinpdf.pc"
# shellcheck disable=SC2046,SC2086
"${CC:-cc}" $flags -o "$work/drive" "$capi/drive.c" $(PKG_CONFIG_PATH="$lib/pkgconfig" pkg-config --cflags --libs ovinpdf) \
  -Wl,-rpath,"$lib"
"$work/drive" "$work/pkgconfig.pdf" && qpdf --check "$work/pkgconfig.pdf" >/dev/null ||
  fail "the pkg-config program failed"

# find_package(ovinpdf) and the imported target ovinpdf::ovinpdf.
cmake -S "$capi/consumer" -B "$work/consumer" -G "$generator" -DCMAKE_PREFIX_PATH="$p" \
  -DCMAKE_C_FLAGS="$flags" -DCMAKE_CXX_FLAGS="$flags" -DWITH_QT="$withqt" >"$work/consumer.log" 2>&1 &&
  cmake --build "$work/consumer" >>"$work/consumer.log" 2>&1 || { cat "$work/consumer.log"; fail "the find_package project does not build"; }
"$work/consumer/drive" "$work/cmake.pdf" && qpdf --check "$work/cmake.pdf" >/dev/null ||
  fail "the find_package program failed"
if [ "$withqt" = ON ]; then
  QT_QPA_PLATFORM=offscreen "$work/consumer/qtwindow" "$work/qt.pdf" ||
    fail "the installed library showed no progress window in a Qt program"
fi
echo "install ok"
