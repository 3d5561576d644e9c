#pragma once
// What the fuzz targets assert besides "no crash, no leak, no sanitizer
// report": a broken invariant prints what broke and aborts, which libFuzzer
// and the replay program report like a crash.
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

#include "util/errors.h"

#define FUZZ_CHECK(cond, what)                                                            \
  do {                                                                                    \
    if (!(cond)) {                                                                        \
      std::fprintf(stderr, "fuzz check failed: %s [%s] at %s:%d\n", std::string(what).c_str(), \
                   #cond, __FILE__, __LINE__);                                            \
      std::abort();                                                                       \
    }                                                                                     \
  } while (0)

namespace dbc::fuzz {

// Runs fn and returns the message of the dbc::Exception it raised, or an
// empty string. Every failure on malformed input must be a dbc::Exception
// with a message of its own; anything else (std::bad_alloc, an index error
// of the standard library, an exception without text) is a defect.
template <class Fn>
std::string ErrorOf(Fn&& fn) {
  try {
    fn();
  } catch (const Exception& e) {
    FUZZ_CHECK(e.what()[0] != '\0', "an error without a message");
    return e.what();
  } catch (const std::exception& e) {
    FUZZ_CHECK(false, std::string("an exception that is no dbc::Exception: ") + e.what());
  } catch (...) {
    FUZZ_CHECK(false, "an exception of an unknown type");
  }
  return {};
}

}  // namespace dbc::fuzz
