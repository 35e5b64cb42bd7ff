// The engine's failure carried as an exception: the engine code and message
// (from AdsGetLastError), the SQL code (0 unless a statement's back end gave
// one), and where it happened: the table, the column (only for errors about
// a column), the dataset component and the component's owner.
#pragma once

#include <cstdint>
#include <string>

#include "common/Exceptions.h"
#include "engine/util/EngineError.h"

class QObject;

class EADSDatabaseError : public Exception {
 public:
  struct Place {
    std::string TableName;
    std::string ColumnName;
    std::string ComponentName;  // objectName of the dataset component
    std::string OwnerName;      // objectName of the component's parent
  };

  EADSDatabaseError(uint32_t ace_error_code, std::string message, Place place,
                    int32_t sql_error_code = 0);

  uint32_t ACEErrorCode() const { return ace_error_code_; }
  // The SQL code as the log writes it: unsigned decimal ("0" when none).
  std::string SQLErrorCode() const;
  int32_t SQLErrorNumber() const { return sql_error_code_; }
  const std::string& TableName() const { return place_.TableName; }
  const std::string& ColumnName() const { return place_.ColumnName; }
  const std::string& ComponentName() const { return place_.ComponentName; }
  const std::string& OwnerName() const { return place_.OwnerName; }

 private:
  uint32_t ace_error_code_;
  int32_t sql_error_code_;
  Place place_;
};

// The place of a failure of `component` (may be null) on `table`, `column`.
EADSDatabaseError::Place AdsErrorPlace(const QObject* component, const std::string& table = {},
                                       const std::string& column = {});

// Raises the failure `status` of an engine call: it becomes the thread's last
// engine error (if the engine had not noted it already) and is raised with
// the code and message AdsGetLastError then gives.
// REQUIRES: !status.ok().
[[noreturn]] void RaiseAdsError(const engine::Status& status,
                                const EADSDatabaseError::Place& place);

// Raises the failure of an engine call that answered the code `code` (not 0):
// with the thread's last engine error when it is that code, else with the
// code alone.
[[noreturn]] void RaiseAdsCode(uint32_t code, const EADSDatabaseError::Place& place);
