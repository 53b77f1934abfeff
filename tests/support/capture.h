// What a call prints: stdout and stderr captured around it (header-only, for
// every platform's tests).
#ifndef TALVO_TESTS_SUPPORT_CAPTURE_H
#define TALVO_TESTS_SUPPORT_CAPTURE_H

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace testsupport {

struct Output {
  std::string out, err;
};

// Runs f with stdout and stderr captured into *o; returns f's result. The
// capture ends even when f leaves by a fatal assertion's return, and a
// failure reported inside it (which gtest prints to stdout) is shown after.
template <typename F>
auto captured(Output* o, F f) -> decltype(f()) {
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  struct Restore {
    Output* o;
    bool failed_before;
    ~Restore() {
      o->out = testing::internal::GetCapturedStdout(), o->err = testing::internal::GetCapturedStderr();
      if (!failed_before && testing::Test::HasFailure()) std::fputs(o->out.c_str(), stdout);
    }
  } restore{o, testing::Test::HasFailure()};
  return f();
}

// A call's boolean result with what it printed.
struct Captured {
  bool ok;
  std::string out, err;
};
template <typename F>
Captured run_captured(F f) {
  Output o;
  const bool ok = captured(&o, f);
  return {ok, o.out, o.err};
}

}  // namespace testsupport

#endif
