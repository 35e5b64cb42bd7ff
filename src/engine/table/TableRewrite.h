// Turning a table's encryption on or off: its file and its index file are
// written anew beside themselves and put in place together, so that a crash
// at any moment leaves the old table or the new one, never a mix of the two.
//
// The steps (TableRewrite.cpp gives the file names):
//   1. the table is opened exclusively (and unlocked when it is encrypted);
//   2. its records, deleted ones included and in their places, are written
//      to a new table file, encrypted under a new key or not at all; its
//      index file's pages are carried into a new index file the same way;
//      both are synced and read back;
//   3. a commit file naming the two is written and synced: from here on the
//      change is decided;
//   4. the new files are renamed over the old ones, the folder is synced and
//      the commit file removed.
// A crash before step 3 leaves the old table and new files that nothing
// names; the next open of the table removes them. A crash after it leaves a
// commit file, and the next open of the table (or load over it) finishes the
// renames before it reads anything. While the commit file exists and its
// writer runs, the table cannot be opened (8103).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "engine/crypto/TableCrypto.h"
#include "engine/env/Connection.h"
#include "engine/util/EngineError.h"

namespace engine {

// The points a rewrite passes, in order.
enum class TableRewriteStep {
  RecordsWritten,  // one more block of records is in the new table file
  TableStaged,     // the new table file is complete and synced
  IndexStaged,     // the new index file too (only when the table has one)
  Committed,       // the commit file is on disk
  TableReplaced,   // the new table file has the table's name
  IndexReplaced,   // the new index file has the index file's name
  Finished,        // the commit file is gone
};

struct TableRewriteOptions {
  // Key derivation rounds of a table being encrypted.
  uint32_t KdfIterations = kDefaultKdfIterations;
  // Called at each step (tests stop a process there).
  std::function<void(TableRewriteStep)> OnStep;
};

// Encrypts the table `name` of `connection` under `password`: records and
// index file, with a new random salt. Errors: 5068 when the table is
// encrypted already, 8333 for the empty password, 8331 for rounds outside
// 1,000..10,000,000, 8103 when the table is in use, those of reading the
// table (a damaged record, a damaged index file) and of writing; the table
// is then as it was.
Status EncryptTable(const Connection& connection, std::string_view name, std::string_view password,
                    const TableRewriteOptions& options = {});

// Decrypts the encrypted table `name` with its `password`. Errors: 5068
// when the table is not encrypted, 8330 for a wrong password, and those of
// EncryptTable.
Status DecryptTable(const Connection& connection, std::string_view name, std::string_view password,
                    const TableRewriteOptions& options = {});

// Before the table at `table_path` is opened or replaced: finishes the
// renames of a rewrite whose commit file a crash left, or removes the new
// files of a rewrite that never committed. 8103 while a rewrite of the
// table runs elsewhere.
Status FinishInterruptedRewrite(const std::string& table_path);

// True when a rewrite of the table at `table_path` has committed and not
// finished (its commit file exists).
bool RewriteCommitPending(const std::string& table_path);

}  // namespace engine
