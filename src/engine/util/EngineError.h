// Engine errors: a code and a message, as values.
//
// Expected failures (a missing table, a table in use, a corrupt file, a bad
// filter) are answered as an EngineError inside a Status or Result; asserts
// are kept for the engine's own bugs and never fire on input. Every code is
// listed in docs/engine-errors.md.
#pragma once

#include <optional>
#include <string>
#include <utility>

namespace engine {

// Codes whose meaning the program relies on.
inline constexpr int AE_SUCCESS = 0;
inline constexpr int AE_NO_DIALOG = 5041;   // an error that gets no dialog
inline constexpr int AE_ALREADY_SO = 5068;  // benign "already so" of encryption and reindex calls
inline constexpr int AE_REMOTE_CONTROL_REFUSED =
    5185;                                     // local engine refused in a remote-control session
inline constexpr int AE_OLD_SERVER = 6316;    // back-end too old
inline constexpr int AE_OLD_SERVER_2 = 6633;  // back-end too old (second form)
inline constexpr int AE_SERVER_NOT_FOUND = 6420;  // no server answered
inline constexpr int AE_UNIQUE_EMPTY_KEY = 7059;  // unique index: empty or NULL key

// Our own codes, by area (docs/engine-errors.md lists each one):
//   8100..8199  files, tables, connections, opens, filters, engine files
//   8200..8299  index files, key expressions, sorting, B+trees
//   8300..8399  SQL, full-text tags, encryption

struct EngineError {
  int Code = AE_SUCCESS;
  std::string Message;
};

// Success, or the error that stopped an operation.
class [[nodiscard]] Status {
 public:
  Status() = default;
  Status(int code, std::string message) : error_{EngineError{code, std::move(message)}} {}
  explicit Status(EngineError error) : error_(std::move(error)) {}

  static Status Ok() { return Status(); }

  bool ok() const { return !error_.has_value(); }
  explicit operator bool() const { return ok(); }
  int Code() const { return error_ ? error_->Code : AE_SUCCESS; }
  const std::string& Message() const {
    static const std::string kEmpty;
    return error_ ? error_->Message : kEmpty;
  }
  const EngineError& Error() const { return *error_; }

  // Marks a deliberate swallow so that it can be found with a search.
  void PermitUncheckedError() const {}

 private:
  std::optional<EngineError> error_;
};

// A value, or the error that prevented it.
template <typename T>
class [[nodiscard]] Result {
 public:
  Result(T value) : value_(std::move(value)) {}          // NOLINT: implicit by design
  Result(Status status) : status_(std::move(status)) {}  // NOLINT: REQUIRES !status.ok()
  Result(int code, std::string message) : status_(code, std::move(message)) {}

  bool ok() const { return value_.has_value(); }
  explicit operator bool() const { return ok(); }
  const Status& status() const { return status_; }
  T& value() & { return *value_; }
  const T& value() const& { return *value_; }
  T&& value() && { return std::move(*value_); }
  T* operator->() { return &*value_; }
  const T* operator->() const { return &*value_; }
  T& operator*() & { return *value_; }

 private:
  std::optional<T> value_;
  Status status_;
};

}  // namespace engine
