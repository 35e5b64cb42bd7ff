// Table file layout. All integers little-endian.
//
// Fixed header:
//   OFFSET  SIZE  DESCRIPTION
//        0     8  magic 89 'A' 'D' 'T' 0D 0A 1A 0A
//        8     2  format version, major (1)
//       10     2  format version, minor (0)
//       12     4  header size H: offset of record 1, a multiple of 512
//       16     4  field count N, 1..2048
//       20     4  record length L (state byte and null bitmap included)
//       24   100  reserved, zero
//      124     4  CRC-32C of bytes 0..123 followed by the N field descriptors
//
// Commit slots, at 128 (slot 0) and 256 (slot 1), 128 bytes each:
//        0     8  generation
//        8     4  record count
//       12     4  flags: bit 0 encrypted, bit 1 mirrored (both slots written
//                 with each commit)
//       16     4  key derivation iterations (0 unless encrypted)
//       20    32  encryption salt (zero unless encrypted)
//       52    32  password check (zero unless encrypted)
//       84     1  encryption scheme (1 when encrypted, else 0)
//       85    39  reserved, zero
//      124     4  CRC-32C of bytes 0..123 of the slot
//
// Field descriptors, from 384, 144 bytes each:
//        0   128  field name, zero padded
//      128     1  type: 1 character, 2 integer, 3 double, 4 date, 5 logical
//      129     3  reserved, zero
//      132     4  length in the record
//      136     4  offset in the record
//      140     4  reserved, zero
//
// Records follow at H, L bytes each (layout in TableSchema.h).
//
// A load appends records after the last one, syncs them, and only then writes
// the slot that is not current with the new record count and the next
// generation, syncs, writes the same bytes into the other slot and syncs
// again. Between commits both slots describe the last commit, so one slot
// damaged later (a flipped bit) leaves the other, which says the same. A
// crash leaves at most one slot torn: during the first write the other
// still holds the last commit, during the second the first holds the new
// one. Either way the sound slot is the last complete commit. Bytes after
// the last counted record are the remains of a load that never committed
// and are ignored.
//
// Files written before slots were mirrored (no bit 1) keep the commit
// before the last in the other slot; when one of their slots is damaged the
// sound one may be that older commit. The records past its count tell:
// none means the damaged slot cannot have counted more, some means it may
// have, and the table is refused (8130) rather than shown rolled back.
#include "engine/record/TableFormat.h"

#include <algorithm>
#include <cstring>

#include "engine/record/Record.h"
#include "engine/util/Checksum.h"
#include "engine/util/TableErrorCodes.h"

namespace engine {

namespace {

constexpr uint8_t kMagic[8] = {0x89, 'A', 'D', 'T', 0x0D, 0x0A, 0x1A, 0x0A};

uint16_t Load16(const uint8_t* p) {
  return detail::LoadLittle<uint16_t>(p);
}
uint32_t Load32(const uint8_t* p) {
  return detail::LoadLittle<uint32_t>(p);
}
uint64_t Load64(const uint8_t* p) {
  return detail::LoadLittle<uint64_t>(p);
}

uint64_t RecordsEnd(const TableHeader& header, uint32_t count) {
  return header.HeaderSize + uint64_t{count} * header.Schema.RecordLength();
}

uint32_t HeaderCrc(const uint8_t* header, size_t field_count) {
  const uint32_t crc = Crc32c(header, 124);
  return Crc32c(header + kDescriptorsOffset, field_count * kDescriptorSize, crc);
}

Status Corrupt(const std::string& file, const std::string& what) {
  return Status(AE_TABLE_CORRUPT, "Table file \"" + file + "\" is damaged: " + what);
}

bool DecodeSlot(const uint8_t* p, CommitState& state) {
  if (Crc32c(p, 124) != Load32(p + 124)) return false;
  state.Generation = Load64(p);
  state.RecordCount = Load32(p + 8);
  state.Flags = Load32(p + 12);
  state.KdfIterations = Load32(p + 16);
  std::memcpy(state.Salt.data(), p + 20, 32);
  std::memcpy(state.PasswordCheck.data(), p + 52, 32);
  state.CipherScheme = p[84];
  return true;
}

}  // namespace

uint32_t HeaderSizeFor(size_t field_count) {
  const size_t raw = kDescriptorsOffset + field_count * kDescriptorSize;
  return static_cast<uint32_t>((raw + kHeaderAlignment - 1) / kHeaderAlignment * kHeaderAlignment);
}

std::array<uint8_t, kCommitSlotSize> EncodeCommitSlot(const CommitState& state) {
  std::array<uint8_t, kCommitSlotSize> slot{};
  uint8_t* p = slot.data();
  detail::StoreLittle<uint64_t>(p, state.Generation);
  detail::StoreLittle<uint32_t>(p + 8, state.RecordCount);
  detail::StoreLittle<uint32_t>(p + 12, state.Flags);
  detail::StoreLittle<uint32_t>(p + 16, state.KdfIterations);
  std::memcpy(p + 20, state.Salt.data(), 32);
  std::memcpy(p + 52, state.PasswordCheck.data(), 32);
  p[84] = state.CipherScheme;
  detail::StoreLittle<uint32_t>(p + 124, Crc32c(p, 124));
  return slot;
}

std::string EncodeNewHeader(const TableSchema& schema) {
  const uint32_t header_size = HeaderSizeFor(schema.FieldCount());
  std::string bytes(header_size, '\0');
  auto* p = reinterpret_cast<uint8_t*>(bytes.data());
  std::memcpy(p, kMagic, 8);
  detail::StoreLittle<uint16_t>(p + 8, kTableFormatMajor);
  detail::StoreLittle<uint16_t>(p + 10, kTableFormatMinor);
  detail::StoreLittle<uint32_t>(p + 12, header_size);
  detail::StoreLittle<uint32_t>(p + 16, static_cast<uint32_t>(schema.FieldCount()));
  detail::StoreLittle<uint32_t>(p + 20, schema.RecordLength());
  for (size_t i = 0; i < schema.FieldCount(); ++i) {
    const FieldInfo& f = schema.Field(i);
    uint8_t* d = p + kDescriptorsOffset + i * kDescriptorSize;
    std::memcpy(d, f.Name.data(), f.Name.size());
    d[128] = static_cast<uint8_t>(f.Type);
    detail::StoreLittle<uint32_t>(d + 132, f.Length);
    detail::StoreLittle<uint32_t>(d + 136, f.Offset);
  }
  detail::StoreLittle<uint32_t>(p + 124, HeaderCrc(p, schema.FieldCount()));
  CommitState first;
  first.Generation = 1;
  first.Flags = kCommitFlagMirrored;
  const auto slot = EncodeCommitSlot(first);
  std::memcpy(p + kCommitSlotOffsets[0], slot.data(), kCommitSlotSize);
  std::memcpy(p + kCommitSlotOffsets[1], slot.data(), kCommitSlotSize);
  return bytes;
}

Result<TableHeader> DecodeHeader(const std::string& prefix, uint64_t file_size,
                                 const std::string& file, size_t& needed, SlotChoice choice) {
  needed = 0;
  const auto* p = reinterpret_cast<const uint8_t*>(prefix.data());
  if (prefix.size() < 8 || std::memcmp(p, kMagic, 8) != 0) {
    if (file_size < 8)
      return Status(AE_TABLE_CORRUPT, "\"" + file + "\" is not a table file (it is too short)");
    return Status(AE_TABLE_CORRUPT, "\"" + file + "\" is not a table file");
  }
  if (prefix.size() < kDescriptorsOffset) {
    return Status(AE_TABLE_TRUNCATED, "Table file \"" + file + "\" is truncated inside its header");
  }
  TableHeader header;
  header.VersionMajor = Load16(p + 8);
  header.VersionMinor = Load16(p + 10);
  if (header.VersionMajor != kTableFormatMajor) {
    return Status(AE_TABLE_VERSION, "Table file \"" + file + "\" has format version " +
                                        std::to_string(header.VersionMajor) + "." +
                                        std::to_string(header.VersionMinor) +
                                        "; this engine reads version " +
                                        std::to_string(kTableFormatMajor) + ".x");
  }
  header.HeaderSize = Load32(p + 12);
  const uint32_t field_count = Load32(p + 16);
  const uint32_t record_length = Load32(p + 20);
  if (field_count < 1 || field_count > kMaxFieldCount) {
    return Corrupt(file, "field count " + std::to_string(field_count) + " is out of range");
  }
  if (header.HeaderSize != HeaderSizeFor(field_count)) {
    return Corrupt(file, "header size " + std::to_string(header.HeaderSize) + " does not fit " +
                             std::to_string(field_count) + " fields");
  }
  if (file_size < header.HeaderSize) {
    return Status(AE_TABLE_TRUNCATED, "Table file \"" + file + "\" is truncated inside its header");
  }
  if (prefix.size() < header.HeaderSize) {
    needed = header.HeaderSize;
    return Status(AE_TABLE_TRUNCATED, "header of \"" + file + "\" not read whole");
  }
  if (HeaderCrc(p, field_count) != Load32(p + 124))
    return Corrupt(file, "the header checksum does not match");

  // The descriptors passed the checksum; they must still describe exactly the
  // layout the field list gives, or the engine would read outside records.
  std::vector<FieldDef> defs;
  defs.reserve(field_count);
  for (uint32_t i = 0; i < field_count; ++i) {
    const uint8_t* d = p + kDescriptorsOffset + i * kDescriptorSize;
    const size_t name_length = strnlen(reinterpret_cast<const char*>(d), 128);
    const auto type = TypeFromCode(d[128]);
    if (!type) return Corrupt(file, "field " + std::to_string(i + 1) + " has an unknown type code");
    defs.push_back(FieldDef{std::string(reinterpret_cast<const char*>(d), name_length), *type,
                            Load32(d + 132)});
  }
  auto schema = TableSchema::Make(defs);
  if (!schema) return Corrupt(file, schema.status().Message());
  for (uint32_t i = 0; i < field_count; ++i) {
    const uint8_t* d = p + kDescriptorsOffset + i * kDescriptorSize;
    const FieldInfo& f = schema->Field(i);
    if (Load32(d + 132) != f.Length || Load32(d + 136) != f.Offset) {
      return Corrupt(
          file, "the descriptor of field \"" + f.Name + "\" lies outside its place in the record");
    }
  }
  if (record_length != schema->RecordLength()) {
    return Corrupt(file, "record length " + std::to_string(record_length) +
                             " does not match the fields (" +
                             std::to_string(schema->RecordLength()) + ")");
  }
  header.Schema = std::move(schema.value());

  const uint64_t room = (file_size - header.HeaderSize) / record_length;
  CommitState slots[2];
  const bool sound[2] = {DecodeSlot(p + kCommitSlotOffsets[0], slots[0]),
                         DecodeSlot(p + kCommitSlotOffsets[1], slots[1])};
  if (!sound[0] && !sound[1]) {
    if (choice == SlotChoice::Strict) return Corrupt(file, "neither commit slot is sound");
    header.CurrentSlot = 0;
    header.Commit = CommitState{};
    header.Commit.RecordCount = static_cast<uint32_t>(std::min<uint64_t>(room, kMaxRecordCount));
    return header;
  }
  header.CurrentSlot = !sound[0] || (sound[1] && slots[1].Generation > slots[0].Generation) ? 1 : 0;
  header.Commit = slots[header.CurrentSlot];
  const bool one_damaged = sound[0] != sound[1];
  if (one_damaged && (header.Commit.Flags & kCommitFlagMirrored) == 0 &&
      file_size > RecordsEnd(header, header.Commit.RecordCount)) {
    if (choice == SlotChoice::Salvage) {
      header.Commit.RecordCount = static_cast<uint32_t>(std::min<uint64_t>(room, kMaxRecordCount));
      return header;
    }
    const int damaged = 1 - header.CurrentSlot;
    return Status(AE_TABLE_COMMIT_DAMAGED,
                  "Table file \"" + file + "\" is damaged: commit slot " + std::to_string(damaged) +
                      " does not check out, and the file holds bytes past the " +
                      std::to_string(header.Commit.RecordCount) +
                      " records the other slot counts, so the last commit cannot be told; "
                      "the table is not read rather than shown as it was before");
  }
  if (header.Commit.RecordCount > room && choice == SlotChoice::Salvage) {
    header.Commit.RecordCount = static_cast<uint32_t>(room);
  }
  if (header.Commit.RecordCount > room) {
    return Status(AE_TABLE_TRUNCATED, "Table file \"" + file +
                                          "\" is truncated: its header counts " +
                                          std::to_string(header.Commit.RecordCount) +
                                          " records, the file holds " + std::to_string(room));
  }
  return header;
}

}  // namespace engine
