#pragma once
// Errors of the FCS reader.
#include "util/errors.h"

namespace dbc {

// The file ends before a value that should be read. Raised by the value
// reader and caught by the event loader, which keeps the complete events.
class EFCSBadFile : public Exception {
 public:
  using Exception::Exception;
};

}  // namespace dbc
