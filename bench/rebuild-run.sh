#!/usr/bin/env bash
# A whole unattended rebuild run against the same tags built with dbtool
# alone, in one run of this script, over one generated installation.
#
#   bench/rebuild-run.sh [RECORDS] [TABLES] [RUNS]
#       RECORDS  records in all (default 3000000), spread evenly over
#       TABLES   tables (default 30); RUNS per side (default 1, median)
#
# Environment:
#   BIN       the program folder (default build/release/bin)
#   WORK      data and the installation (default /tmp/ri-rebuild-run)
#   SORT_MIB  the engine's sort memory, written into adslocal.cfg (default 64)
#   GEN       the row generator (default ../shared/bench/gen.py)
#   ROWS_FROM a CSV that gen.py wrote earlier, used instead of generating: its
#             rows are repeated until RECORDS are there (keep its row count a
#             multiple of RECORDS / TABLES so that the record ids stay unique
#             within each table)
#
# The installation: WORK/inst/App holds RebuildIndexesCmd, dbtool and the
# engine's files; WORK/inst/DB the tables Crm01.ADT ... (rows of
# ../shared/bench/gen.py, imported with dbtool import); WORK/inst/DBSys the
# main definition file with one section per table of three tags
#   PRIMARY  RECID, unique
#   NAME     LASTNAME;FIRSTNAME, case-insensitive
#   ZIP      ZIP;SCORE
# and a full-text section (FTS_NOTES on NOTES) for the first three tables.
# Each side starts from no index file:
#   dbtool   one fresh "dbtool index" process per tag, then "dbtool sql" with
#            the statement the rebuild runs for each full-text section
#   command  RebuildIndexesCmd --quiet: the window's whole run (index file
#            removal, exclusive opens, the tags, the full-text statements,
#            the record-id repair's statements and its fixed waits, the log)
# Afterwards dbtool verify must pass on every table, and the index files of
# the two sides must hold the same tags.
set -euo pipefail

RECORDS=${1:-3000000}
TABLES=${2:-30}
RUNS=${3:-1}
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BIN=${BIN:-$ROOT/build/release/bin}
WORK=${WORK:-/tmp/ri-rebuild-run}
SORT_MIB=${SORT_MIB:-64}
GEN=${GEN:-$ROOT/../shared/bench/gen.py}
FTS_TABLES=3

[[ -r $GEN ]] || { echo "missing: $GEN" >&2; exit 2; }
for tool in "$BIN/dbtool" "$BIN/RebuildIndexesCmd" python3; do
  command -v "$tool" >/dev/null || { echo "missing: $tool" >&2; exit 2; }
done

INST=$WORK/inst
APP=$INST/App
DB=$INST/DB
mkdir -p "$WORK" "$APP" "$DB" "$INST/DBSys" "$INST/Logs"
cp "$BIN"/RebuildIndexesCmd "$BIN"/dbtool "$BIN"/*.dll "$BIN"/*.so "$BIN"/Ansi.chr "$APP"/
printf '[Settings]\nSortMemoryMiB=%s\nAllowRemoteControl=Yes\n' "$SORT_MIB" > "$APP/adslocal.cfg"
DBTOOL=$APP/dbtool

# The rows, split into the tables (kept in WORK between runs).
PLAIN=$WORK/crm_$RECORDS.csv
if [[ ! -s $PLAIN && -n ${ROWS_FROM:-} ]]; then
  awk -v n="$RECORDS" 'NR == 1 { print; next } { rows[++m] = $0 } END { for (i = 0; i < n; i++) print rows[i % m + 1] }' \
    "$ROWS_FROM" > "$PLAIN.tmp" && mv "$PLAIN.tmp" "$PLAIN"
fi
if [[ ! -s $PLAIN ]]; then python3 "$GEN" "$RECORDS" --out "$PLAIN.tmp" && mv "$PLAIN.tmp" "$PLAIN"; fi
STAMP=$DB/.made_${RECORDS}_$TABLES
if [[ ! -e $STAMP ]]; then
  rm -f "$DB"/*
  PER=$(( (RECORDS + TABLES - 1) / TABLES ))
  # One pass over the rows writes every table's part.
  awk -v per="$PER" -v dir="$WORK" 'NR == 1 { next }
    { file = sprintf("%s/part%02d.csv", dir, int((NR - 2) / per) + 1)
      if (!(file in seen)) { seen[file] = 1
        print "RECID:C:16,LASTNAME:C:16,FIRSTNAME:C:16,CITY:C:24,ZIP:C:5,BIRTHDATE:D,SCORE:I,NOTES:C:400" > file }
      print > file
      if ((NR - 1) % per == 0) close(file) }' "$PLAIN"
  for ((t = 1; t <= TABLES; t++)); do
    part=$(printf '%s/part%02d.csv' "$WORK" "$t")
    "$DBTOOL" import --replace "$DB/$(printf 'Crm%02d' "$t").ADT" "$part" >/dev/null
    rm -f "$part"
  done
  touch "$STAMP"
fi

# The main definition file.
{
  for ((t = 1; t <= TABLES; t++)); do
    name=$(printf 'Crm%02d' "$t")
    printf '[%s.ADT]\r\nVLX_PRIMARY_KEY=RECID*ixUnique\r\nNAME=LASTNAME;FIRSTNAME*ixCaseInsensitive\r\nZIP=ZIP;SCORE\r\n' "$name"
    if ((t <= FTS_TABLES)); then printf '[%s.ADT*VlxFts]\r\nFTS_NOTES=NOTES\r\n' "$name"; fi
  done
} > "$INST/DBSys/VorlexInx.ini"

now() { date +%s%N; }
median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
remove_index_files() { find "$DB" -maxdepth 1 -iname '*.adi' -delete; }

dbtool_side() {
  remove_index_files
  local t0 name t
  t0=$(now)
  for ((t = 1; t <= TABLES; t++)); do
    name=$(printf 'Crm%02d' "$t")
    "$DBTOOL" index "$DB/$name.ADT" PRIMARY RECID --unique >/dev/null
    "$DBTOOL" index "$DB/$name.ADT" NAME 'LASTNAME;FIRSTNAME' --ci >/dev/null
    "$DBTOOL" index "$DB/$name.ADT" ZIP 'ZIP;SCORE' >/dev/null
    if ((t <= FTS_TABLES)); then
      "$DBTOOL" sql "$DB" "CREATE INDEX FTS_NOTES ON $name ( NOTES ) CONTENT  " >/dev/null
    fi
  done
  echo "$(now) $t0" | awk '{ printf "%.3f\n", ($1 - $2) / 1e9 }'
}

command_side() {
  remove_index_files
  local t0 code=0
  t0=$(now)
  "$APP/RebuildIndexesCmd" --quiet --report "$WORK/report.json" 2>"$WORK/command.err" || code=$?
  local t1
  t1=$(now)
  if ((code != 0)); then echo "RebuildIndexesCmd ended with $code:" >&2; cat "$WORK/command.err" >&2; exit 1; fi
  echo "$t1 $t0" | awk '{ printf "%.3f\n", ($1 - $2) / 1e9 }'
}

tags_of_all() {
  for ((t = 1; t <= TABLES; t++)); do "$DBTOOL" info "$DB/$(printf 'Crm%02d' "$t").ADT" | grep -E '^  [A-Z_]+: ' || true; done
}

verify_all() {
  for ((t = 1; t <= TABLES; t++)); do
    "$DBTOOL" verify "$DB/$(printf 'Crm%02d' "$t").ADT" >/dev/null || { echo "verify failed: table $t" >&2; exit 1; }
  done
}

DBTOOL_TIMES=()
COMMAND_TIMES=()
for ((run = 1; run <= RUNS; run++)); do
  DBTOOL_TIMES+=("$(dbtool_side)")
  verify_all
  tags_of_all > "$WORK/tags.dbtool"
  COMMAND_TIMES+=("$(command_side)")
  verify_all
  tags_of_all > "$WORK/tags.command"
  cmp -s "$WORK/tags.dbtool" "$WORK/tags.command" || { echo "the two sides' tags differ" >&2; diff "$WORK/tags.dbtool" "$WORK/tags.command" >&2; exit 1; }
done

D=$(printf '%s\n' "${DBTOOL_TIMES[@]}" | median)
C=$(printf '%s\n' "${COMMAND_TIMES[@]}" | median)
echo "records $RECORDS, tables $TABLES, tags $((TABLES * 3)), full-text sections $FTS_TABLES, runs $RUNS"
echo "dbtool alone:      $D s   (runs: ${DBTOOL_TIMES[*]})"
echo "RebuildIndexesCmd: $C s   (runs: ${COMMAND_TIMES[*]})"
echo "$C $D" | awk '{ printf "RebuildIndexesCmd / dbtool: %.2f\n", $1 / $2 }'
