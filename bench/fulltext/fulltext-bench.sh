#!/usr/bin/env bash
# Full-text tag build over the NOTES column against SQLite's FTS5 rebuild of
# the same rows, in one run:
#
#   bench/fulltext/fulltext-bench.sh [ROWS] [BUILD_DIR]   (default build/release,
#                                                        brought up to date)
#
# Generates ROWS rows (default 1000000) with ../shared/bench/gen.py (kept in
# /tmp between runs, like the index benchmark), loads them into an SQLite
# table t once, then times in a fresh sqlite3 process on a fresh copy of that
# database (median of 3):
#   fts5 detail=none   record ids only: what our tag stores, the fair case
#   fts5 default       with positions, for reference
# each as CREATE VIRTUAL TABLE ft USING fts5(notes, content='t',
# content_rowid='rowid'[, detail=none]); INSERT INTO ft(ft) VALUES('rebuild');
# and fulltext_bench's builds of the same column (median of 3): from the CSV
# (reading included) and from texts in memory, pages written and synced.
set -euo pipefail

ROWS=${1:-1000000}
BUILD=${2:-build/release}
HERE=$(cd "$(dirname "$0")" && pwd)
ROOT=$(cd "$HERE/../.." && pwd)
GEN=${GEN:-$ROOT/../shared/bench/gen.py}
WORK=${RI_BENCH_DIR:-/tmp}
CSV=$WORK/crm_$ROWS.csv
DB=$WORK/crm_$ROWS.sqlite
BENCH=$ROOT/$BUILD/bin/fulltext_bench

if [[ $BUILD == build/release ]]; then
  source "$ROOT/bench/release-build.sh"
  ri_release_build "$ROOT" fulltext_bench
fi
[[ -x $BENCH ]] || { echo "fulltext_bench not built in $BUILD" >&2; exit 2; }
[[ -f $CSV ]] || python3 "$GEN" "$ROWS" --out "$CSV"
if [[ ! -f $DB ]]; then
  sqlite3 "$DB" "CREATE TABLE t(recid TEXT, lastname TEXT, firstname TEXT, city TEXT, zip TEXT, birthdate TEXT, score INTEGER, notes TEXT);"
  tail -n +2 "$CSV" > "$WORK/crm_$ROWS.rows.csv"
  sqlite3 "$DB" ".import --csv $WORK/crm_$ROWS.rows.csv t"
  rm -f "$WORK/crm_$ROWS.rows.csv"
fi
CSV_ROWS=$(($(wc -l < "$CSV") - 1))
DB_ROWS=$(sqlite3 "$DB" "SELECT count(*) FROM t;")
[[ $CSV_ROWS == "$DB_ROWS" ]] || { echo "$DB holds $DB_ROWS rows, $CSV $CSV_ROWS" >&2; exit 2; }

# Seconds of one SQL script on a fresh copy: the sum of its statements' real times.
sqlite_time() {
  cp "$DB" "$WORK/ri_fts_copy.sqlite"
  sync "$WORK/ri_fts_copy.sqlite"  # the copy's write-back must not land in SQLite's time
  printf '.timer on\n%s\n' "$1" | sqlite3 "$WORK/ri_fts_copy.sqlite" | awk '/^Run Time/ { s += $4 } END { printf "%.3f\n", s }'
  rm -f "$WORK/ri_fts_copy.sqlite"
}
median3() { printf '%s\n' "$@" | sort -g | sed -n 2p; }

NONE="CREATE VIRTUAL TABLE ft USING fts5(notes, content='t', content_rowid='rowid', detail=none); INSERT INTO ft(ft) VALUES('rebuild');"
FULL="CREATE VIRTUAL TABLE ft USING fts5(notes, content='t', content_rowid='rowid'); INSERT INTO ft(ft) VALUES('rebuild');"
SQLITE_NONE=$(median3 "$(sqlite_time "$NONE")" "$(sqlite_time "$NONE")" "$(sqlite_time "$NONE")")
SQLITE_FULL=$(median3 "$(sqlite_time "$FULL")" "$(sqlite_time "$FULL")" "$(sqlite_time "$FULL")")

OUT=$("$BENCH" "$CSV" --runs 3 --out "$WORK/ri_fulltext.pages")
rm -f "$WORK/ri_fulltext.pages"
value() { awk -v k="$1" '$1 == k { print $2 }' <<<"$OUT"; }

python3 - "$ROWS" "$SQLITE_NONE" "$SQLITE_FULL" "$(value build_from_csv_s)" "$(value build_in_memory_s)" \
  "$(value words)" "$(value postings)" "$(value tag_bytes)" "$(value peak_rss_from_csv_mib)" "$(value spilled_runs)" <<'PY'
import sys
rows, none, full, csv, mem = sys.argv[1], *map(float, sys.argv[2:6])
words, postings, tag_bytes, rss, spilled = sys.argv[6:]
print(f"Full-text build over NOTES, {int(rows):,} rows (median of 3 each)")
print(f"  words {int(words):,}, (word, record) pairs {int(postings):,}, tag {int(tag_bytes)/1e6:.1f} MB, "
      f"runs spilled {spilled}, peak memory {rss} MiB")
print(f"| case | seconds | ours / FTS5 detail=none |")
print(f"|---|---:|---:|")
print(f"| ours, from the CSV (reading included) | {csv:.3f} | {csv/none:.2f} |")
print(f"| ours, texts in memory | {mem:.3f} | {mem/none:.2f} |")
print(f"| SQLite FTS5 detail=none | {none:.3f} | 1.00 |")
print(f"| SQLite FTS5 default (positions) | {full:.3f} | {full/none:.2f} |")
PY
