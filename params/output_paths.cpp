#include "params/output_paths.h"

#include <sys/stat.h>

#include <filesystem>

namespace kt {
namespace {

// Where a path leads: the file's identity when it exists, else its canonical name (the
// folders resolved, the missing tail kept as written).
struct Resolved {
  bool exists = false;
  dev_t device = 0;
  ino_t inode = 0;
  std::string canonical;
};

Resolved resolve(const std::string& path) {
  Resolved r;
  struct stat info {};
  if (::stat(path.c_str(), &info) == 0) {
    r.exists = true;
    r.device = info.st_dev;
    r.inode = info.st_ino;
  }
  std::error_code ec;
  const std::filesystem::path canonical = std::filesystem::weakly_canonical(path, ec);
  r.canonical =
      ec ? std::filesystem::absolute(path, ec).lexically_normal().string() : canonical.string();
  return r;
}

bool same_file(const Resolved& a, const Resolved& b) {
  if (a.exists && b.exists) return a.device == b.device && a.inode == b.inode;
  return a.canonical == b.canonical;
}

std::string described(const NamedPath& p) {
  return p.role + " \"" + p.path + "\"";
}

}  // namespace

std::string check_output_paths(const std::vector<NamedPath>& inputs,
                               const std::vector<NamedPath>& outputs) {
  std::vector<Resolved> in, out;
  for (const NamedPath& p : inputs) in.push_back(resolve(p.path));
  for (const NamedPath& p : outputs) out.push_back(resolve(p.path));
  for (std::size_t o = 0; o < outputs.size(); ++o) {
    if (outputs[o].path.empty()) continue;
    for (std::size_t i = 0; i < inputs.size(); ++i) {
      if (inputs[i].path.empty() || !same_file(out[o], in[i])) continue;
      return described(outputs[o]) + " is " + described(inputs[i]) +
             ", which the command reads; writing it would destroy it. Give another name";
    }
    for (std::size_t k = 0; k < o; ++k) {
      if (outputs[k].path.empty() || !same_file(out[o], out[k])) continue;
      return described(outputs[o]) + " and " + described(outputs[k]) +
             " are the same file; give each output its own name";
    }
  }
  return {};
}

}  // namespace kt
