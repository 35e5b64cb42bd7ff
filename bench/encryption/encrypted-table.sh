#!/usr/bin/env bash
# What encryption costs: the same commands on the same table, not encrypted
# and encrypted, in one run, with the ratio encrypted / plain.
#
#   bench/encryption/encrypted-table.sh [N] [RUNS]   (N rows, default 1000000; RUNS per case, default 3)
#
# Environment: BIN (the program folder, default build/release/bin, the
# release preset's, brought up to date first; GEN the data
# generator, default ../shared/bench/gen.py),
# WORK (data and tables, default /tmp/ri-encryption-bench).
#
# Steps: N rows from ../shared/bench/gen.py, imported once with dbtool
# import, given a unique index on RECID, and copied; the copy is encrypted
# with dbtool encrypt (timed once) with the least key derivation rounds
# (1000), so that the cases show what reading and writing under the key
# costs. Then per case the median of RUNS runs, each a fresh dbtool process
# (wall clock), on the plain table and on the encrypted one (with
# --password-stdin):
#   count    a full scan: dbtool count --filter "SCORE > 990000"
#   index    dbtool index TABLE NAME LASTNAME;FIRSTNAME (a scan, a sort, the
#            new index file written with PRIMARY's pages carried over)
#   verify   dbtool verify (both tags against the live records)
# and what the engine's own 600,000 rounds add to every open of an encrypted
# table: dbtool count on a one-record table encrypted with 1000 rounds and on
# one encrypted with 600,000.
set -euo pipefail

N=${1:-1000000}
RUNS=${2:-3}
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
if [[ -z ${BIN:-} ]]; then
  source "$ROOT/bench/release-build.sh"
  ri_release_build "$ROOT" dbtool
  BIN=$ROOT/build/release/bin
fi
WORK=${WORK:-/tmp/ri-encryption-bench}
GEN=${GEN:-$ROOT/../shared/bench/gen.py}
PASSWORD="bench password"
mkdir -p "$WORK"

for tool in "$BIN/dbtool" python3; do
  command -v "$tool" >/dev/null || { echo "missing: $tool" >&2; exit 2; }
done
DBTOOL=$BIN/dbtool

PLAIN_CSV=$WORK/crm_$N.csv
TYPED=$WORK/crm_${N}_typed.csv
if [[ ! -s $PLAIN_CSV ]]; then python3 "$GEN" "$N" --out "$PLAIN_CSV.tmp" && mv "$PLAIN_CSV.tmp" "$PLAIN_CSV"; fi
if [[ ! -s $TYPED || $TYPED -ot $PLAIN_CSV ]]; then
  { echo "RECID:C:16,LASTNAME:C:16,FIRSTNAME:C:16,CITY:C:24,ZIP:C:5,BIRTHDATE:D,SCORE:I,NOTES:C:400"
    tail -n +2 "$PLAIN_CSV"; } > "$TYPED"
fi

now() { date +%s%N; }
median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
# seconds a command takes (its output discarded; standard input the password)
seconds() { local t0; t0=$(now); "$@" <<<"$PASSWORD" >/dev/null; echo "$(( $(now) - t0 ))" | awk '{ printf "%.3f\n", $1 / 1e9 }'; }

PLAIN=$WORK/plain
SECRET=$WORK/secret
rm -rf "$PLAIN" "$SECRET" && mkdir -p "$PLAIN" "$SECRET"
"$DBTOOL" import "$PLAIN/Crm.ADT" "$TYPED" >/dev/null
"$DBTOOL" index "$PLAIN/Crm.ADT" PRIMARY RECID --unique >/dev/null
cp "$PLAIN/Crm.ADT" "$PLAIN/Crm.Adi" "$SECRET/"
ENCRYPT=$(seconds "$DBTOOL" encrypt "$SECRET/Crm.ADT" --rounds 1000)
printf 'ID:C:4\nx\n' > "$WORK/one.csv"
for rounds in 1000 600000; do
  "$DBTOOL" import "$SECRET/One$rounds.ADT" "$WORK/one.csv" >/dev/null
  "$DBTOOL" encrypt "$SECRET/One$rounds.ADT" --rounds "$rounds" <<<"$PASSWORD" >/dev/null
done

# run CASE FOLDER [--password-stdin]: the median seconds of RUNS runs
run() {
  local what=$1 folder=$2; shift 2
  for ((i = 0; i < RUNS; i++)); do
    case $what in
      count) seconds "$DBTOOL" count "$folder/Crm.ADT" --filter "SCORE > 990000" "$@" ;;
      index) seconds "$DBTOOL" index "$folder/Crm.ADT" NAME "LASTNAME;FIRSTNAME" "$@" ;;
      verify) seconds "$DBTOOL" verify "$folder/Crm.ADT" "$@" ;;
      one*) seconds "$DBTOOL" count "$folder/${what^}.ADT" "$@" ;;
    esac
  done | median
}

printf '%d rows, median of %d runs\n' "$N" "$RUNS"
printf 'encrypt (once, 1000 rounds): %s s\n\n' "$ENCRYPT"
printf '%-8s %10s %12s %8s\n' case plain encrypted ratio
for what in count index verify; do
  p=$(run "$what" "$PLAIN")
  e=$(run "$what" "$SECRET" --password-stdin)
  printf '%-8s %9ss %11ss %8s\n' "$what" "$p" "$e" "$(awk -v a="$e" -v b="$p" 'BEGIN { printf "%.2f", a / b }')"
done
fast=$(run one1000 "$SECRET" --password-stdin)
slow=$(run one600000 "$SECRET" --password-stdin)
printf '\nopening a one-record table: %ss with 1000 rounds, %ss with 600000 (+%ss per open)\n' \
  "$fast" "$slow" "$(awk -v a="$slow" -v b="$fast" 'BEGIN { printf "%.3f", a - b }')"
# Both tables still check out.
"$DBTOOL" verify "$PLAIN/Crm.ADT" >/dev/null
"$DBTOOL" verify "$SECRET/Crm.ADT" --password-stdin <<<"$PASSWORD" >/dev/null
