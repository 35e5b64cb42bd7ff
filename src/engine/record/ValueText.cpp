#include "engine/record/ValueText.h"

#include <charconv>

#include "engine/record/DateValue.h"
#include "engine/util/TableErrorCodes.h"

namespace engine {

void AppendFieldText(std::string& out, const RecordView& record, size_t field) {
  if (record.IsNull(field)) return;
  char buf[32];
  switch (record.Schema().Field(field).Type) {
    case FieldType::Character: {
      const std::string_view s = record.TrimmedChars(field);
      out.append(s.data(), s.size());
      return;
    }
    case FieldType::Integer: {
      const auto r = std::to_chars(buf, buf + sizeof buf, record.Integer(field));
      out.append(buf, r.ptr);
      return;
    }
    case FieldType::Double: {
      const auto r = std::to_chars(buf, buf + sizeof buf, record.Double(field));
      out.append(buf, r.ptr);
      return;
    }
    case FieldType::Date:
      AppendIsoDate(out, record.Date(field));
      return;
    case FieldType::Logical:
      out.push_back(record.Logical(field) ? 'T' : 'F');
      return;
  }
}

std::string FieldText(const RecordView& record, size_t field) {
  std::string out;
  AppendFieldText(out, record, field);
  return out;
}

bool ParseLogical(std::string_view text, bool& value) {
  if (text == "T" || text == "t") {
    value = true;
    return true;
  }
  if (text == "F" || text == "f") {
    value = false;
    return true;
  }
  return false;
}

Status SetFieldFromText(RecordBuilder& builder, size_t field, std::string_view text) {
  const FieldInfo& f = builder.Schema().Field(field);
  auto bad = [&](const char* what) {
    std::string shown(text.substr(0, 40));
    if (text.size() > 40) shown += "...";
    return Status(AE_INVALID_VALUE, "Field \"" + f.Name + "\": \"" + shown + "\" is not " + what);
  };
  switch (f.Type) {
    case FieldType::Character:
      return builder.SetChars(field, text);
    case FieldType::Integer: {
      int32_t v = 0;
      if (!ParseInteger(text, v)) return bad("an integer (32-bit, decimal)");
      builder.SetInteger(field, v);
      return Status::Ok();
    }
    case FieldType::Double: {
      double v = 0;
      if (!ParseDouble(text, v)) return bad("a finite number");
      builder.SetDouble(field, v);
      return Status::Ok();
    }
    case FieldType::Date: {
      const auto day = ParseIsoDate(text);
      if (!day) return bad("a date YYYY-MM-DD");
      builder.SetDate(field, *day);
      return Status::Ok();
    }
    case FieldType::Logical: {
      bool v = false;
      if (!ParseLogical(text, v)) return bad("a logical T or F");
      builder.SetLogical(field, v);
      return Status::Ok();
    }
  }
  return bad("a value of a known type");
}

}  // namespace engine
