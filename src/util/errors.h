#pragma once
// Exception types. Every error carries the exact message text the user sees.
#include <stdexcept>
#include <string>

namespace dbc {

// Base error type of the library.
class Exception : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A text that should hold an integer does not: "'abc' is not a valid integer value".
class EConvertError : public Exception {
 public:
  using Exception::Exception;
};

// A list was indexed outside its range: "List index out of bounds (N)".
class EListError : public Exception {
 public:
  using Exception::Exception;
};

}  // namespace dbc
