// The string helpers that read a name=value list. Apart from the others, which
// the list itself uses to compare and split its lines.
#include "common/DatGenStringsFunctions.h"
#include "common/TStringList.h"

bool GetListValue(const TStringList& list, const std::string& name, std::string& value,
                  int& index) {
  index = list.IndexOfName(name);
  value = index < 0 ? std::string() : list.ValueFromIndex(index);
  return index >= 0;
}
