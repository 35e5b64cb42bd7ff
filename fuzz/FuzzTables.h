// What the targets over tables share: dbtool run in-process with its output
// thrown away, and a small table with index tags (B+tree and full text)
// made once with dbtool itself.
#pragma once

#include <string>
#include <vector>

#include "FuzzSupport.h"

namespace fuzz {

// dbtool's exit code for `args` (the words after the program name); what
// it prints is thrown away.
int Dbtool(const std::vector<std::string>& args);

// The folder of the reference table Contacts.ADT (ID unique, NAME, NOTES,
// SCORE, BORN, ACTIVE; a few records, one deleted) and its index file
// Contacts.Adi with the tags ID, NAME (case-insensitive) and the full-text
// tag FTS on NOTES. Made once; never written afterwards.
const std::string& ReferenceFolder();

// The bytes of a file of the reference folder.
std::string ReferenceFile(const std::string& name);

// Copies the reference table (and its index file when `with_index`) into
// the scratch folder as Contacts.ADT / Contacts.Adi, removing what was there.
void CopyReferenceTable(bool with_index);

}  // namespace fuzz
