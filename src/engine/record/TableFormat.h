// The table file's header: its byte layout (TableFormat.cpp) and the checks
// that every value read from disk passes before the engine uses it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/record/TableSchema.h"
#include "engine/util/EngineError.h"

namespace engine {

inline constexpr uint16_t kTableFormatMajor = 1;  // a reader refuses other majors
inline constexpr uint16_t kTableFormatMinor =
    0;  // later minors only add what older readers may ignore

inline constexpr size_t kFixedHeaderSize = 128;
inline constexpr size_t kCommitSlotSize = 128;
inline constexpr size_t kCommitSlotOffsets[2] = {128, 256};
inline constexpr size_t kDescriptorsOffset = 384;
inline constexpr size_t kDescriptorSize = 144;
inline constexpr size_t kHeaderAlignment = 512;

inline constexpr uint32_t kCommitFlagEncrypted = 1;
// Set in slots written by an engine that writes both slots with each commit
// (the second after the first is synced), so that one slot alone always
// describes the last commit. A file whose sound slot lacks it was committed
// one slot at a time, the other slot holding the commit before.
inline constexpr uint32_t kCommitFlagMirrored = 2;

// What a commit slot records: the state of the table after a load or change
// that was synced to disk before the slot was written.
struct CommitState {
  uint64_t Generation = 0;         // the sound slot with the higher generation is the current one
  uint32_t RecordCount = 0;        // records 1..RecordCount exist in the file, live or deleted
  uint32_t Flags = 0;              // kCommitFlagEncrypted
  uint32_t KdfIterations = 0;      // key derivation rounds of an encrypted table, else 0
  std::array<uint8_t, 32> Salt{};  // key derivation salt, zero unless encrypted
  std::array<uint8_t, 32> PasswordCheck{};  // proves a password right, zero unless encrypted
  uint8_t CipherScheme = 0;                 // kTableCipherScheme when encrypted, else 0
};

struct TableHeader {
  uint16_t VersionMajor = kTableFormatMajor;
  uint16_t VersionMinor = kTableFormatMinor;
  uint32_t HeaderSize = 0;  // offset of record 1
  TableSchema Schema;
  CommitState Commit;   // the current slot
  int CurrentSlot = 0;  // 0 or 1
};

// The header size of a table with `field_count` fields.
uint32_t HeaderSizeFor(size_t field_count);

// The whole header of a new table: fixed part, both commit slots (alike, at
// generation 1, so that one damaged slot always leaves another that
// describes the table) and the field descriptors.
std::string EncodeNewHeader(const TableSchema& schema);

// The bytes of one commit slot.
std::array<uint8_t, kCommitSlotSize> EncodeCommitSlot(const CommitState& state);

// Which slot is current when one is damaged: a slot written with its mirror
// is the last commit; a slot of a file committed one slot at a time is taken
// only when the file holds no record past its count (the damaged slot cannot
// then have counted more), else the table is refused (8130). With
// `salvage`, such a file is read as far as it holds whole records instead,
// for a salvage that copies what it can.
enum class SlotChoice { Strict, Salvage };

// Reads the header from the first bytes of a file. `prefix` holds at least
// kDescriptorsOffset bytes, or the whole file when it is shorter. When the
// prefix is sound so far but shorter than the header, `needed` is set to the
// header size and the caller reads that much and calls again. Every failure
// is an engine error naming `file`.
Result<TableHeader> DecodeHeader(const std::string& prefix, uint64_t file_size,
                                 const std::string& file, size_t& needed,
                                 SlotChoice choice = SlotChoice::Strict);

}  // namespace engine
