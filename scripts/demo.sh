#!/usr/bin/env bash
# Builds the program and runs it over a demo installation: a CRM-like
# database of a few tables with a data dictionary, index definition files
# and a page-size file, laid out as a real installation tree.
#
#   scripts/demo.sh              build, make build/demo, start the window
#   DEMO_ROWS=200000 scripts/demo.sh   a bigger Contacts table
#   DEMO_NO_GUI=1 scripts/demo.sh      make the installation only
#   DEMO_SERVER=1 scripts/demo.sh      a server installation, served by dbserver
#                                      on loopback (scripts/demo-server.sh)
#
# Without a display the window is started under Xvfb and a screenshot is
# written to build/demo/screenshot.png.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
cmake --preset release
cmake --build --preset release -j "$(nproc 2>/dev/null || echo 2)"

BIN=build/release/bin
DEMO=${DEMO_DIR:-build/demo}
ROWS=${DEMO_ROWS:-20000}
rm -rf "$DEMO"
mkdir -p "$DEMO/App" "$DEMO/DB" "$DEMO/DBSys" "$DEMO/Logs"
cp "$BIN/RebuildIndexes" "$BIN/dbtool" "$BIN/ace32.dll" "$BIN/adsloc32.dll" "$BIN/axcws32.dll" \
   "$BIN/adslocal.cfg" "$BIN/Ansi.chr" "$BIN"/libriplatform.so "$DEMO/App/"

# Tables, made with the engine's own tool from generated rows.
python3 - "$DEMO" "$ROWS" <<'PY'
import random, sys
demo, rows = sys.argv[1], int(sys.argv[2])
rnd = random.Random(7)
syll = ["ka", "lo", "mi", "ren", "dor", "sa", "vi", "tan", "bel", "gro", "nu", "pe"]
def word(n):
    return "".join(rnd.choice(syll) for _ in range(n)).capitalize()
with open(f"{demo}/contacts.csv", "w") as f:
    f.write("RECID:C:16,LASTNAME:C:20,FIRSTNAME:C:20,CITY:C:24,ZIP:C:5,BIRTHDATE:D,SCORE:I\n")
    for i in range(rows):
        recid = "%016x" % (i * 2654435761 % (1 << 64))
        f.write(f"{recid},{word(3)},{word(2)},{word(2)},{rnd.randrange(100000):05d},"
                f"19{rnd.randrange(30, 99)}-{rnd.randrange(1, 13):02d}-{rnd.randrange(1, 29):02d},{rnd.randrange(1000000)}\n")
with open(f"{demo}/notes.csv", "w") as f:
    f.write("RECID:C:16,CONTACT:C:16,SUBJECT:C:60\n")
    for i in range(rows // 2):
        f.write("n%015x,%016x,%s %s\n" % (i, (i * 7) % rows, word(2), word(3)))
with open(f"{demo}/dictables.csv", "w") as f:
    f.write("Type:C:1,Table_Name:C:40\n")
    f.write("U,Contacts.ADT\nU,Notes.ADT\nS,SysLock.adt\n")
with open(f"{demo}/syslock.csv", "w") as f:
    f.write("LOCKID:I\n1\n")
PY
"$DEMO/App/dbtool" import "$DEMO/DB/Contacts.ADT" "$DEMO/contacts.csv"
"$DEMO/App/dbtool" import "$DEMO/DB/Notes.ADT" "$DEMO/notes.csv"
"$DEMO/App/dbtool" import "$DEMO/DB/DicTables.ADT" "$DEMO/dictables.csv"
"$DEMO/App/dbtool" import "$DEMO/DB/SysLock.adt" "$DEMO/syslock.csv"
rm -f "$DEMO"/*.csv

printf '[*Not4Rmv]\r\nNotes.ADT=N\r\n[VlxInxVxx!!!###_1800_DicTables.ADT]\r\nTABLE_NAME=Table_Name*ixCaseInsensitive\r\n[Contacts.ADT]\r\nVLX_PRIMARY_KEY=RECID*ixUnique\r\nNAME=LASTNAME;FIRSTNAME*ixCaseInsensitive\r\nZIP=ZIP;SCORE\r\n[Notes.ADT]\r\nVLX_PRIMARY_KEY=RECID*ixUnique\r\nCONTACT=CONTACT\r\n' > "$DEMO/DBSys/VorlexInx.ini"
printf '[Contacts.ADT]\r\nCITY=CITY*ixDescending\r\n' > "$DEMO/DBSys/VorlexInx2.ini"
printf '[Contacts.ADT]\r\nInxPageSize=4096\r\n' > "$DEMO/DBSys/VorlexInx3.ini"

echo "demo installation: $DEMO"
if [ -n "${DEMO_SERVER:-}" ]; then source scripts/demo-server.sh; fi
[ -n "${DEMO_NO_GUI:-}" ] && exit 0

if [ -n "${DISPLAY:-}" ]; then
  if [ -n "${DEMO_SERVER:-}" ]; then "$DEMO/App/RebuildIndexes"; exit; fi
  exec "$DEMO/App/RebuildIndexes"
fi
# No display: show the window on a virtual screen and take its picture.
xvfb-run -a -s "-screen 0 1024x768x24" bash -c "
  '$DEMO/App/RebuildIndexes' &
  app=\$!
  sleep 2
  import -window root '$DEMO/screenshot.png'
  kill \$app
"
echo "screenshot: $DEMO/screenshot.png"
