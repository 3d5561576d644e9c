#!/usr/bin/env bash
# scripts/check-setup against this build: the setup list passes, and a list
# without one package that the build needs fails, naming that package and a
# file that came from it. Skipped (exit 77) where there is no dpkg.
#   check_setup_test.sh SOURCE_DIR BUILD_DIR
set -uo pipefail
src="$1" build="$2"
if ! command -v dpkg-query >/dev/null || ! command -v apt-cache >/dev/null; then
  echo "SKIPPED: no dpkg or apt-cache: the set-up check needs a Debian system"
  exit 77
fi

tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT
"$src/scripts/setup" --list >"$tmp/full"
failures=0

# The full list: the check passes.
if out="$("$src/scripts/check-setup" --list "$tmp/full" "$build" 2>&1)"; then
  echo "ok: the setup list passes"
else
  echo "FAILED: the setup list does not pass:"; echo "$out"; failures=$((failures + 1))
fi

# One package left out: the check fails and names the package and the file.
#   left out            a file it supplies that the build uses
cases=(
  "libqt6opengl6-dev    Qt6OpenGLConfig.cmake"
  "xauth                /usr/bin/xauth"
  "libcli11-dev         /usr/include/CLI/"
)
for c in "${cases[@]}"; do
  read -r pkg file <<<"$c"
  grep -vx "$pkg" "$tmp/full" >"$tmp/partial"
  out="$("$src/scripts/check-setup" --list "$tmp/partial" "$build" 2>&1)"
  rc=$?
  line="$(grep "^check-setup: package .*$pkg" <<<"$out" | head -1)"
  if [ "$rc" -eq 1 ] && [ -n "$line" ] \
     && sed -n "/^check-setup: package .*$pkg/,/^check-setup:/p" <<<"$out" | grep -q "^  .*$file"; then
    echo "ok: without $pkg the check fails naming it and $file"
  else
    echo "FAILED: without $pkg: exit $rc, output:"; echo "$out"; failures=$((failures + 1))
  fi
done

echo "$((${#cases[@]} + 1 - failures)) passed, $failures failed"
[ "$failures" -eq 0 ]
