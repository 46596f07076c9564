#!/usr/bin/env bash
# Builds and checks what users install: the manual pages, `cmake --install`,
# the Debian package (lintian, then both programs run from the unpacked
# package) and the Windows zip (both programs run from it under Wine).
# Nothing is installed into the machine.
#
#   packaging/check.sh [folder of a Windows cross build]
#
# Without a folder, the programs of the `windows` preset are built first
# (into build/windows), since the zip is made from them.
#
# Needs CMake and g++, groff, dpkg-dev and lintian, unzip, and for the zip
# MinGW-w64 (g++-mingw-w64-x86-64, libgcrypt-mingw-w64-dev) and wine.
set -euo pipefail
windows_build=$(realpath -m "${1:-$(dirname "$0")/../build/windows}")  # before the cd below
cd "$(dirname "$0")/.."
# Wine's own messages (among them Debian's "wine32 is missing" hint) are not
# the programs' output.
export WINEDEBUG=-all
if [ $# -eq 0 ]; then
  echo "== Windows programs (the windows preset)"
  cmake --preset windows >/dev/null
  cmake --build --preset windows -j "$(nproc)" >/dev/null
fi
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

# A BMP file with a 24-bit 48 x 48 image, for the hide and recover runs: the
# encrypted hide needs more pixels than 32 x 32.
make_cover() {
  {
    printf 'BM\x36\x1b\x00\x00\x00\x00\x00\x00\x36\x00\x00\x00'
    printf '\x28\x00\x00\x00\x30\x00\x00\x00\x30\x00\x00\x00\x01\x00\x18\x00'
    printf '\x00\x00\x00\x00\x00\x00\x00\x00\x13\x0b\x00\x00\x13\x0b\x00\x00'
    printf '\x00\x00\x00\x00\x00\x00\x00\x00'
    head -c 6912 /dev/urandom
  } > "$1"
}

# Runs the programs found in $1 (with the runner $2, empty or wine): cairn's
# abc line, a glint hide and recover by piped dialogue, and an encrypted one.
try_programs() {
  local bin=$1 runner=$2 suffix=$3 work
  work=$(mktemp -d "$scratch/run-XXXXXX")
  (
    cd "$work"
    $runner "$bin/cairn$suffix" </dev/null > cairn.txt
    head -n 1 cairn.txt | tr -d '\r' > caption.txt
    # "'abc'的MD5: " in GBK, then the digest
    printf "'abc'\xb5\xc4MD5: 900150983cd24fb0d6963f7d28e17f72\n" | cmp - caption.txt
    make_cover cover.bmp
    printf 'a secret\n' > secret.txt
    printf '1\ncover.bmp\nsecret.txt\nstego.bmp\n2\nstego.bmp\nback.txt\n3\n' | $runner "$bin/glint$suffix" >/dev/null
    cmp secret.txt back.txt
    printf 'a passphrase\n' > pass.txt
    $runner "$bin/glint$suffix" -q hide --passphrase-file pass.txt cover.bmp secret.txt sealed.bmp >/dev/null
    $runner "$bin/glint$suffix" -q recover --passphrase-file pass.txt sealed.bmp opened.txt >/dev/null
    cmp secret.txt opened.txt
  )
  echo "  $bin: cairn's abc line and a glint hide and recover, plain and encrypted, work"
}

echo "== manual pages"
for page in man/*.1; do
  warnings=$(groff -man -ww -z "$page" 2>&1)
  if [ -n "$warnings" ]; then echo "$page: $warnings"; exit 1; fi
done
echo "  no warnings"

echo "== Release build, installed into a folder"
cmake -S . -B build/package -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF >/dev/null
cmake --build build/package -j "$(nproc)" >/dev/null
cmake --install build/package --prefix "$scratch/prefix" >/dev/null
installed=$(cd "$scratch/prefix" && find . -type f | sort | tr '\n' ' ')
expected="./bin/cairn ./bin/glint ./share/doc/glint-cairn/LICENSE ./share/doc/glint-cairn/README.md ./share/man/man1/cairn.1.gz ./share/man/man1/glint.1.gz "
if [ "$installed" != "$expected" ]; then echo "installed: $installed"; exit 1; fi
echo "  $installed"
try_programs "$scratch/prefix/bin" "" ""

echo "== Debian package"
(cd build/package && rm -f ./*.deb && cpack -G DEB >/dev/null)
deb=$(ls build/package/glint-cairn_*.deb)
dpkg-deb -I "$deb"
dpkg-deb -c "$deb"
status=0
lintian --fail-on error "$deb" >"$scratch/lintian.txt" 2>&1 || status=$?
grep -v 'running with root privileges' "$scratch/lintian.txt" || true
if [ "$status" -ne 0 ]; then echo "lintian found errors"; exit 1; fi
dpkg-deb -x "$deb" "$scratch/deb"
try_programs "$scratch/deb/usr/bin" "" ""

echo "== Windows zip"
wineboot --init >/dev/null 2>&1 || true  # Wine's prefix made once, before the runs, not by the first of them
(cd "$windows_build" && rm -f ./*.zip && cpack -G ZIP >/dev/null)
zip=$(ls "$windows_build"/glint-cairn-*-win64.zip)
unzip -l "$zip"
unzip -q "$zip" -d "$scratch/zip"
folder=$(ls -d "$scratch"/zip/glint-cairn-*-win64)
try_programs "$folder" wine .exe
