#include "params/output_paths.h"

#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <unordered_map>

namespace kt {
namespace {

namespace fs = std::filesystem;

// The absolute name a path leads to, every link followed, also a link whose target does not
// exist yet (writing through it would create the target): "c.png", "./c.png" and a link to
// c.png all give one name.
std::string canonical_name(const std::string& path) {
  std::error_code ec;
  fs::path p = fs::absolute(path, ec).lexically_normal();
  if (ec) return path;
  for (int links = 0; links < 40; ++links) {
    const fs::path name = p.filename();
    if (name.empty() || name == "." || name == "..") break;
    const fs::path folder = fs::weakly_canonical(p.parent_path(), ec);
    if (ec) break;
    p = folder / name;
    if (!fs::is_symlink(fs::symlink_status(p, ec)) || ec) break;
    const fs::path target = fs::read_symlink(p, ec);
    if (ec) break;
    p = (target.is_absolute() ? target : folder / target).lexically_normal();
  }
  const fs::path canonical = fs::weakly_canonical(p, ec);
  return (ec ? p : canonical).string();
}

// What makes two paths one file: the device and inode of a file that exists, else its
// canonical name (a name that does not exist yet cannot be a file that does).
std::string identity(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) == 0)
    return "i" + std::to_string(info.st_dev) + ":" + std::to_string(info.st_ino);
  return "n" + canonical_name(path);
}

std::string described(const NamedPath& p) {
  return p.role + " \"" + p.path + "\"";
}

}  // namespace

std::string check_output_paths(const std::vector<NamedPath>& inputs,
                               const std::vector<NamedPath>& outputs) {
  // Each file once, by its identity: linear in the number of paths (a sweep's kept files).
  std::unordered_map<std::string, std::size_t> read, written;
  for (std::size_t i = 0; i < inputs.size(); ++i)
    if (!inputs[i].path.empty()) read.emplace(identity(inputs[i].path), i);
  for (std::size_t o = 0; o < outputs.size(); ++o) {
    if (outputs[o].path.empty()) continue;
    const std::string id = identity(outputs[o].path);
    if (const auto in = read.find(id); in != read.end())
      return described(outputs[o]) + " is " + described(inputs[in->second]) +
             ", which the command reads; writing it would destroy it. Give another name";
    if (const auto [earlier, added] = written.emplace(id, o); !added)
      return described(outputs[o]) + " and " + described(outputs[earlier->second]) +
             " are the same file; give each output its own name";
  }
  return {};
}

}  // namespace kt
