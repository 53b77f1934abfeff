// Small helpers shared by the image tests: run a conversion with its console
// output captured, and own the malloc'd BMP files the converters return.
#ifndef TALVO_TESTS_IMAGES_IMAGE_TEST_HELPERS_H
#define TALVO_TESTS_IMAGES_IMAGE_TEST_HELPERS_H

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "tests/support/bmp_builders.h"

namespace imagetest {

using testsupport::ImageBytes;

struct Output {
  std::string out;
  std::string err;
};

// Runs f with stdout and stderr captured into *o; returns f's result.
template <typename F>
auto captured(Output* o, F f) -> decltype(f()) {
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  struct Restore {
    Output* o;
    ~Restore() {
      o->out = testing::internal::GetCapturedStdout();
      o->err = testing::internal::GetCapturedStderr();
    }
  };
  Restore restore{o};
  return f();
}

// Takes a converter's malloc'd result into a vector (empty for null).
inline ImageBytes take(unsigned char* data, unsigned int size) {
  if (!data) return ImageBytes();
  ImageBytes b(data, data + size);
  std::free(data);
  return b;
}

inline bool contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

}  // namespace imagetest

#endif
