// TRebuildObserver: lets a program without a window follow a rebuild run and
// end it early. The window's run has none; the command-line runner installs
// one for the whole process before it presses Start, so that the run itself
// is exactly the window's.
#pragma once

#include <exception>
#include <string>

class TRebuildObserver {
 public:
  virtual ~TRebuildObserver() = default;

  // The definition files were accepted and the exclusive connection made:
  // from here on tables are worked on.
  virtual void RunStarted() {}
  // A progress report: the table and index shown and the bar's position and
  // maximum after the report.
  virtual void Progress(const std::string& /*table*/, const std::string& /*index*/,
                        int /*position*/, int /*max*/) {}
  // A table or one of its indexes failed (index empty for the table).
  virtual void Failed(const std::string& /*table*/, const std::string& /*index*/,
                      const std::exception& /*error*/) {}
  // The record-id repair removed `count` records of `table` (flagged deleted;
  // `dbtool recall` brings them back).
  virtual void RecordsRemoved(const std::string& /*table*/, long long /*count*/) {}
  // Asked before each table (as its section names it, "*VlxFts" included);
  // false leaves the table alone.
  virtual bool TableWanted(const std::string& /*table*/) { return true; }
  // Asked before each table; true ends the pass there and fails the run.
  virtual bool StopRequested() { return false; }
  // The run's answer.
  virtual void Finished(bool /*result*/) {}
};

// The process-wide observer (none by default); not owned.
void SetRebuildObserver(TRebuildObserver* observer);
TRebuildObserver* RebuildObserver();
