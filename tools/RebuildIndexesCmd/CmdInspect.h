// The two runs of RebuildIndexesCmd that change nothing: --check compares
// the installation's index files with what a rebuild would leave, --dry-run
// prints what a rebuild would do.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "CmdPlan.h"

// One line per table to `out`; 0 when nothing needs a rebuild, 1 otherwise.
int RunCheck(const TRebuildPlan& plan, std::FILE* out);

// The plan, the tables missing or in use now, the records without a record
// id the repair would remove and the disk space the sort needs; always 0.
int RunDryRun(const TRebuildPlan& plan, std::FILE* out);

// Keeps only the tables named in `names` (each a table with or without extension).
void RestrictPlan(TRebuildPlan& plan, const std::vector<std::string>& names);
