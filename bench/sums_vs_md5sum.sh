#!/usr/bin/env bash
# Times cairn against GNU coreutils' md5sum on the same files from the page
# cache, interleaved: one 1 GiB file, and four files of 256 MiB. Prints the
# medians, their ratios and the peak memory of each program.
#
#   bench/sums_vs_md5sum.sh [path/to/cairn] [runs]
set -euo pipefail
cairn=$(realpath "${1:-build/bin/cairn}")
runs=${2:-7}
work=$(mktemp -d "${TMPDIR:-/var/tmp}/cairn-bench-XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work"

head -c $((1 << 30)) /dev/urandom > one.bin
for i in 1 2 3 4; do head -c $((256 << 20)) /dev/urandom > "quarter$i.bin"; done
quarters=(quarter1.bin quarter2.bin quarter3.bin quarter4.bin)

# Runs a command; prints "<microseconds> <peak KiB>".
timed() {
  local start end
  start=$(date +%s%N)
  /usr/bin/time -f '%M' -o rss.txt "$@" >out.txt
  end=$(date +%s%N)
  echo "$(( (end - start) / 1000 )) $(cat rss.txt)"
}
# Warms the page cache, and checks that both print the same lines.
md5sum one.bin "${quarters[@]}" > expected.txt
"$cairn" one.bin "${quarters[@]}" | cmp -s - expected.txt || { echo "cairn's lines differ from md5sum's" >&2; exit 1; }

one_md5=() one_cairn=() four_md5=() four_cairn=() md5_kib=0 cairn_kib=0
for ((i = 0; i < runs; i++)); do
  read -r t m < <(timed md5sum one.bin); one_md5+=("$t"); (( m > md5_kib )) && md5_kib=$m
  read -r t m < <(timed "$cairn" one.bin); one_cairn+=("$t"); (( m > cairn_kib )) && cairn_kib=$m
  read -r t m < <(timed md5sum "${quarters[@]}"); four_md5+=("$t"); (( m > md5_kib )) && md5_kib=$m
  read -r t m < <(timed "$cairn" "${quarters[@]}"); four_cairn+=("$t"); (( m > cairn_kib )) && cairn_kib=$m
done

median() { printf '%s\n' "$@" | sort -n | sed -n "$(( ($# + 1) / 2 ))p"; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
one_m=$(median "${one_md5[@]}") one_c=$(median "${one_cairn[@]}")
four_m=$(median "${four_md5[@]}") four_c=$(median "${four_cairn[@]}")
echo "$(nproc) cores, $runs interleaved runs, medians:"
echo "  one 1 GiB file      md5sum $((one_m / 1000)) ms  cairn $((one_c / 1000)) ms  ratio $(ratio "$one_c" "$one_m")"
echo "  four 256 MiB files  md5sum $((four_m / 1000)) ms  cairn $((four_c / 1000)) ms  ratio $(ratio "$four_c" "$four_m")"
echo "  peak memory         md5sum $((md5_kib / 1024)) MiB  cairn $((cairn_kib / 1024)) MiB"
