#!/usr/bin/env bash
# Import rate and full-scan rate of the engine's tables, against SQLite on
# the same rows in the same run.
#
#   bench/table/table-bench.sh [N] [RUNS]      (N rows, default 1000000; RUNS per case, default 3)
#
# Environment: BIN (the program folder, default build/release/bin, the
# release preset's, brought up to date first), WORK (data and
# tables, default /tmp/ri-table-bench), GEN (the data generator, default
# ../shared/bench/gen.py).
#
# Per case the median of RUNS runs, each a fresh process (wall clock):
#   import  ours: dbtool import --replace of the typed CSV (file synced at the end)
#           SQLite: a fresh database, CREATE TABLE t(...), .import --csv --skip 1
#   scan    ours: dbtool count --filter "SCORE > 990000 OR CITY = 'Eistas'"
#           SQLite: SELECT count(*) FROM t WHERE score > 990000 OR city = 'Eistas'
# and once, as a check, that dbtool dump gives back the imported CSV byte for byte.
set -euo pipefail

N=${1:-1000000}
RUNS=${2:-3}
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
if [[ -z ${BIN:-} ]]; then
  source "$ROOT/bench/release-build.sh"
  ri_release_build "$ROOT" dbtool
  BIN=$ROOT/build/release/bin
fi
WORK=${WORK:-/tmp/ri-table-bench}
GEN=${GEN:-$ROOT/../shared/bench/gen.py}
mkdir -p "$WORK"

for tool in "$BIN/dbtool" sqlite3 python3; do
  command -v "$tool" >/dev/null || { echo "missing: $tool" >&2; exit 2; }
done

PLAIN=$WORK/crm_$N.csv
TYPED=$WORK/crm_${N}_typed.csv
if [[ ! -s $PLAIN ]]; then python3 "$GEN" "$N" --out "$PLAIN.tmp" && mv "$PLAIN.tmp" "$PLAIN"; fi
if [[ ! -s $TYPED || $TYPED -ot $PLAIN ]]; then
  { echo "RECID:C:16,LASTNAME:C:16,FIRSTNAME:C:16,CITY:C:24,ZIP:C:5,BIRTHDATE:D,SCORE:I,NOTES:C:400"
    tail -n +2 "$PLAIN"; } > "$TYPED"
fi

TABLE=$WORK/Crm.ADT
DB=$WORK/crm.sqlite
FILTER="SCORE > 990000 OR CITY = 'Eistas'"
SQL_WHERE="score > 990000 OR city = 'Eistas'"

now() { date +%s%N; }
# median of the numbers on stdin
median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
# seconds a command takes (its output discarded)
seconds() { local t0; t0=$(now); "$@" >/dev/null; echo "$(( $(now) - t0 ))" | awk '{ printf "%.3f\n", $1 / 1e9 }'; }

sqlite_import() {
  rm -f "$DB"
  sqlite3 "$DB" "CREATE TABLE t(recid TEXT, lastname TEXT, firstname TEXT, city TEXT, zip TEXT, birthdate TEXT, score INTEGER, notes TEXT);" \
    ".import --csv --skip 1 $PLAIN t"
}

declare -A times
for ((run = 1; run <= RUNS; run++)); do
  times[ours_import]+="$(seconds "$BIN/dbtool" import --replace "$TABLE" "$TYPED") "
  times[sqlite_import]+="$(seconds sqlite_import) "
done
ours_count=$("$BIN/dbtool" count "$TABLE" --filter "$FILTER")
sqlite_count=$(sqlite3 "$DB" "SELECT count(*) FROM t WHERE $SQL_WHERE;")
if [[ $ours_count != "$sqlite_count" ]]; then
  echo "scan results differ: ours $ours_count, SQLite $sqlite_count" >&2
  exit 1
fi
for ((run = 1; run <= RUNS + 2; run++)); do
  times[ours_scan]+="$(seconds "$BIN/dbtool" count "$TABLE" --filter "$FILTER") "
  times[sqlite_scan]+="$(seconds sqlite3 "$DB" "SELECT count(*) FROM t WHERE $SQL_WHERE;") "
done
dump_seconds=$(seconds "$BIN/dbtool" dump "$TABLE")
if "$BIN/dbtool" dump "$TABLE" | cmp -s - "$TYPED"; then round_trip=same; else round_trip=DIFFERENT; fi

med() { tr ' ' '\n' <<<"${times[$1]}" | grep . | median; }
oi=$(med ours_import); si=$(med sqlite_import); os=$(med ours_scan); ss=$(med sqlite_scan)
echo "rows: $N   runs: $RUNS (scan: $((RUNS + 2)))   matching rows: $ours_count   table file: $(stat -c %s "$TABLE") bytes   SQLite file: $(stat -c %s "$DB") bytes"
printf '%-8s %10s %14s %10s %14s %12s\n' case "ours s" "ours rows/s" "SQLite s" "SQLite rows/s" "ours/SQLite"
awk -v n="$N" -v oi="$oi" -v si="$si" -v os="$os" -v ss="$ss" 'BEGIN {
  printf "%-8s %10.3f %14.0f %10.3f %14.0f %12.2f\n", "import", oi, n / oi, si, n / si, oi / si
  printf "%-8s %10.3f %14.0f %10.3f %14.0f %12.2f\n", "scan", os, n / os, ss, n / ss, os / ss
}'
echo "dump of all rows: $dump_seconds s; dump equals the imported CSV: $round_trip"
[[ $round_trip == same ]]
