// The header form of a field in dbtool's CSV: NAME:TYPE[:LENGTH], TYPE one
// of C (character, LENGTH required, 1..65000), I (integer), N (double),
// D (date), L (logical).
#pragma once

#include <string>
#include <string_view>

#include "engine/record/FieldTypes.h"
#include "engine/record/TableSchema.h"

namespace dbtool {

// Reads one header cell into `field`; false with the reason in `error`.
bool ParseFieldSpec(std::string_view cell, engine::FieldDef& field, std::string& error);

// The header cell of a table's field.
std::string FieldSpecText(const engine::FieldInfo& field);

}  // namespace dbtool
