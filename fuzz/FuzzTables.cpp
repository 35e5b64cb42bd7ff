#include "FuzzTables.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "Commands.h"

namespace fuzz {

namespace {

namespace fs = std::filesystem;

const char kReferenceCsv[] =
    "ID:C:6,NAME:C:20,NOTES:C:40,SCORE:N,QTY:I,BORN:D,ACTIVE:L\n"
    "r1,Ann,red apple pie,1.5,7,2001-02-03,T\n"
    "r2,bob,\"green Apple, fresh\",-2,-3,1999-12-31,F\n"
    "r3,Carl,red wine,3,,,T\n"
    "r4,Dora,,4.25,0,2020-02-29,\n"
    "r5,Eve,\"APPLE \"\"pie\"\", red\",5,2147483647,1970-01-01,T\n";

}  // namespace

int Dbtool(const std::vector<std::string>& args) {
  static std::FILE* null_out = std::fopen("/dev/null", "w");
  static std::FILE* null_in = std::fopen("/dev/null", "r");
  dbtool::Io io;
  io.In = null_in;  // a password asked for reads as an empty line
  io.Out = null_out;
  io.Err = null_out;
  return dbtool::RunDbtool(args, io);
}

const std::string& ReferenceFolder() {
  static const std::string folder = [] {
    std::string made = MakeFolder("ri-fuzz-reference");
    const std::string table = made + "/Contacts.ADT";
    WriteText(made + "/in.csv", kReferenceCsv);
    const int steps[] = {
        Dbtool({"import", table, made + "/in.csv"}),
        Dbtool({"index", table, "ID", "ID", "--unique"}),
        Dbtool({"index", table, "NAME", "NAME;SCORE", "--ci"}),
        Dbtool({"sql", made, "CREATE INDEX FTS ON Contacts ( NOTES ) CONTENT MIN_WORD_LENGTH 2"}),
        Dbtool({"sql", made, "DELETE FROM Contacts WHERE ID = 'r3'"}),
    };
    for (const int code : steps) {
      if (code != 0) {
        std::fprintf(stderr, "fuzz: the reference table could not be made\n");
        std::abort();
      }
    }
    return made;
  }();
  return folder;
}

std::string ReferenceFile(const std::string& name) {
  std::ifstream in(ReferenceFolder() + "/" + name, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void CopyReferenceTable(bool with_index) {
  const std::string from = ReferenceFolder();
  const auto options = fs::copy_options::overwrite_existing;
  fs::copy_file(from + "/Contacts.ADT", ScratchPath("Contacts.ADT"), options);
  std::error_code ignored;
  if (with_index) {
    fs::copy_file(from + "/Contacts.Adi", ScratchPath("Contacts.Adi"), options);
  } else {
    fs::remove(ScratchPath("Contacts.Adi"), ignored);
  }
}

}  // namespace fuzz
