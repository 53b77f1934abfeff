// Host files and outside programs for the sample maker, the tests and the
// benches: writing and reading whole files, running a shell command,
// mastering an ISO image with genisoimage, and pseudo-random bytes. Nothing
// here depends on a test framework.
#ifndef TALVO_SAMPLE_HOST_TOOLS_H
#define TALVO_SAMPLE_HOST_TOOLS_H

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace sample {

using Bytes = std::vector<unsigned char>;
// Image path ("/DIR/FILE.BIN") to contents.
using FileMap = std::map<std::string, Bytes>;

// When the sample code's own data breaks a rule it depends on (a position
// outside an image, a table that does not fit), it calls problem(). By default
// that prints the problem on stderr; tests install a handler that makes it a
// test failure. REQUIRES: a handler that returns (the caller carries on).
using ProblemHandler = void (*)(const std::string& what);
void set_problem_handler(ProblemHandler handler);
void problem(const std::string& what);

// Deterministic pseudo-random bytes.
Bytes random_bytes(size_t size, uint32_t seed);

// Creates the folders leading to path (not path itself).
void make_parents(const std::string& path);
// Writes a whole file, creating its folders. False when it could not.
bool write_file(const std::string& path, const Bytes& data);
// A whole file; empty when it cannot be read.
Bytes read_file_bytes(const std::string& path);

// Runs a shell command; returns its exit status (-1 when it did not exit),
// its stdout in *out when given.
int run(const std::string& command, std::string* out = nullptr);
// Quotes one word for the shell.
std::string shell_quote(const std::string& word);

// Masters folder src into image iso with `command` (e.g. "genisoimage -J"),
// or with genisoimage, with a Joliet tree when joliet is true. False when the
// mastering program failed.
bool master_iso(const std::string& command, const std::string& src, const std::string& iso);
bool make_iso(const std::string& src, const std::string& iso, bool joliet = true);

// Writes files under dir + "/src" and makes dir + "/image.iso" from them,
// with genisoimage or, when given, the mastering command of master_iso.
// Returns the image path, or "" when writing or mastering failed.
std::string build_iso(const std::string& dir, const FileMap& files, bool joliet,
                      const std::string& mastering = "");

}  // namespace sample

#endif
