// What a rebuild would leave, read from the definition files without touching
// a table: the tables in the order the run works on them and, per table, the
// tags its index file ends with. --check compares an installation with it;
// --dry-run prints it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct TPlannedTag {
  std::string Name;
  std::string Expression;
  std::string OptionsText;  // as the definition file gives it
  bool Unique = false;
  bool Descending = false;
  bool CaseInsensitive = false;
  bool FullText = false;
  std::string NoiseWords;  // full text: the quoted noise words, empty for none
};

struct TPlannedTable {
  std::string Table;                  // with extension ("Orders.ADT")
  std::vector<std::string> Sections;  // the sections that name it, in run order
  std::vector<TPlannedTag> Tags;      // the tags its index file ends with
  int PageSize = 0;                   // from the page-size file; 0 for the engine's default
  bool RecIdRepair = false;           // records without a record id would be removed
};

// One section's work, in the order of the run.
struct TPlannedStep {
  std::string Table;
  std::string Section;  // "(DicTables.ADT)" for the dictionary's user tables
  bool FullText = false;
  std::vector<TPlannedTag> Tags;
};

struct TRebuildPlan {
  std::vector<TPlannedStep> Steps;    // every section's work, in run order
  std::vector<TPlannedTable> Tables;  // in the order the run first reaches them
};

// Reads the plan from the installation's definition files (and the user
// tables of the data dictionary, read shared). False when the main file is
// refused; its message was shown like the run shows it.
bool ReadRebuildPlan(TRebuildPlan& plan);

// True when `table` (with or without extension) is one of `names`, ignoring case.
bool TableNamed(const std::string& table, const std::vector<std::string>& names);
