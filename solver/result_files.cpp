// Result files: names from the data file name, temporal records, spatial profile lines and the
// kinetics line in fixed Fw.d / scientific ESw.d fields with nX blanks, lines ending CR LF; a
// buffered file writer that reports failures with the file's name and reason.
#include "solver/result_files.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "params/number_format.h"

namespace kt {

std::string result_file_base(const std::array<char, kDataFileNameLength>& data_file_name) {
  // The content up to the last non-blank character, cut to seven: blanks inside stay.
  std::string base = trimmed_right(data_file_name);
  if (base.size() > 7) base.resize(7);
  return base;
}

std::string temporal_file_name(const std::string& base) {
  return base + "D.dat";
}

std::string spatial_file_name(const std::string& base, int number) {
  return base + "S" + std::to_string(number) + ".dat";
}

std::string kinetics_file_name(const std::string& base) {
  return base + "K.dat";
}

std::string pulse_table_file_name(const std::string& base) {
  return base + "P.dat";
}

OutputValues output_values(const ReportedValues& reported) {
  OutputValues v;
  v.time_ns = static_cast<float>(reported.time_ns);
  v.surface_temperature_k = static_cast<float>(reported.surface_temperature_k);
  v.velocity_cm_s = static_cast<float>(reported.velocity_cm_s);
  v.plotted_depth_nm = static_cast<float>(reported.ablated_depth_nm);
  v.surface_fraction = static_cast<float>(reported.surface_fraction);
  return v;
}

namespace {

// 1X, Fw.d, 1X
void append_framed(std::string& out, float value, int width, int decimals) {
  append_blanks(out, 1);
  append_fixed(out, value, width, decimals);
  append_blanks(out, 1);
}

}  // namespace

void append_temporal_record(std::string& out, const TemporalSelection& selection,
                            AblationModel model, const OutputValues& values) {
  append_framed(out, values.time_ns, 12, 4);
  if (selection.surface_temperature) append_framed(out, values.surface_temperature_k, 10, 4);
  if (selection.ablation_velocity) append_framed(out, values.velocity_cm_s, 12, 4);
  if (selection.ablated_depth) append_framed(out, values.plotted_depth_nm, 12, 4);
  if (model == AblationModel::bulk && selection.broken_fraction) {
    append_framed(out, values.surface_fraction, 6, 4);
  }
  append_blanks(out, 2);
  out += kLineEnd;
}

void append_spatial_lines(std::string& out, SpatialOutput selection, AblationModel model,
                          const ProfileArrays& profiles, int node_count) {
  const bool temperature =
      selection == SpatialOutput::temperature || selection == SpatialOutput::both;
  const bool fraction = model == AblationModel::bulk &&
                        (selection == SpatialOutput::fraction || selection == SpatialOutput::both);
  if (!temperature && !fraction) return;
  for (int k = 1; k <= node_count - 1; ++k) {
    append_blanks(out, 1);
    append_fixed(out, profiles.profile_depth_nm[k], 12, 4);
    if (temperature) {
      append_blanks(out, 2);
      append_fixed(out, profiles.profile_temperature_k[k], 10, 4);
    }
    if (fraction) {
      append_blanks(out, 2);
      append_fixed(out, profiles.profile_fraction[k], 6, 4);
    }
    out += kLineEnd;
  }
}

void append_kinetics_fluence(std::string& out, double fluence) {
  for (int decimals = 4; decimals >= 0; --decimals) {
    const std::string field = format_fixed(fluence, 8, decimals);
    if (decimals == 0 || field.find('*') == std::string::npos) {
      out += field;
      return;
    }
  }
}

std::string kinetics_line(AblationModel model, double fluence, const KineticsDepths& depths) {
  std::string line;
  append_kinetics_fluence(line, fluence);
  if (model == AblationModel::surface) {
    append_blanks(line, 2);
    append_scientific(line, depths.surface_recession_nm, 12, 5);
  } else {
    for (double value :
         {depths.surface_recession_nm, depths.volume_depth_nm, depths.total_depth_nm}) {
      append_blanks(line, 2);
      append_scientific(line, value, 12, 5);
    }
  }
  return line;
}

ResultFile::~ResultFile() {
  if (file_ != nullptr) std::fclose(file_);
}

bool ResultFile::open(const std::filesystem::path& path, Mode mode,
                      std::vector<std::string>& errors) {
  name_ = path.string();
  write_failed_ = false;
  write_errno_ = 0;
  written_ = 0;
  errno = 0;
  file_ = std::fopen(name_.c_str(), mode == Mode::append ? "ab" : "wb");
  if (file_ == nullptr) {
    const int reason = errno;
    errors.push_back("cannot open " + name_ + ": " +
                     (reason != 0 ? std::strerror(reason) : "unknown error"));
    return false;
  }
  // An append that fails is cut back to this length: whole lines or nothing.
  length_before_ = -1;
  struct stat info {};
  if (mode == Mode::append && ::fstat(fileno(file_), &info) == 0) length_before_ = info.st_size;
  std::setvbuf(file_, nullptr, _IOFBF, 1 << 16);  // records are not flushed one by one
  return true;
}

void ResultFile::write(const std::string& text) {
  if (file_ == nullptr || write_failed_ || text.empty()) return;
  errno = 0;
  if (std::fwrite(text.data(), 1, text.size(), file_) != text.size()) {
    write_failed_ = true;
    write_errno_ = errno;
  }
  written_ += static_cast<long long>(text.size());
}

void ResultFile::close(std::vector<std::string>& errors) {
  if (file_ == nullptr) return;
  errno = 0;
  if (std::fflush(file_) != 0 && !write_failed_) {
    write_failed_ = true;
    write_errno_ = errno;
  }
  errno = 0;
  if (std::fclose(file_) != 0 && !write_failed_) {
    write_failed_ = true;
    write_errno_ = errno;
  }
  file_ = nullptr;
  if (write_failed_) {
    std::string message = "cannot write " + name_ + ": " +
                          (write_errno_ != 0 ? std::strerror(write_errno_) : "unknown error");
    if (length_before_ >= 0) {
      message += ::truncate(name_.c_str(), length_before_) == 0
                     ? "; nothing of this write was kept"
                     : std::string("; cutting it back to its length before the write failed: ") +
                           std::strerror(errno);
    }
    errors.push_back(message);
  }
}

void write_result_file(const std::filesystem::path& path, ResultFile::Mode mode,
                       const std::string& text, std::vector<std::string>& errors) {
  ResultFile file;
  if (!file.open(path, mode, errors)) return;
  file.write(text);
  file.close(errors);
}

}  // namespace kt
