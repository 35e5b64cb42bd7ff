// Misuse of a dataset component that is not an engine failure: changing a
// property that is fixed while the dataset is open, moving a closed
// dataset, or naming a connection that does not exist.
#pragma once

#include <string>
#include <utility>

#include "common/Exceptions.h"

class EDatabaseError : public Exception {
 public:
  explicit EDatabaseError(std::string Message) : Exception(std::move(Message)) {}
};
