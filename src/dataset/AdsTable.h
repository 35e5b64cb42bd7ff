// A table component: one table of its connection's database, opened shared
// or exclusively, read record by record through an optional filter, and
// given indexes.
//
// The component moves the engine's cursor of the open table (the cursor its
// handle's calls move too) and keeps the dataset's own ends over it: Bof
// from First until the cursor moves on, Eof once Next finds no further
// record or after Last.
// At Eof the engine's cursor stays on the last record, so its fields still
// read, as a dataset that ran off its end shows its last record. Only an
// empty selection leaves the engine's cursor on no record (both ends).
//
// The table finds its connection by DatabaseName when it opens (connecting
// it on first use), so a closed table is moved to another connection by
// changing DatabaseName. DatabaseName, TableName and Exclusive are fixed
// while the table is open: changing one then is an EDatabaseError. Failures
// of the engine are raised as EADSDatabaseError naming this component, its
// owner and the table.
#pragma once

#include <QObject>
#include <cstdint>
#include <memory>
#include <string>

#include "dataset/AdsConnection.h"
#include "dataset/EADSDatabaseError.h"
#include "dataset/IndexOptions.h"
#include "engine/api/AdsHandle.h"

namespace engine {
class RemoteTable;
class Table;
}  // namespace engine

struct TAdsTableOptions {
  // The page size of indexes added to the table and of reindexing it: 0
  // leaves it to the engine. Opening the table sets it to the page size of
  // the table's index file, or 0 when it has none.
  uint16_t AdsIndexPageSize = 0;
  // Whether the engine checks the user's rights on the table. Free tables
  // of a folder carry no rights, so this engine has nothing to check.
  bool AdsRightsCheck = true;
};

class TAdsTable : public QObject, private TAdsConnectionClient {
  Q_OBJECT
  Q_CLASSINFO("Unit", "AdsDataset")

 public:
  explicit TAdsTable(QObject* owner = nullptr);
  ~TAdsTable() override;

  const std::string& DatabaseName() const { return database_name_; }
  void SetDatabaseName(const std::string& name);
  const std::string& TableName() const { return table_name_; }
  void SetTableName(const std::string& name);
  bool Exclusive() const { return exclusive_; }
  void SetExclusive(bool exclusive);

  TAdsTableOptions AdsTableOptions;

  bool Active() const { return table_ != nullptr || remote_ != nullptr; }
  // Opens the table on its connection and stands on its first record (in
  // the filter, when filtered); an encrypted table stands on no record until
  // its password is enabled. Nothing when it is open already.
  void Open();
  // Nothing when it is closed already.
  void Close();
  void SetActive(bool active);

  // The filter condition, applied while Filtered is on. Changing either on
  // an open table applies it at once and moves to the first record; a bad
  // condition is raised and leaves the filter as it was.
  const std::string& Filter() const { return filter_; }
  void SetFilter(const std::string& filter);
  bool Filtered() const { return filtered_; }
  void SetFiltered(bool filtered);

  // Moves on an open table (EDatabaseError when closed). Next at the last
  // record sets Eof and stays on that record.
  void First();
  void Next();
  void Last();
  bool Bof() const;
  bool Eof() const;  // true on a closed table
  // The current record's field `field` (any case) as text: character values
  // without trailing blanks, integers in decimal, dates YYYY-MM-DD, logicals
  // T/F, NULL as the empty text. An unknown field or no current record is
  // raised with the field as the column name.
  std::string FieldText(const std::string& field) const;

  // Adds the index `name` over `expression` (field names separated by ";")
  // to the table's index file with AdsTableOptions.AdsIndexPageSize as the
  // page size (AdsCreateIndex90): the first index creates the file, an index
  // of the same name is replaced. Needs the table open exclusively. The
  // cursor stays where it was.
  void AddIndex(const std::string& name, const std::string& expression, TIndexOptions options);

  // Ends an edit in progress. Records are never edited through this
  // component, so there is never one; the table must be open.
  void SetBrowseMode();

  // The engine's handle of the open table (0 when closed, and for a table
  // open through a server), for the engine's C-style calls.
  engine::ADSHANDLE Handle() const;
  // The table when it is open through a server (its connection is remote),
  // else nullptr: the engine's calls on it go to the server.
  engine::RemoteTable* Remote() const { return remote_.get(); }

  // Puts the cursor back after an engine call that rewrote the table's
  // files underneath it: at the engine's start (AdsAtBOF) on the first
  // record, else at its end (AdsAtEOF) on the last, else the current record
  // is read again from the file; a current record that left the selection
  // meanwhile gives way to the next one, or to the last when none follows.
  // An encrypted table whose password is not enabled stands on no record.
  void ReplaceCursor();

  // The place of an engine failure of this table, for EADSDatabaseError.
  EADSDatabaseError::Place ErrorPlace(const std::string& column = {}) const;

 private:
  void CloseForDisconnect() override { Close(); }
  void CheckInactive(const char* property) const;
  void CheckActive() const;
  // Raise the engine's failure of a call on this table: its answer `code`,
  // or the `status` of its C++ call.
  void Check(uint32_t code, const std::string& column = {}) const;
  void CheckStatus(const engine::Status& status, const std::string& column = {}) const;
  bool EngineAtEof() const;
  bool EngineAtBof() const;
  void OpenRemote(TAdsConnection& connection);
  void ReplaceRemoteCursor();
  // Applies `filter` when `filtered`, then goes to the first record.
  void ApplyFilter(const std::string& filter, bool filtered);

  std::string database_name_;
  std::string table_name_;
  bool exclusive_ = false;
  std::string filter_;
  bool filtered_ = false;

  TAdsConnection* connection_ = nullptr;         // while open
  std::unique_ptr<engine::Table> table_;         // while open locally
  std::unique_ptr<engine::RemoteTable> remote_;  // while open through a server
  bool bof_ = true;                              // the dataset's ends
  bool eof_ = true;
};
