#include "tests/support/iso_image.h"

#include <sys/stat.h>

#include <cstdio>
#include <sstream>

#include "util/byte_order.h"

namespace testsupport {

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

Bytes read_whole_file(const std::string& path) {
  Bytes data(host_file_size(path));
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return Bytes();
  size_t n = data.empty() ? 0 : std::fread(data.data(), 1, data.size(), f);
  std::fclose(f);
  data.resize(n);
  return data;
}

uint64_t host_file_size(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 ? static_cast<uint64_t>(st.st_size) : 0;
}

std::string build_iso(const std::string& dir, const FileMap& files, bool joliet) {
  std::string src = dir + "/src";
  run("mkdir -p " + shell_quote(src));
  for (const auto& f : files) write_file(src + f.first, f.second);
  std::string iso = dir + "/image.iso";
  return make_iso(src, iso, joliet) ? iso : "";
}

static const char kReader[] = R"PY(
import os, sys, pycdlib
image, out_dir = sys.argv[1], sys.argv[2]
iso = pycdlib.PyCdlib()
try:
    iso.open(image)
except Exception as e:
    print('error', str(e).replace('\n', ' '))
    sys.exit(0)
print('pvd', iso.pvd.space_size)
trees = [('iso', 'iso_path', 'latin-1')]
if iso.has_joliet():
    print('svd', iso.joliet_vd.space_size)
    trees.append(('joliet', 'joliet_path', 'utf-16_be'))
def walk(tree, key, enc, path):
    for child in iso.list_children(**{key: path}):
        if child is None or child.is_dot() or child.is_dotdot():
            continue
        name = child.file_identifier().decode(enc)
        child_path = path.rstrip('/') + '/' + name
        if child.is_dir():
            walk(tree, key, enc, child_path)
            continue
        clean = child_path[:-2] if child_path.endswith(';1') else child_path
        out = os.path.join(out_dir, str(len(files)))
        iso.get_file_from_iso(out, **{key: child_path})
        files.append(out)
        print('file', tree, child.extent_location(), child.get_data_length(), out, clean)
files = []
try:
    for tree, key, enc in trees:
        walk(tree, key, enc, '/')
except Exception as e:
    print('error', str(e).replace('\n', ' '))
iso.close()
)PY";

IsoContents read_iso_contents(const std::string& iso) {
  IsoContents result;
  std::string dir = make_scratch_dir("pycdlib");
  std::string out;
  if (run_python(kReader, {iso, dir}, &out) != 0) {
    result.error = "python failed: " + out;
    return result;
  }
  std::istringstream lines(out);
  std::string line;
  result.ok = true;
  while (std::getline(lines, line)) {
    std::istringstream words(line);
    std::string kind;
    words >> kind;
    if (kind == "error") {
      result.ok = false;
      result.error = line;
    } else if (kind == "pvd") {
      words >> result.pvd_space;
    } else if (kind == "svd") {
      words >> result.svd_space;
      result.has_joliet = true;
    } else if (kind == "file") {
      std::string tree, data_path, path;
      IsoFileInfo info;
      words >> tree >> info.extent >> info.length >> data_path;
      std::getline(words >> std::ws, path);
      info.data = read_whole_file(data_path);
      (tree == "iso" ? result.iso_tree : result.joliet_tree)[path] = info;
    }
  }
  run("rm -rf " + shell_quote(dir));
  return result;
}

bool set_volume_space(const std::string& iso, unsigned sector, uint32_t sectors) {
  FILE* f = std::fopen(iso.c_str(), "r+b");
  if (!f) return false;
  unsigned char field[8];
  talvo::write_both32(field, sectors);
  bool ok = std::fseek(f, static_cast<long>(sector) * 2048 + 80, SEEK_SET) == 0 &&
            std::fwrite(field, 1, 8, f) == 8;
  return std::fclose(f) == 0 && ok;
}

}  // namespace testsupport
