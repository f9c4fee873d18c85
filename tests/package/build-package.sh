#!/usr/bin/env bash
# Makes the Debian package from a finished build and unpacks it into a throw-away root, as the
# other package tests find it: OUT/deb/varnel_*.deb and OUT/root/.
# usage: build-package.sh CPACK_CONFIG OUT
set -euo pipefail
config=$1
out=$2
rm -rf "$out"
mkdir -p "$out/deb" "$out/root"
# A folder of its own: the build's own package (README: cpack in build/) stays as it was.
cpack -G DEB --config "$config" -B "$out/deb" >"$out/cpack.log" 2>&1 || {
    cat "$out/cpack.log"
    exit 1
}
debs=("$out"/deb/varnel_*.deb)
if [ "${#debs[@]}" -ne 1 ] || [ ! -f "${debs[0]}" ]; then
    echo "expected one package in $out/deb, found: ${debs[*]}"
    exit 1
fi
dpkg-deb -x "${debs[0]}" "$out/root"
dpkg-deb -I "${debs[0]}"
