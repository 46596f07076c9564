#!/usr/bin/env bash
# Times cairn against GNU coreutils' md5sum on the same files from the page
# cache, interleaved: 10,000 files of 4 KiB, one 1 GiB file, four files of
# 256 MiB, and a 64 MiB sums list read from a file and from standard input.
# Prints the medians, their ratios and the peak memory of each program.
#
#   bench/sums_vs_md5sum.sh [path/to/cairn] [runs]
set -euo pipefail
cairn=$(realpath "${1:-build/bin/cairn}")
runs=${2:-7}
work=$(mktemp -d "${TMPDIR:-/var/tmp}/cairn-bench-XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work"

mkdir small
head -c $((10000 * 4096)) /dev/urandom | split -b 4096 -a 4 -d - small/f
smalls=(small/*)
head -c $((1 << 30)) /dev/urandom > one.bin
for i in 1 2 3 4; do head -c $((256 << 20)) /dev/urandom > "quarter$i.bin"; done
quarters=(quarter1.bin quarter2.bin quarter3.bin quarter4.bin)
# Lines that are no sum lines: what is timed is reading the list.
(yes 'not a sum line, but a line of a list all the same' || true) | head -c $((64 << 20)) > list.txt

# Runs a command, its standard input from $input; prints "<microseconds> <peak KiB>".
input=/dev/null
timed() {
  local start end
  start=$(date +%s%N)
  /usr/bin/time -f '%M' -o rss.txt "$@" <"$input" >out.txt 2>/dev/null || true
  end=$(date +%s%N)
  echo "$(( (end - start) / 1000 )) $(cat rss.txt | tail -n 1)"
}
# Warms the page cache, and checks that both print the same lines.
md5sum "${smalls[@]}" one.bin "${quarters[@]}" > expected.txt
"$cairn" "${smalls[@]}" one.bin "${quarters[@]}" | cmp -s - expected.txt || { echo "cairn's lines differ from md5sum's" >&2; exit 1; }

load=$(cut -d' ' -f1-3 /proc/loadavg)
declare -A times peak
cases=(small one four list_file list_stdin)
# Appends one run of case $1 by program $2 ("md5sum" or "cairn").
measure() {
  local label=$1 what=$2 program=$1 t m
  [ "$label" = cairn ] && program=$cairn
  input=/dev/null
  case $what in
    small) read -r t m < <(timed "$program" "${smalls[@]}") ;;
    one) read -r t m < <(timed "$program" one.bin) ;;
    four) read -r t m < <(timed "$program" "${quarters[@]}") ;;
    list_file) read -r t m < <(timed "$program" -c --status list.txt) ;;
    list_stdin) input=list.txt; read -r t m < <(timed "$program" -c --status) ;;
  esac
  times[$label.$what]+="$t "
  (( m > ${peak[$label.$what]:-0} )) && peak[$label.$what]=$m
  return 0
}
for ((i = 0; i < runs; i++)); do
  for what in "${cases[@]}"; do
    measure md5sum "$what"
    measure cairn "$what"
  done
done

median() { printf '%s\n' "$@" | sort -n | sed -n "$(( ($# + 1) / 2 ))p"; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
echo "$(nproc) usable processors, $runs interleaved runs, load before: $load, medians:"
row() {
  local label=$1 what=$2 m c
  # shellcheck disable=SC2086
  m=$(median ${times[md5sum.$what]}) c=$(median ${times[cairn.$what]})
  printf '  %-22s md5sum %6d ms %5d KiB   cairn %6d ms %5d KiB   ratio %s\n' "$label" $((m / 1000)) \
    "${peak[md5sum.$what]}" $((c / 1000)) "${peak[cairn.$what]}" "$(ratio "$c" "$m")"
}
row "10,000 files of 4 KiB" small
row "one 1 GiB file" one
row "four 256 MiB files" four
row "64 MiB list, file" list_file
row "64 MiB list, stdin" list_stdin
