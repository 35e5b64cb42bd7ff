#include "common/Exceptions.h"

#include <cxxabi.h>

#include <cstdlib>
#include <memory>
#include <typeinfo>

namespace {

std::string TypeName(const std::type_info& type) {
  int status = 0;
  std::unique_ptr<char, void (*)(void*)> readable(
      abi::__cxa_demangle(type.name(), nullptr, nullptr, &status), std::free);
  return status == 0 && readable ? std::string(readable.get()) : std::string(type.name());
}

}  // namespace

std::string Exception::ClassName() const {
  return TypeName(typeid(*this));
}

std::string ExceptionClassName(const std::exception& E) {
  if (const auto* ours = dynamic_cast<const Exception*>(&E)) return ours->ClassName();
  return TypeName(typeid(E));
}

std::string ExceptionMessage(const std::exception& E) {
  if (const auto* ours = dynamic_cast<const Exception*>(&E)) return ours->Message();
  return E.what();
}
