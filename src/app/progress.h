#pragma once
// Progress of a long operation (Load, Export of a large file) and the way
// to stop it.
//
// The operation calls the progress function now and then with the stage it
// is in ("Writing the wells") and the fraction of that stage done, 0 to 1.
// The function answers whether to go on: false asks the operation to stop,
// which it does by raising ECancelled at a point where stopping leaves
// nothing half done (an export then leaves no output file behind). The
// function may be called from the thread that runs the operation only.
#include <functional>
#include <string>

#include "util/errors.h"

namespace dbc {

using Progress = std::function<bool(const std::string& stage, double fraction)>;

// The user stopped the operation. Not an error to show: "Cancelled".
class ECancelled : public Exception {
 public:
  ECancelled() : Exception("Cancelled") {}
};

// Reports to `progress` (when set); raises ECancelled when it says stop.
inline void ReportProgress(const Progress& progress, const std::string& stage, double fraction) {
  if (progress && !progress(stage, fraction)) throw ECancelled();
}

}  // namespace dbc
