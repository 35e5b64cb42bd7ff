// Writes the seed corpus of every fuzz target into FOLDER/<target>/: the
// reference table and index file as dbtool makes them, the request frames a
// client sends to dbserver (encoded by the wire protocol's own functions),
// and small texts of each other format. `scripts/fuzz.sh --seeds` runs it
// into fuzz/corpus/.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "FuzzTables.h"
#include "engine/net/Wire.h"

namespace {

namespace fs = std::filesystem;
using engine::net::Op;
using engine::net::WireWriter;

std::string g_root;

void Seed(const std::string& target, const std::string& name, const std::string& bytes) {
  fs::create_directories(g_root + "/" + target);
  fuzz::WriteText(g_root + "/" + target + "/" + name, bytes);
}

std::string Frame(const std::vector<uint8_t>& payload) {
  uint8_t header[engine::net::kFrameHeaderBytes];
  engine::net::PutFrameHeader(header, static_cast<uint32_t>(payload.size()));
  return std::string(reinterpret_cast<const char*>(header), sizeof header) +
         std::string(payload.begin(), payload.end());
}

// A hello, then each request (op, body) in its frame.
std::string Session(const std::vector<std::pair<Op, WireWriter>>& requests) {
  engine::net::Hello hello;
  hello.EngineMajor = 11;
  hello.EngineMinor = 10;
  std::string bytes = Frame(engine::net::EncodeHello(hello));
  uint32_t id = 1;
  for (const auto& [op, body] : requests)
    bytes += Frame(engine::net::EncodeRequest(id++, op, body.Bytes()));
  return bytes;
}

WireWriter Body() {
  return WireWriter();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: fuzz_seeds FOLDER\n");
    return 2;
  }
  g_root = argv[1];
  const std::string adi = fuzz::ReferenceFile("Contacts.Adi");

  Seed("tablefile", "contacts.ADT", fuzz::ReferenceFile("Contacts.ADT"));
  Seed("indexfile", "contacts.Adi", adi);
  Seed("fulltext", "apple-red", "apple red\n" + adi);
  Seed("fulltext", "pie", "PIE\n" + adi);
  Seed("csv", "reference.csv", fuzz::ReferenceFile("in.csv"));
  Seed("csv", "quoted.csv", "A:C:5,B:I\r\n\"x,\"\"y\",1\r\n\"\",\r\n\"multi\nline\",-2\r\n");

  Seed("ini", "definitions.ini",
       "[*Not4Rmv]\r\nNotes.ADT=N\r\n[VlxInxVxx!!!###_1800_DicTables.ADT]\r\n"
       "TABLE_NAME=Table_Name*ixCaseInsensitive\r\n[Contacts.ADT]\r\n"
       "VLX_PRIMARY_KEY=RECID*ixUnique\r\nNAME=LASTNAME;FIRSTNAME*ixCaseInsensitive\r\n"
       "ZIP=ZIP;SCORE\r\n[Contacts.ADT]\r\nCITY=CITY*ixDescending\r\nInxPageSize=0x1000\r\n");
  Seed("ini", "settings.ini",
       "\xEF\xBB\xBF; settings\n[DATABASE]\nPath=\"/data/DB\"\n[GEN]\nFreezeTimeout=120\n");

  Seed("helplinks", "vlxlnks.vlx",
       "; help links\r\n[Links]\r\n12=\"https://help.example/p?q=*VlxToken*\",\"Help\",\"Open the "
       "help page\",\"\",\"1\"\r\n0013=\"https://help.example/other\",\"Other\",\"\",\"\",\"\"\r\n"
       "From-12=Error\r\nRemove-12=Contacts\r\n");

  Seed("fields", "quoted", "\",\"He said \"hi\" there\",\"z\",,\"last\"");
  Seed("fields", "separator", "';'a';'b c';;'d'");

  Seed("expression", "filter", "NAME > 'B' AND (SCORE <= 3 OR ACTIVE = TRUE) AND NOT BORN IS NULL");
  Seed("expression", "dates", "BORN >= '2000-01-01' OR QTY <> -3");
  Seed("expression", "key", "NAME;SCORE");

  Seed("sql", "create-fts",
       "CREATE INDEX FTS2 ON Contacts ( NOTES ) CONTENT MIN_WORD_LENGTH 3 'pie' 'red'");
  Seed("sql", "delete", "DELETE FROM Contacts WHERE NAME = 'Ann' OR SCORE > 4");

  auto text = [](std::string_view value) { return WireWriter().Text(value); };
  WireWriter open = text("Contacts.ADT");
  open.U8(0);
  WireWriter fetch = Body().U32(1).U8(1).U32(0).U32(10);
  WireWriter filter = Body().U32(1);
  filter.Text("SCORE > 1");
  WireWriter scan = Body().U32(1).U8(1).U32(0).U32(10);
  Seed("server", "hello", Session({}));
  Seed("server", "version", Session({{Op::Version, Body()}}));
  Seed("server", "read-table",
       Session({{Op::Connect, text("\\data\\DB")},
                {Op::Open, open},
                {Op::Fetch, fetch},
                {Op::SetFilter, filter},
                {Op::Count, Body().U32(1)},
                {Op::Tags, Body().U32(1)},
                {Op::Verify, Body().U32(1)},
                {Op::Scan, scan},
                {Op::Close, Body().U32(1)}}));
  Seed("server", "sql",
       Session({{Op::Connect, text("\\data\\DB")},
                {Op::Sql, text("DELETE FROM Contacts WHERE ID = 'r2'")}}));
  return 0;
}
