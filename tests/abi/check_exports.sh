#!/usr/bin/env bash
# Checks the dynamic symbols a shared library defines against the pinned list:
# every exported symbol must be on the list (no internals leak out), and with
# --complete every listed symbol must be there.
set -euo pipefail
library=$1
allowed=$2
complete=${3:-}

# Sanitizer and coverage instrumentation add its own bookkeeping symbols; they are not ours.
exported=$(nm -D --defined-only "$library" | awk '{print $3}' | sed 's/@.*//' |
  grep -v -E '^(__odr_asan|__asan_|__ubsan_|__sancov|__sanitizer_|__gcov|mangle_path)' | sort -u)
unexpected=$(comm -23 <(printf '%s\n' "$exported") <(sort -u "$allowed"))
if [ -n "$unexpected" ]; then
  echo "symbols exported but not part of the interface:"
  printf '  %s\n' $unexpected
  exit 1
fi
if [ "$complete" = "--complete" ]; then
  missing=$(comm -13 <(printf '%s\n' "$exported") <(sort -u "$allowed"))
  if [ -n "$missing" ]; then
    echo "interface symbols missing from the library:"
    printf '  %s\n' $missing
    exit 1
  fi
fi
# The library may depend on the host stand-in and the C runtime only (plus
# sanitizer runtimes in instrumented builds).
needed=$(readelf -d "$library" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p')
for lib in $needed; do
  case "$lib" in
    libquolan_platform.so*|libc.so*|ld-linux*|libm.so*|libasan.so*|libubsan.so*|libgcc_s.so*) ;;
    *) echo "unexpected dependency: $lib"; exit 1 ;;
  esac
done

count=$(printf '%s\n' "$exported" | grep -c . || true)
echo "exports ok: $count symbols, all on the pinned list"
