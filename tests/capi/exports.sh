#!/bin/sh
# exports.sh LIB NAME...: the shared object LIB defines exactly the functions
# NAME with C linkage (unmangled) and nothing else. A NAME with a wildcard
# (ovinpdf_*) admits any number of functions so named.
set -euf
lib="$1"
shift
status=0
for name in $(nm -D --defined-only "$lib" | awk '$2 ~ /^[TtWwDdBbRrVviu]$/ {print $2 ":" $3}'); do
  type=${name%%:*}
  name=${name#*:}
  allowed=no
  for pattern in "$@"; do
    case "$name" in $pattern) allowed=yes ;; esac
  done
  if [ "$allowed" = no ]; then
    echo "$name is exported but should not be"
    status=1
  elif [ "$type" != T ]; then
    echo "$name is not a function"
    status=1
  fi
done
for name in "$@"; do
  case "$name" in *'*'*) continue ;; esac
  nm -D --defined-only "$lib" | grep -q " T $name\$" || { echo "$name is missing"; status=1; }
done
[ "$status" -eq 0 ] && echo "exports ok"
exit "$status"
