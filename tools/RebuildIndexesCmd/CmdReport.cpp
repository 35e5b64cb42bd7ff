#include "CmdReport.h"

#include <cctype>
#include <cstdio>

namespace {

std::string JsonString(const std::string& text) {
  std::string out = "\"";
  for (const unsigned char c : text) {
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (c < 0x20) {
          char escaped[8];
          std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
          out += escaped;
        } else if (c >= 0x80) {
          // Texts are ANSI (Latin-1 here): each byte is its own code point.
          out += static_cast<char>(0xC0 | (c >> 6));
          out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  return out + "\"";
}

std::string Seconds(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.3f", value);
  return text;
}

}  // namespace

// A table's name without extension, upper-cased: the full-text pass names
// a table without its extension.
std::string TableKey(const std::string& name) {
  std::string key = name.substr(0, name.rfind('.'));
  for (char& c : key) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return key;
}

TTableRecord& TableRecord(TRunRecord& run, const std::string& table) {
  for (TTableRecord& record : run.Tables) {
    if (TableKey(record.Name) == TableKey(table)) return record;
  }
  run.Tables.push_back(TTableRecord{table, {}, {}, 0});
  return run.Tables.back();
}

std::string ErrorWithCode(uint32_t code, const std::string& message) {
  return code ? "error " + std::to_string(code) + ": " + message : message;
}

std::string RunReportJson(const TRunRecord& run) {
  size_t indexes = 0;
  size_t full_text = 0;
  size_t errors = 0;
  long long removed = 0;
  std::string tables;
  for (const TTableRecord& table : run.Tables) {
    std::string index_list;
    for (const TIndexRecord& index : table.Indexes) {
      (index.FullText ? full_text : indexes) += 1;
      if (!index_list.empty()) index_list += ",";
      index_list += "\n        {\"name\": " + JsonString(index.Name) +
                    ", \"page_size\": " + std::to_string(index.PageSize) +
                    ", \"seconds\": " + Seconds(index.Seconds) +
                    ", \"full_text\": " + (index.FullText ? "true" : "false") + "}";
    }
    std::string error_list;
    for (const TErrorRecord& error : table.Errors) {
      ++errors;
      if (!error_list.empty()) error_list += ",";
      error_list += "\n        {\"index\": " + JsonString(error.Index) +
                    ", \"code\": " + std::to_string(error.Code) +
                    ", \"message\": " + JsonString(error.Message) + "}";
    }
    removed += table.RecordsRemoved;
    if (!tables.empty()) tables += ",";
    tables += "\n    {\"name\": " + JsonString(table.Name) +
              ", \"records_removed\": " + std::to_string(table.RecordsRemoved) +
              ",\n      \"indexes\": [" + index_list + (index_list.empty() ? "" : "\n      ") +
              "],\n      \"errors\": [" + error_list + (error_list.empty() ? "" : "\n      ") +
              "]}";
  }
  return "{\n  \"outcome\": " + JsonString(run.Outcome) +
         ",\n  \"exit_code\": " + std::to_string(run.ExitCode) +
         ",\n  \"seconds\": " + Seconds(run.Seconds) +
         ",\n  \"totals\": {\"tables\": " + std::to_string(run.Tables.size()) +
         ", \"indexes\": " + std::to_string(indexes) +
         ", \"full_text_indexes\": " + std::to_string(full_text) +
         ", \"records_removed\": " + std::to_string(removed) +
         ", \"errors\": " + std::to_string(errors) + "},\n  \"tables\": [" + tables +
         (tables.empty() ? "" : "\n  ") + "]\n}\n";
}
