// A new state of a file, written beside it under a temporary name and put in
// place by one rename, so that a crash at any moment leaves the old file or
// the new one, never a mix:
//
//   1. CreateStaged makes a file beside the target under a name no other
//      file has (TARGET + Tag + PID-SERIAL + Suffix, or TARGET + Tag when
//      the name is fixed), never taking an existing file, and locks it
//      exclusively from then until it is closed;
//   2. the caller writes it;
//   3. PutStagedInPlace syncs it, renames it to the target and syncs the
//      folder, so that the rename survives a crash too.
//
// A writer killed before step 3 leaves its temporary file behind.
// RemoveStaleStaged removes those of a target that no writer holds: it takes
// a lock on each before it removes it, so that it never removes the file of
// a writer that runs, and a writer that finds its fresh file locked or gone
// (the clean-up got there between the creation and the lock) takes another
// name.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "engine/util/EngineError.h"
#include "engine/util/LockedFile.h"

namespace engine {

// How the temporary files of one kind are named beside their target.
struct StagedNaming {
  std::string_view Tag;     // after the target's name: ".~", ".load-"
  std::string_view Suffix;  // at the very end: ".tmp", or nothing
  bool Unique = true;       // a process id and a serial between the two; a fixed name without
  int IoError = 0;          // the engine code of the system's refusals (AE_FILE_IO when 0)
};

// Creates the temporary file of `target` (step 1), open for reading and
// writing and locked exclusively. A fixed name that exists already answers
// AE_TABLE_EXISTS.
Result<LockedFile> CreateStaged(const std::string& target, const StagedNaming& naming);

// Syncs `file` (created by CreateStaged), renames it to `target` (replacing
// a file there only when `replace`; without it an existing target answers
// AE_TABLE_EXISTS and stays) and syncs the folder. `on_synced` runs between
// the sync and the rename (tests stop a process there). On failure before
// the rename `file` keeps its temporary name; the caller removes it.
Status PutStagedInPlace(LockedFile& file, const std::string& target, bool replace,
                        const StagedNaming& naming, const std::function<void()>& on_synced = {});

// True when the file name `name` is a temporary name of `naming` for the
// target file name `target_name`, letters compared ignoring case.
bool IsStagedNameOf(std::string_view name, std::string_view target_name,
                    const StagedNaming& naming);

// Removes the temporary files of `target` of `naming` (found ignoring case)
// that no writer holds; answers how many went. Anything that is not a
// regular file is left alone.
Result<int> RemoveStaleStaged(const std::string& target, const StagedNaming& naming);

}  // namespace engine
