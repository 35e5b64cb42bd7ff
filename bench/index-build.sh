#!/usr/bin/env bash
# Index builds of our engine against SQLite's CREATE INDEX on the same rows,
# in one run, through the real path: the table file scanned by dbtool.
#
#   bench/index-build.sh N [RUNS]      (N rows; RUNS per case, default 3)
#
# Environment:
#   BIN       the program folder (default build/release/bin, the release
#             preset's, brought up to date first)
#   WORK      data, tables and databases (default /tmp/ri-index-build)
#   SORT_MIB  the engine's sort memory for our builds, written into the
#             adslocal.cfg of a copy of the program folder (default 64)
#   SQLITE    0 leaves SQLite out (our times and memory only)
#   GEN       the data generator (default ../shared/bench/gen.py)
#
# Steps: N rows from ../shared/bench/gen.py (kept in WORK between runs),
# imported once with dbtool import into Crm_N.ADT and once into an SQLite
# table t with .import --csv. Then per case, RUNS times each (median):
#   ours    the index file removed, then one fresh dbtool process per tag:
#           dbtool index Crm_N.ADT TAG EXPR [--unique] (wall clock, which
#           includes starting the process, opening the table and scanning it);
#           peak memory is the largest resident set of those processes
#           (/usr/bin/time)
#   SQLite  a fresh sqlite3 process on a fresh copy of the database, the
#           statements timed with .timer on (the sum of their real times)
# The cases: a unique index on RECID, one on LASTNAME;FIRSTNAME, one on
# ZIP;SCORE, and all three (ours: three processes one after the other, the
# times summed; SQLite: the three statements in one transaction), then a
# full-text index over NOTES (ours: dbtool sql WORK "CREATE INDEX FTS_NOTES
# ON Crm_N ( NOTES ) CONTENT  ", the statement the rebuild runs; SQLite: an
# FTS5 table over t rebuilt, with detail=none, which stores record ids only
# like our tag and is the ratio's reference, and with positions, the
# default, for comparison). Afterwards the full-text tag is added to the
# file of the three tags and dbtool verify must pass on all four.
set -euo pipefail

N=${1:?usage: bench/index-build.sh N [RUNS]}
RUNS=${2:-3}
ROOT=$(cd "$(dirname "$0")/.." && pwd)
if [[ -z ${BIN:-} ]]; then
  source "$ROOT/bench/release-build.sh"
  ri_release_build "$ROOT" dbtool
  BIN=$ROOT/build/release/bin
fi
WORK=${WORK:-/tmp/ri-index-build}
SORT_MIB=${SORT_MIB:-64}
SQLITE=${SQLITE:-1}
GEN=${GEN:-$ROOT/../shared/bench/gen.py}
mkdir -p "$WORK"

for tool in "$BIN/dbtool" /usr/bin/time python3; do
  command -v "$tool" >/dev/null || { echo "missing: $tool" >&2; exit 2; }
done
[[ $SQLITE == 0 ]] || command -v sqlite3 >/dev/null || { echo "missing: sqlite3" >&2; exit 2; }

# A copy of the program folder whose adslocal.cfg holds the sort memory.
ENGINE=$WORK/engine_$SORT_MIB
rm -rf "$ENGINE" && mkdir -p "$ENGINE"
cp "$BIN"/dbtool "$BIN"/*.dll "$BIN"/*.so "$BIN"/Ansi.chr "$ENGINE"/
printf '[Settings]\nSortMemoryMiB=%s\nAllowRemoteControl=Yes\n' "$SORT_MIB" > "$ENGINE/adslocal.cfg"
DBTOOL=$ENGINE/dbtool

PLAIN=$WORK/crm_$N.csv
TYPED=$WORK/crm_${N}_typed.csv
if [[ ! -s $PLAIN ]]; then python3 "$GEN" "$N" --out "$PLAIN.tmp" && mv "$PLAIN.tmp" "$PLAIN"; fi
if [[ ! -s $TYPED || $TYPED -ot $PLAIN ]]; then
  { echo "RECID:C:16,LASTNAME:C:16,FIRSTNAME:C:16,CITY:C:24,ZIP:C:5,BIRTHDATE:D,SCORE:I,NOTES:C:400"
    tail -n +2 "$PLAIN"; } > "$TYPED"
fi

TABLE=$WORK/Crm_$N.ADT
INDEX=$WORK/Crm_$N.Adi
DB=$WORK/crm_$N.sqlite
COPY=$WORK/copy.sqlite
if [[ ! -s $TABLE || $TABLE -ot $TYPED ]]; then
  "$DBTOOL" import --replace "$TABLE" "$TYPED" >/dev/null
fi
if [[ $SQLITE != 0 && ( ! -s $DB || $DB -ot $PLAIN ) ]]; then
  rm -f "$DB"
  sqlite3 "$DB" "CREATE TABLE t(recid TEXT, lastname TEXT, firstname TEXT, city TEXT, zip TEXT, birthdate TEXT, score INTEGER, notes TEXT);" \
    ".import --csv --skip 1 $PLAIN t"
fi

now() { date +%s%N; }
median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

declare -A TAG_ARGS=(
  [recid]="PRIMARY RECID --unique"
  [name]="NAME LASTNAME;FIRSTNAME"
  [zip_score]="ZIP ZIP;SCORE"
)
declare -A SQL=(
  [recid]="CREATE UNIQUE INDEX i_recid ON t(recid);"
  [name]="CREATE INDEX i_name ON t(lastname, firstname);"
  [zip_score]="CREATE INDEX i_zip ON t(zip, score);"
  [all_three]="BEGIN; CREATE UNIQUE INDEX i_recid ON t(recid); CREATE INDEX i_name ON t(lastname, firstname); CREATE INDEX i_zip ON t(zip, score); COMMIT;"
  [full_text]="CREATE VIRTUAL TABLE ft USING fts5(notes, content='t', content_rowid='rowid', detail=none); INSERT INTO ft(ft) VALUES('rebuild');"
  [fts5_positions]="CREATE VIRTUAL TABLE ft USING fts5(notes, content='t', content_rowid='rowid'); INSERT INTO ft(ft) VALUES('rebuild');"
)
CASES=(recid name zip_score all_three full_text)
FTS_STATEMENT="CREATE INDEX FTS_NOTES ON Crm_$N ( NOTES ) CONTENT  "

# Ours: one case from no index file on; prints "seconds peak_kib".
ours_case() {
  local tags total=0 peak=0 t0 t1 rss
  if [[ $1 == all_three ]]; then tags=(recid name zip_score); else tags=("$1"); fi
  rm -f "$INDEX"
  for tag in "${tags[@]}"; do
    t0=$(now)
    if [[ $tag == full_text ]]; then
      /usr/bin/time -f %M -o "$WORK/rss" "$DBTOOL" sql "$WORK" "$FTS_STATEMENT" >/dev/null
    else
      # shellcheck disable=SC2086  # the tag's arguments are words
      /usr/bin/time -f %M -o "$WORK/rss" "$DBTOOL" index "$TABLE" ${TAG_ARGS[$tag]} >/dev/null
    fi
    t1=$(now)
    total=$((total + t1 - t0))
    rss=$(tail -n 1 "$WORK/rss")
    ((rss > peak)) && peak=$rss
  done
  echo "$total $peak" | awk '{ printf "%.3f %d\n", $1 / 1e9, $2 }'
}

# SQLite: one case on a fresh copy; prints seconds.
sqlite_case() {
  cp "$DB" "$COPY"
  sync "$COPY"  # the copy's write-back must not land in SQLite's time
  printf '.timer on\n%s\n' "${SQL[$1]}" | sqlite3 "$COPY" |
    awk '/^Run Time/ { s += $4 } END { printf "%.3f\n", s }'
  rm -f "$COPY"
}

declare -A OURS SQLITE_TIMES PEAK
for case in "${CASES[@]}"; do
  times=() peaks=()
  for ((run = 1; run <= RUNS; run++)); do
    read -r t p < <(ours_case "$case")
    times+=("$t") peaks+=("$p")
  done
  OURS[$case]=$(printf '%s\n' "${times[@]}" | median)
  PEAK[$case]=$(printf '%s\n' "${peaks[@]}" | sort -g | tail -n 1)
  if [[ $SQLITE != 0 ]]; then
    times=()
    for ((run = 1; run <= RUNS; run++)); do times+=("$(sqlite_case "$case")"); done
    SQLITE_TIMES[$case]=$(printf '%s\n' "${times[@]}" | median)
  fi
done

if [[ $SQLITE != 0 ]]; then
  times=()
  for ((run = 1; run <= RUNS; run++)); do times+=("$(sqlite_case fts5_positions)"); done
  FTS5_POSITIONS=$(printf '%s\n' "${times[@]}" | median)
fi

# The three tags and the full-text tag in one file: it must check out.
ours_case all_three >/dev/null
"$DBTOOL" sql "$WORK" "$FTS_STATEMENT" >/dev/null
VERIFY=$("$DBTOOL" verify "$TABLE") || { echo "dbtool verify failed:" >&2; echo "$VERIFY" >&2; exit 1; }

echo "rows: $N   runs per case: $RUNS (median)   sort memory: $SORT_MIB MiB   peak memory bound: $((SORT_MIB + 32)) MiB"
echo "table file: $(stat -c %s "$TABLE") bytes   index file with all four tags: $(stat -c %s "$INDEX") bytes"
printf '%-10s %9s %10s %12s %14s\n' case "ours s" "SQLite s" "ours/SQLite" "ours peak MiB"
for case in "${CASES[@]}"; do
  awk -v c="$case" -v o="${OURS[$case]}" -v s="${SQLITE_TIMES[$case]:-0}" -v p="${PEAK[$case]}" 'BEGIN {
    if (s > 0) printf "%-10s %9.3f %10.3f %12.2f %14.1f\n", c, o, s, o / s, p / 1024
    else printf "%-10s %9.3f %10s %12s %14.1f\n", c, o, "-", "-", p / 1024
  }'
done
if [[ $SQLITE != 0 ]]; then
  awk -v o="${OURS[full_text]}" -v s="$FTS5_POSITIONS" 'BEGIN {
    printf "%-10s %9s %10.3f %12.2f   (SQLite FTS5 with positions, the default)\n", "fts5_pos", "", s, o / s
  }'
fi
echo "dbtool verify:"
sed 's/^/  /' <<<"$VERIFY"
