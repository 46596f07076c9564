#!/usr/bin/env bash
# Times whole glint runs on a 256 MiB 24-bit BMP with a 30 MiB payload
# against cp of the same carrier, interleaved, and prints the median ratios
# and the peak memory of each run. The encrypted runs (-p) are shown apart
# from their key derivation, which runs with an empty payload beside them.
#
#   bench/whole_run.sh [path/to/glint] [runs]
set -euo pipefail
glint=$(realpath "${1:-build/bin/glint}")
runs=${2:-7}
work=$(mktemp -d "${TMPDIR:-/var/tmp}/glint-bench-XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work"

# 8192 x 10923 pixels at 3 bytes each: a 256 MiB data area.
width=8192 height=10923
data_size=$((width * height * 3))
le32() { printf "\\x$(printf %02x $(($1 & 255)))\\x$(printf %02x $((($1 >> 8) & 255)))\\x$(printf %02x $((($1 >> 16) & 255)))\\x$(printf %02x $((($1 >> 24) & 255)))"; }
{
  printf 'BM'; le32 $((54 + data_size)); le32 0; le32 54
  le32 40; le32 $width; le32 $height; printf '\x01\x00\x18\x00'; le32 0; le32 0
  le32 2835; le32 2835; le32 0; le32 0
  head -c "$data_size" /dev/urandom
} > cover.bmp
head -c $((30 << 20)) /dev/urandom > payload.bin
printf 'a passphrase for the benchmark\n' > passphrase.txt
: > empty.bin
carrier_kib=$(( $(stat -c %s cover.bmp) / 1024 ))
payload_kib=$(( $(stat -c %s payload.bin) / 1024 ))

# Runs a command with a fresh output; prints "<seconds> <peak KiB>".
timed() {
  local output=$1; shift
  rm -f "$output"
  local start end
  start=$(date +%s%N)
  /usr/bin/time -f '%M' -o rss.txt "$@" >/dev/null
  end=$(date +%s%N)
  echo "$(( (end - start) / 1000 )) $(cat rss.txt)"
}
# Warms the page cache and makes stego.bmp for the recover runs.
printf '1\ncover.bmp\npayload.bin\nstego.bmp\n3\n' | "$glint" >/dev/null
"$glint" hide --passphrase-file passphrase.txt cover.bmp payload.bin sealed.bmp >/dev/null
"$glint" hide cover.bmp empty.bin stego_empty.bmp >/dev/null
"$glint" hide --passphrase-file passphrase.txt cover.bmp empty.bin sealed_empty.bmp >/dev/null
cp_us=() hide_us=() recover_us=() hide_kib=0 recover_kib=0
hide_p_us=() recover_p_us=() hide_p_kib=0 recover_p_kib=0
# The command line, plain and with -p, with the payload and with an empty
# one: -p with an empty payload adds only the key derivation.
plain_hide_us=() plain_recover_us=() empty_hide_us=() empty_recover_us=() empty_hide_p_us=() empty_recover_p_us=()
for ((i = 0; i < runs; i++)); do
  read -r t _ < <(timed copy.bmp cp cover.bmp copy.bmp); cp_us+=("$t")
  read -r t m < <(timed stego2.bmp bash -c 'printf "1\ncover.bmp\npayload.bin\nstego2.bmp\n3\n" | "$0"' "$glint"); hide_us+=("$t")
  (( m > hide_kib )) && hide_kib=$m
  read -r t m < <(timed back.bin bash -c 'printf "2\nstego.bmp\nback.bin\n3\n" | "$0"' "$glint"); recover_us+=("$t")
  (( m > recover_kib )) && recover_kib=$m
  # The command line, plain and encrypted, with and without the payload.
  read -r t _ < <(timed stego3.bmp "$glint" hide cover.bmp payload.bin stego3.bmp); plain_hide_us+=("$t")
  read -r t m < <(timed sealed2.bmp "$glint" hide --passphrase-file passphrase.txt cover.bmp payload.bin sealed2.bmp); hide_p_us+=("$t")
  (( m > hide_p_kib )) && hide_p_kib=$m
  read -r t _ < <(timed empty2.bmp "$glint" hide cover.bmp empty.bin empty2.bmp); empty_hide_us+=("$t")
  read -r t _ < <(timed empty3.bmp "$glint" hide --passphrase-file passphrase.txt cover.bmp empty.bin empty3.bmp); empty_hide_p_us+=("$t")
  read -r t _ < <(timed back3.bin "$glint" recover stego.bmp back3.bin); plain_recover_us+=("$t")
  read -r t m < <(timed back_p.bin "$glint" recover --passphrase-file passphrase.txt sealed.bmp back_p.bin); recover_p_us+=("$t")
  (( m > recover_p_kib )) && recover_p_kib=$m
  read -r t _ < <(timed empty.out "$glint" recover stego_empty.bmp empty.out); empty_recover_us+=("$t")
  read -r t _ < <(timed empty.out "$glint" recover --passphrase-file passphrase.txt sealed_empty.bmp empty.out); empty_recover_p_us+=("$t")
done
cmp -s payload.bin back.bin || { echo "recovered payload differs" >&2; exit 1; }
cmp -s payload.bin back_p.bin || { echo "decrypted payload differs" >&2; exit 1; }

median() { printf '%s\n' "$@" | sort -n | sed -n "$(( ($# + 1) / 2 ))p"; }
cp_m=$(median "${cp_us[@]}") hide_m=$(median "${hide_us[@]}") recover_m=$(median "${recover_us[@]}")
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
echo "carrier $carrier_kib KiB, payload $payload_kib KiB, $runs interleaved runs, medians:"
echo "  cp       $((cp_m / 1000)) ms"
echo "  hide     $((hide_m / 1000)) ms  ratio to cp $(ratio "$hide_m" "$cp_m")  peak $((hide_kib / 1024)) MiB"
echo "  recover  $((recover_m / 1000)) ms  ratio to cp $(ratio "$recover_m" "$cp_m")  peak $((recover_kib / 1024)) MiB"
echo "  memory limit (carrier + payload + 16 MiB): $(( (carrier_kib + payload_kib) / 1024 + 16 )) MiB"
# The encryption's share, from the fastest run of each kind, which other work
# on the machine disturbs least: what -p adds with the payload less what it
# adds with an empty one, as a part of the plain command line's time.
fastest() { printf '%s\n' "$@" | sort -n | head -n 1; }
report_p() {  # name, word, then the four series' fastest runs: plain, -p, empty, empty -p
  local derive=$(($6 - $5)) added=$(($4 - $3 - $6 + $5))
  awk -v name="$1" -v word="$2" -v plain="$3" -v p="$4" -v d="$derive" -v a="$added" 'BEGIN {
    printf "  %-10s fastest %d ms against %d ms plain: key derivation %d ms, %s %d ms (%+.1f%%)\n",
      name, p / 1000, plain / 1000, d / 1000, word, a / 1000, 100 * a / plain }'
}
echo "  hide -p     median $(( $(median "${hide_p_us[@]}") / 1000)) ms  peak $((hide_p_kib / 1024)) MiB"
echo "  recover -p  median $(( $(median "${recover_p_us[@]}") / 1000)) ms  peak $((recover_p_kib / 1024)) MiB"
report_p "hide -p" encryption "$(fastest "${plain_hide_us[@]}")" "$(fastest "${hide_p_us[@]}")" \
  "$(fastest "${empty_hide_us[@]}")" "$(fastest "${empty_hide_p_us[@]}")"
report_p "recover -p" decryption "$(fastest "${plain_recover_us[@]}")" "$(fastest "${recover_p_us[@]}")" \
  "$(fastest "${empty_recover_us[@]}")" "$(fastest "${empty_recover_p_us[@]}")"
