// The progress of a run as RebuildIndexesCmd prints it: on a terminal one
// line redrawn in place, otherwise one plain line per table.
#pragma once

#include <string>

struct TProgressState {
  std::string Table;
  std::string Index;
  int Position = 0;    // steps done, the current one included
  int Max = 0;         // steps of the whole run known so far
  double Elapsed = 0;  // seconds since the run started
};

// "mm:ss", or "h:mm:ss" from an hour on.
std::string FormatDuration(double seconds);

// Seconds still to go, learnt from the pace of the steps done so far; below
// zero while nothing is known yet.
double EstimateRemaining(const TProgressState& state);

// The line redrawn on a terminal: table, index, "n/m", a bar, elapsed time
// and the estimate. Plain text; the caller adds the carriage return.
std::string TerminalProgressLine(const TProgressState& state, int bar_width = 20);

// The line written once per table when standard output is not a terminal.
std::string PlainProgressLine(const TProgressState& state);
