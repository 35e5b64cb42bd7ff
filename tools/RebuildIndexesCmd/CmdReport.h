// What RebuildIndexesCmd learns of a run, and its JSON report.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct TIndexRecord {
  std::string Name;
  double Seconds = 0;
  uint32_t PageSize = 0;  // of the table's index file after the run; 0 when unknown
  bool FullText = false;
};

struct TErrorRecord {
  std::string Index;  // empty for the table as a whole
  uint32_t Code = 0;  // the engine's code; 0 when the failure was not the engine's
  std::string Message;
};

struct TTableRecord {
  std::string Name;
  std::vector<TIndexRecord> Indexes;
  std::vector<TErrorRecord> Errors;
  long long RecordsRemoved = 0;  // by the record-id repair
};

struct TRunRecord {
  std::vector<TTableRecord> Tables;
  std::string Outcome;  // "succeeded", "failed", "stopped", "not started"
  int ExitCode = 0;
  double Seconds = 0;
};

// The table's record, made when first asked for.
TTableRecord& TableRecord(TRunRecord& run, const std::string& table);

// "error 7059: message", or the message alone without a code.
std::string ErrorWithCode(uint32_t code, const std::string& message);

// The report: per table its indexes (name, page size, seconds, full text),
// the records the record-id repair removed, its errors with their codes;
// totals; the outcome and the exit code.
std::string RunReportJson(const TRunRecord& run);
