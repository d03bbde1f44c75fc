// Failures travel as values: an error kind and a message naming the file and the problem.
#pragma once

#include <cassert>
#include <string>
#include <utility>
#include <variant>

namespace kivo {

enum class ErrorKind {
  NotFound,   // an input does not exist
  Io,         // open, read or write failed
  Format,     // bytes that are not what they should be
  Capacity,   // the format cannot hold it
  Changed,    // a source changed between two looks at it
  Invalid,    // a request that makes no sense (bad name, bad argument)
};

struct Error {
  ErrorKind kind;
  std::string message;
};

template <typename T>
class [[nodiscard]] Result {
 public:
  Result(T value) : state_(std::move(value)) {}      // NOLINT: implicit by design
  Result(Error error) : state_(std::move(error)) {}  // NOLINT: implicit by design

  bool ok() const { return std::holds_alternative<T>(state_); }
  explicit operator bool() const { return ok(); }

  T& value() & { assert(ok()); return std::get<T>(state_); }
  const T& value() const& { assert(ok()); return std::get<T>(state_); }
  T&& value() && { assert(ok()); return std::get<T>(std::move(state_)); }
  T* operator->() { return &value(); }
  const T* operator->() const { return &value(); }
  T& operator*() & { return value(); }
  const T& operator*() const& { return value(); }

  const Error& error() const { assert(!ok()); return std::get<Error>(state_); }

 private:
  std::variant<T, Error> state_;
};

class [[nodiscard]] Status {
 public:
  Status() = default;
  Status(Error error) : error_(std::move(error)), failed_(true) {}  // NOLINT: implicit by design

  static Status Ok() { return {}; }
  bool ok() const { return !failed_; }
  explicit operator bool() const { return ok(); }
  const Error& error() const { assert(failed_); return error_; }

 private:
  Error error_{ErrorKind::Io, {}};
  bool failed_ = false;
};

inline Error MakeError(ErrorKind kind, std::string message) { return Error{kind, std::move(message)}; }

}  // namespace kivo
