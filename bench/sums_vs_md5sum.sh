#!/usr/bin/env bash
# Times cairn against GNU coreutils' md5sum on the same files, interleaved:
# 64 files of 16 MiB (on every core, and on one with taskset -c 0), four of
# 256 MiB, one of 1 GiB, 10,000 of 4 KiB, 100,000 of 512 bytes, and a 64 MiB
# sums list read from a file and from standard input. Every run's output is
# checked against md5sum's. Prints the medians, their ratios beside the
# ratio aimed at, and the peak memory of each program.
#
#   bench/sums_vs_md5sum.sh [path/to/cairn] [runs]
#
# The files lie in /dev/shm (tmpfs), or under $BENCH_DIR (the page cache of
# the file system there); they take 3.2 GiB.
set -euo pipefail
cairn=$(realpath "${1:-build/bin/cairn}")
here=$(dirname "$(realpath "$0")")
runs=${2:-7}
base=${BENCH_DIR:-/dev/shm}
[ -d "$base" ] || base=${TMPDIR:-/var/tmp}
work=$(mktemp -d "$base/cairn-bench-XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work"

random() { head -c "$1" /dev/urandom; }
mkdir small tiny mid
random $((10000 * 4096)) | split -b 4096 -a 4 -d - small/f
random $((100000 * 512)) | split -b 512 -a 5 -d - tiny/f
for i in $(seq -w 0 63); do random $((16 << 20)) > "mid/f$i"; done
for i in 1 2 3 4; do random $((256 << 20)) > "quarter$i.bin"; done
random $((1 << 30)) > one.bin
# Lines that are no sum lines: what is timed is reading the list.
(yes 'not a sum line, but a line of a list all the same' || true) | head -c $((64 << 20)) > list.txt

# Each case: its label, the ratio aimed at, the arguments; "pin" runs both
# programs on processor 0 alone.
labels=(mid pin quarters one small tiny list_file list_stdin)
declare -A title=(
  [mid]="64 x 16 MiB" [pin]="64 x 16 MiB, one core" [quarters]="4 x 256 MiB" [one]="one 1 GiB file"
  [small]="10,000 x 4 KiB" [tiny]="100,000 x 512 B" [list_file]="64 MiB list, file" [list_stdin]="64 MiB list, stdin")
declare -A target=([mid]=0.15 [pin]=0.25 [quarters]=0.38 [one]=0.97 [small]=0.40 [tiny]=0.50)
arguments() {
  case $1 in
    mid | pin) echo mid/* ;;
    quarters) echo quarter1.bin quarter2.bin quarter3.bin quarter4.bin ;;
    one) echo one.bin ;;
    small) echo small/* ;;
    tiny) echo tiny/* ;;
    list_file) echo -c --status list.txt ;;
    list_stdin) echo -c --status ;;
  esac
}

# Runs case $1 with program $2 once: "<microseconds> <peak KiB>"; the
# output is left in out.txt.
timed() {
  local what=$1 program=$2 input=/dev/null pin=()
  [ "$what" = list_stdin ] && input=list.txt
  [ "$what" = pin ] && pin=(taskset -c 0)
  # shellcheck disable=SC2046
  "${pin[@]}" "$here/time_one.py" "$program" $(arguments "$what") <"$input" >out.txt 2>times.txt
  cat times.txt
}

declare -A times peak
load=$(cut -d' ' -f1-3 /proc/loadavg)
for ((i = 0; i < runs; i++)); do
  for what in "${labels[@]}"; do
    for program in md5sum "$cairn"; do
      read -r t m < <(timed "$what" "$program")
      label=cairn
      if [ "$program" = md5sum ]; then
        label=md5sum
        mv out.txt "expected.$what"
      elif ! cmp -s out.txt "expected.$what"; then
        echo "cairn's output differs from md5sum's: ${title[$what]}" >&2
        exit 1
      fi
      times[$label.$what]+="$t "
      (( m > ${peak[$label.$what]:-0} )) && peak[$label.$what]=$m
    done
  done
done

median() { printf '%s\n' "$@" | sort -n | sed -n "$(( ($# + 1) / 2 ))p"; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", a / b }'; }
echo "$(nproc) usable processors, $runs interleaved runs in $base, load before: $load," \
  "after: $(cut -d' ' -f1-3 /proc/loadavg); $("$cairn" --version | sed -n 2p)"
echo "medians, and the outputs of every run compared with md5sum's:"
for what in "${labels[@]}"; do
  # shellcheck disable=SC2086
  m=$(median ${times[md5sum.$what]}) c=$(median ${times[cairn.$what]})
  printf '  %-22s md5sum %6d ms %6d KiB   cairn %6d ms %6d KiB   ratio %s%s\n' "${title[$what]}" \
    $((m / 1000)) "${peak[md5sum.$what]}" $((c / 1000)) "${peak[cairn.$what]}" "$(ratio "$c" "$m")" \
    "${target[$what]:+ (aim: at most ${target[$what]})}"
done
