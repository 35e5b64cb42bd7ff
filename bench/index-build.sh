#!/usr/bin/env bash
# Index builds of our engine against their floor on this machine and against
# SQLite's and PostgreSQL's CREATE INDEX on the same rows, in one run, through
# the real path: the table file scanned by dbtool.
#
#   bench/index-build.sh N [RUNS]      (N rows; RUNS per case, default 3)
#
# Environment:
#   BIN       the program folder (default build/release/bin, the release
#             preset's, brought up to date first)
#   WORK      data, tables and databases (default /tmp/ri-index-build)
#   SORT_MIB  the engine's sort memory for our builds, written into the
#             adslocal.cfg of a copy of the program folder (default 64)
#   THREADS   the engine's IndexBuildThreads for our builds (default: the
#             number of cores, at most 4); every case is also built with 1
#   SQLITE    0 leaves SQLite out
#   PG        0 leaves PostgreSQL out; it is skipped with a line saying so
#             when the server's programs (/usr/lib/postgresql/*/bin) are missing
#   GEN       the data generator (default ../shared/bench/gen.py)
#
# Steps: N rows from ../shared/bench/gen.py (kept in WORK between runs),
# imported once with dbtool import into Crm_N.ADT and once into an SQLite
# table t with .import --csv. Then per case, RUNS times each (median):
#   ours    with THREADS threads and with 1 (the ratios are of the former):
#           the index file removed, then one fresh dbtool process per tag:
#           dbtool index Crm_N.ADT TAG EXPR [--unique] (wall clock, which
#           includes starting the process, opening the table and scanning it);
#           peak memory is the largest resident set of those processes
#           (/usr/bin/time)
#   floor   bench/floor's index_floor on the same table and key, THREADS
#           threads: reading the records from the page cache, extracting the
#           keys (the fields' bytes, or for full text the words), sorting them
#           in memory with the engine's sort, writing and syncing as many bytes
#           as our index file holds; the sum of the parts (all three: the sum
#           of the three floors)
#   SQLite  a fresh sqlite3 process on a fresh copy of the database, the
#           statements timed with .timer on (the sum of their real times)
#   PG      a throw-away PostgreSQL server (the Debian postgresql package),
#           its data folder in WORK/pg, listening on a Unix socket in WORK
#           only (no TCP), the rows loaded with COPY, maintenance_work_mem =
#           SORT_MIB; CREATE [UNIQUE] INDEX on the same keys timed by psql's
#           \timing, with max_parallel_maintenance_workers 0 (one process)
#           and 1 (two processes; the ratio is against this one), all three
#           the sum of the three; full text a GIN index over
#           to_tsvector('simple', notes), timed once. The server is stopped
#           and its folder removed at the end, also on failure.
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
  ri_release_build "$ROOT" dbtool index_floor
  BIN=$ROOT/build/release/bin
fi
WORK=${WORK:-/tmp/ri-index-build}
SORT_MIB=${SORT_MIB:-64}
SQLITE=${SQLITE:-1}
GEN=${GEN:-$ROOT/../shared/bench/gen.py}
mkdir -p "$WORK"

THREADS=${THREADS:-}
PG=${PG:-1}
FLOOR=$BIN/index_floor
for tool in "$BIN/dbtool" "$FLOOR" /usr/bin/time python3; do
  command -v "$tool" >/dev/null || { echo "missing: $tool" >&2; exit 2; }
done
[[ $SQLITE == 0 ]] || command -v sqlite3 >/dev/null || { echo "missing: sqlite3" >&2; exit 2; }

# Copies of the program folder whose adslocal.cfg holds the sort memory and
# the threads: THREADS (or the engine's default) and 1.
engine_folder() { # folder threads ("" for the default)
  rm -rf "$1" && mkdir -p "$1"
  cp "$BIN"/dbtool "$BIN"/*.dll "$BIN"/*.so "$BIN"/Ansi.chr "$1"/
  { printf '[Settings]\nSortMemoryMiB=%s\nAllowRemoteControl=Yes\n' "$SORT_MIB"
    [[ -z $2 ]] || printf 'IndexBuildThreads=%s\n' "$2"; } > "$1/adslocal.cfg"
}
engine_folder "$WORK/engine_$SORT_MIB" "$THREADS"
engine_folder "$WORK/engine_${SORT_MIB}_1" 1
DBTOOL=$WORK/engine_$SORT_MIB/dbtool
DBTOOL_1=$WORK/engine_${SORT_MIB}_1/dbtool
# The threads our builds use, as the engine counts them by default.
USED_THREADS=${THREADS:-$(nproc)}
((USED_THREADS <= 4)) || USED_THREADS=4

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

# Ours: one case from no index file on, with the dbtool given second
# (default: THREADS threads); prints "seconds peak_kib".
ours_case() {
  local tags total=0 peak=0 t0 t1 rss tool=${2:-$DBTOOL}
  if [[ $1 == all_three ]]; then tags=(recid name zip_score); else tags=("$1"); fi
  rm -f "$INDEX"
  for tag in "${tags[@]}"; do
    t0=$(now)
    if [[ $tag == full_text ]]; then
      /usr/bin/time -f %M -o "$WORK/rss" "$tool" sql "$WORK" "$FTS_STATEMENT" >/dev/null
    else
      # shellcheck disable=SC2086  # the tag's arguments are words
      /usr/bin/time -f %M -o "$WORK/rss" "$tool" index "$TABLE" ${TAG_ARGS[$tag]} >/dev/null
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

# The floor of one tag: "read extract sort write total" (medians of RUNS).
declare -A FLOOR_KEY=([recid]=RECID [name]="LASTNAME;FIRSTNAME" [zip_score]="ZIP;SCORE" [full_text]=words:NOTES)
floor_tag() { # tag index_bytes
  local run i out=()
  for ((run = 1; run <= RUNS; run++)); do
    "$FLOOR" "$TABLE" "${FLOOR_KEY[$1]}" "$2" "$USED_THREADS" >> "$WORK/floor.$$"
  done
  for i in 1 2 3 4 5; do out+=("$(awk -v i=$i '{ print $i }' "$WORK/floor.$$" | median)"); done
  rm -f "$WORK/floor.$$"
  echo "${out[*]}"
}

# PostgreSQL: a server of our own for the run, stopped and removed on exit.
PG_BIN=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -n 1 || true)
PG_NOTE=""
PG_DATA=$WORK/pg
as_pg() { if [[ $(id -u) == 0 ]]; then runuser -u postgres -- "$@"; else "$@"; fi; }
pg_stop() {
  if [[ -f $PG_DATA/postmaster.pid ]]; then as_pg "$PG_BIN/pg_ctl" -D "$PG_DATA" -m fast stop >/dev/null 2>&1 || true; fi
  rm -rf "$PG_DATA"
}
psql_run() { as_pg "$PG_BIN/psql" -h "$WORK" -U bench -d postgres -qAt -v ON_ERROR_STOP=1 "$@"; }
pg_start() {
  pg_stop
  mkdir -p "$PG_DATA"
  [[ $(id -u) != 0 ]] || chown postgres "$PG_DATA" "$WORK"
  as_pg "$PG_BIN/initdb" -D "$PG_DATA" -A trust -U bench >/dev/null
  as_pg "$PG_BIN/pg_ctl" -D "$PG_DATA" -l "$PG_DATA/server.log" -w start \
    -o "-k $WORK -c listen_addresses='' -c shared_buffers=256MB -c max_wal_size=4GB" >/dev/null
  trap pg_stop EXIT
  psql_run -c "CREATE TABLE t(recid text, lastname text, firstname text, city text, zip text, birthdate text, score integer, notes text)"
  psql_run -c "\\copy t FROM '$PLAIN' WITH (FORMAT csv, HEADER true)"
  psql_run -c "VACUUM ANALYZE t" >/dev/null
}
# One statement with `workers` maintenance workers; prints seconds.
pg_time() { # workers statement
  psql_run -c "SET maintenance_work_mem='${SORT_MIB}MB'" -c "SET max_parallel_maintenance_workers=$1" \
    -c '\timing on' -c "$2" | awk '/^Time:/ { printf "%.3f\n", $2 / 1000 }'
  psql_run -c "DROP INDEX IF EXISTS i" >/dev/null
}
declare -A PG_SQL=(
  [recid]="CREATE UNIQUE INDEX i ON t(recid)"
  [name]="CREATE INDEX i ON t(lastname, firstname)"
  [zip_score]="CREATE INDEX i ON t(zip, score)"
)
declare -A PG1 PG2
if [[ $PG == 0 ]]; then
  PG_NOTE="PostgreSQL: left out (PG=0)"
elif [[ -z $PG_BIN || ! -x $PG_BIN/postgres ]]; then
  PG_NOTE="PostgreSQL: skipped, the server's programs (/usr/lib/postgresql/*/bin, Debian package postgresql) are not installed"
else
  pg_start
  for key in recid name zip_score; do
    for workers in 0 1; do
      times=()
      for ((run = 1; run <= RUNS; run++)); do times+=("$(pg_time $workers "${PG_SQL[$key]}")"); done
      if [[ $workers == 0 ]]; then PG1[$key]=$(printf '%s\n' "${times[@]}" | median); else PG2[$key]=$(printf '%s\n' "${times[@]}" | median); fi
    done
  done
  PG1[all_three]=$(awk -v a="${PG1[recid]}" -v b="${PG1[name]}" -v c="${PG1[zip_score]}" 'BEGIN { print a + b + c }')
  PG2[all_three]=$(awk -v a="${PG2[recid]}" -v b="${PG2[name]}" -v c="${PG2[zip_score]}" 'BEGIN { print a + b + c }')
  PG1[full_text]=$(pg_time 0 "CREATE INDEX i ON t USING gin (to_tsvector('simple', notes))")
  PG2[full_text]=${PG1[full_text]}
  PG_NOTE="PostgreSQL $("$PG_BIN/postgres" --version | awk '{ print $3 }'): one process (workers 0) and two (workers 1); full text: GIN over to_tsvector('simple', notes), one process, timed once"
  pg_stop
  trap - EXIT
fi

declare -A OURS OURS_1 SQLITE_TIMES PEAK FLOOR_PARTS FLOOR_TOTAL
for case in "${CASES[@]}"; do
  times=() peaks=() times_1=()
  for ((run = 1; run <= RUNS; run++)); do
    read -r t p < <(ours_case "$case")
    times+=("$t") peaks+=("$p")
    read -r t p < <(ours_case "$case" "$DBTOOL_1")
    times_1+=("$t") peaks+=("$p")
  done
  OURS[$case]=$(printf '%s\n' "${times[@]}" | median)
  OURS_1[$case]=$(printf '%s\n' "${times_1[@]}" | median)
  PEAK[$case]=$(printf '%s\n' "${peaks[@]}" | sort -g | tail -n 1)
  # The floor, for as many index bytes as our file of this case holds.
  if [[ $case == all_three ]]; then
    FLOOR_PARTS[$case]=$(printf '%s\n' "${FLOOR_PARTS[recid]}" "${FLOOR_PARTS[name]}" "${FLOOR_PARTS[zip_score]}" |
      awk '{ for (i = 1; i <= 5; i++) s[i] += $i } END { printf "%.3f %.3f %.3f %.3f %.3f\n", s[1], s[2], s[3], s[4], s[5] }')
  else
    FLOOR_PARTS[$case]=$(floor_tag "$case" "$(stat -c %s "$INDEX")")
  fi
  FLOOR_TOTAL[$case]=$(awk '{ print $5 }' <<<"${FLOOR_PARTS[$case]}")
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

# The three tags and the full-text tag in one file, built with one thread
# and with THREADS: the files must be the same and check out.
ours_case all_three "$DBTOOL_1" >/dev/null
"$DBTOOL_1" sql "$WORK" "$FTS_STATEMENT" >/dev/null
cp "$INDEX" "$WORK/one_thread.Adi"
ours_case all_three >/dev/null
"$DBTOOL" sql "$WORK" "$FTS_STATEMENT" >/dev/null
cmp -s "$INDEX" "$WORK/one_thread.Adi" || { echo "the index files of 1 and $USED_THREADS threads differ" >&2; exit 1; }
rm -f "$WORK/one_thread.Adi"
VERIFY=$("$DBTOOL" verify "$TABLE") || { echo "dbtool verify failed:" >&2; echo "$VERIFY" >&2; exit 1; }

echo "rows: $N   runs per case: $RUNS (median)   sort memory: $SORT_MIB MiB   peak memory bound: $((SORT_MIB + 32)) MiB   threads: $USED_THREADS (and 1)"
echo "table file: $(stat -c %s "$TABLE") bytes   index file with all four tags: $(stat -c %s "$INDEX") bytes"
printf '%-10s %7s %7s %7s %8s %7s %7s %7s %8s %8s %8s %9s\n' case ours ours-1t floor SQLite PG-1p PG-2p ours/fl ours/SQL ours/PG2 1t/floor "peak MiB"
for case in "${CASES[@]}"; do
  awk -v c="$case" -v o="${OURS[$case]}" -v o1="${OURS_1[$case]}" -v f="${FLOOR_TOTAL[$case]}" \
    -v s="${SQLITE_TIMES[$case]:-0}" -v p1="${PG1[$case]:-0}" -v p2="${PG2[$case]:-0}" -v m="${PEAK[$case]}" -v bound=$((SORT_MIB + 32)) 'BEGIN {
    printf "%-10s %7.3f %7.3f %7.3f", c, o, o1, f
    if (s > 0) printf " %8.3f", s; else printf " %8s", "-"
    if (p1 > 0) printf " %7.3f %7.3f", p1, p2; else printf " %7s %7s", "-", "-"
    printf " %7.2f", o / f
    if (s > 0) printf " %8.2f", o / s; else printf " %8s", "-"
    if (p2 > 0) printf " %8.2f", o / p2; else printf " %8s", "-"
    printf " %8.2f %9.1f%s\n", o1 / f, m / 1024, (m / 1024 > bound ? " OVER" : "")
  }'
done
if [[ $SQLITE != 0 ]]; then
  awk -v o="${OURS[full_text]}" -v s="$FTS5_POSITIONS" 'BEGIN {
    printf "%-10s SQLite FTS5 with positions (the default) %.3f s, ours/that %.2f\n", "fts5_pos", s, o / s
  }'
fi
echo "full_text: SQLite is FTS5 with detail=none; PostgreSQL is a GIN index (its PG-2p repeats PG-1p)"
[[ -z $PG_NOTE ]] || echo "$PG_NOTE"
echo "the floor's parts (s): read extract sort write total, $USED_THREADS threads sorting"
for case in "${CASES[@]}"; do printf '  %-10s %s\n' "$case" "${FLOOR_PARTS[$case]}"; done
echo "index files of 1 and $USED_THREADS threads (all four tags): identical"
echo "dbtool verify:"
sed 's/^/  /' <<<"$VERIFY"
