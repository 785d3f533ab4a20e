// The rule every command that writes follows: no output may be one of the command's own
// inputs. An output and an input are the same file when they resolve to one file after every
// symbolic link (also one whose target does not exist yet): by device and inode when the file
// exists, by its absolute canonical name otherwise. The check is made before anything is made
// or written, so a refused command creates nothing.
#pragma once

#include <string>
#include <vector>

namespace kt {

// A file a command reads or writes, with what the user called it in the command
// (the front end's name for the option or keyword, "the parameter file").
struct NamedPath {
  std::string role;
  std::string path;
};

// Empty when every output differs from every input and from every other output; otherwise the
// problem, naming both (e.g. `report "r.par" is the parameter file "in.par"; ...`).
std::string check_output_paths(const std::vector<NamedPath>& inputs,
                               const std::vector<NamedPath>& outputs);

}  // namespace kt
