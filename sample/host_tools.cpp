#include "sample/host_tools.h"

#include <sys/stat.h>

#include <cstdio>

#include "util/guards.h"
#include "util/host_io.h"

namespace sample {

namespace {

void print_problem(const std::string& what) { std::fprintf(stderr, "sample: %s\n", what.c_str()); }

ProblemHandler problem_handler = print_problem;

}  // namespace

void set_problem_handler(ProblemHandler handler) { problem_handler = handler ? handler : print_problem; }

void problem(const std::string& what) { problem_handler(what); }

Bytes random_bytes(size_t size, uint32_t seed) {
  Bytes out(size);
  uint32_t x = seed * 2654435761u + 1;
  for (size_t i = 0; i < size; ++i) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    out[i] = static_cast<unsigned char>(x >> 24);
  }
  return out;
}

void make_parents(const std::string& path) {
  for (size_t pos = path.find('/', 1); pos != std::string::npos; pos = path.find('/', pos + 1)) {
    talvo::make_host_directory(path.substr(0, pos).c_str());
  }
}

bool write_file(const std::string& path, const Bytes& data) {
  make_parents(path);
  talvo::FileHandle f(std::fopen(path.c_str(), "wb"));
  if (!f) return false;
  if (!data.empty() && std::fwrite(data.data(), 1, data.size(), f.get()) != data.size()) return false;
  return std::fclose(f.release()) == 0;
}

Bytes read_file_bytes(const std::string& path) {
  // One block: images reach tens of MB, also in the sanitizer build.
  struct stat st;
  talvo::FileHandle f(std::fopen(path.c_str(), "rb"));
  if (!f) return Bytes();
  Bytes data(::fstat(fileno(f.get()), &st) == 0 ? static_cast<size_t>(st.st_size) : 0);
  size_t n = data.empty() ? 0 : std::fread(data.data(), 1, data.size(), f.get());
  data.resize(n);
  return data;
}

std::string shell_quote(const std::string& word) {
  std::string q = "'";
  for (char c : word) {
    if (c == '\'') {
      q += "'\\''";
    } else {
      q += c;
    }
  }
  return q + "'";
}

int run(const std::string& command, std::string* out) {
  FILE* p = ::popen(command.c_str(), "r");
  if (!p) return -1;
  std::string text;
  char buf[65536];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) text.append(buf, n);
  int status = ::pclose(p);
  if (out) *out = text;
  return talvo::command_exit_status(status);
}

bool master_iso(const std::string& command, const std::string& src, const std::string& iso) {
  return run(command + " -o " + shell_quote(iso) + " " + shell_quote(src) + " 2>&1") == 0;
}

bool make_iso(const std::string& src, const std::string& iso, bool joliet) {
  return master_iso(joliet ? "genisoimage -quiet -J" : "genisoimage -quiet", src, iso);
}

std::string build_iso(const std::string& dir, const FileMap& files, bool joliet,
                      const std::string& mastering) {
  std::string src = dir + "/src";
  make_parents(src + "/");
  for (const auto& f : files) {
    if (!write_file(src + f.first, f.second)) return "";
  }
  std::string iso = dir + "/image.iso";
  bool made = mastering.empty() ? make_iso(src, iso, joliet) : master_iso(mastering, src, iso);
  return made ? iso : "";
}

}  // namespace sample
