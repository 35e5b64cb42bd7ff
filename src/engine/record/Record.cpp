#include "engine/record/Record.h"

#include <algorithm>
#include <string>

#include "engine/util/TableErrorCodes.h"

namespace engine {

Status RecordBuilder::SetChars(size_t field, std::string_view text) {
  const FieldInfo& f = schema_->Field(field);
  size_t n = text.size();
  if (n > f.Length) {
    while (n > f.Length && text[n - 1] == ' ') --n;  // trailing blanks are padding anyway
    if (n > f.Length) {
      return Status(AE_VALUE_TOO_LONG, "A value of " + std::to_string(n) +
                                           " bytes does not fit the " + std::to_string(f.Length) +
                                           "-byte field \"" + f.Name + "\"");
    }
  }
  uint8_t* at = Mark(field);
  std::memcpy(at, text.data(), n);
  std::memset(at + n, ' ', f.Length - n);
  return Status::Ok();
}

}  // namespace engine
