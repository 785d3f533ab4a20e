// Result files of a calculation: the temporal file (records at a fixed interval of model time),
// the spatial files (depth profiles at chosen instants) and the kinetics file (one line per
// run). Record layouts in Fortran-style fixed (Fw.d) and scientific (ESw.d) fields with nX
// blanks; every line ends with CR LF. Values in reported units: ns, K, cm/s, nm, mJ/cm^2.
#pragma once

#include <array>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "params/parameter_set.h"
#include "solver/model.h"
#include "solver/step_profiles.h"

namespace kt {

inline constexpr int kSpatialFileCount = 10;
inline constexpr const char* kLineEnd = "\r\n";

// The base of the result-file names: the first seven characters of the data file name,
// trailing blanks dropped.
std::string result_file_base(const std::array<char, kDataFileNameLength>& data_file_name);
std::string temporal_file_name(const std::string& base);             // base + "D.dat"
std::string spatial_file_name(const std::string& base, int number);  // base + "S" + m + ".dat"
std::string kinetics_file_name(const std::string& base);             // base + "K.dat"
std::string pulse_table_file_name(const std::string& base);          // base + "P.dat"

// The four temporal-output selections of one step.
struct TemporalSelection {
  bool surface_temperature = false;
  bool ablation_velocity = false;
  bool ablated_depth = false;
  bool broken_fraction = false;
  bool any() const {
    return surface_temperature || ablation_velocity || ablated_depth || broken_fraction;
  }
};

// The output-step values as 32-bit reals, in reported units.
struct OutputValues {
  float time_ns = 0.0f;
  float surface_temperature_k = 0.0f;
  float velocity_cm_s = 0.0f;
  float plotted_depth_nm = 0.0f;
  float surface_fraction = 0.0f;
};
OutputValues output_values(const ReportedValues& reported);

// One temporal record, line end included.
void append_temporal_record(std::string& out, const TemporalSelection& selection,
                            AblationModel model, const OutputValues& values);

// The lines of a spatial file (nodes 1 to node_count - 1: 64 on the model's grid) for a
// selection of temperature, fraction or both; the surface model writes temperature for
// temperature or both and nothing for fraction.
void append_spatial_lines(std::string& out, SpatialOutput selection, AblationModel model,
                          const ProfileArrays& profiles, int node_count = kNodeCount);

// Fluence as F8.4 below 1000; from 1000 up the same 8 columns with fewer decimals.
void append_kinetics_fluence(std::string& out, double fluence);

// The depths a run reports in its kinetics line [nm].
struct KineticsDepths {
  double surface_recession_nm = 0.0;
  double volume_depth_nm = 0.0;
  double total_depth_nm = 0.0;
};
// The kinetics line without its line end: surface model F, 2X, ES12.5 depth; bulk model F and
// three times 2X, ES12.5 (recession, volume depth, their sum).
std::string kinetics_line(AblationModel model, double fluence, const KineticsDepths& depths);

// A text file written through a buffer; failures are collected as messages naming the file.
class ResultFile {
 public:
  enum class Mode { rewrite, append };
  ResultFile() = default;
  ~ResultFile();
  ResultFile(const ResultFile&) = delete;
  ResultFile& operator=(const ResultFile&) = delete;

  // False when the file cannot be opened; the reason goes to errors.
  bool open(const std::filesystem::path& path, Mode mode, std::vector<std::string>& errors);
  bool is_open() const { return file_ != nullptr; }
  void write(const std::string& text);
  // The bytes written since opening.
  long long written() const { return written_; }
  // Closes the file; a write or close failure goes to errors. In append mode a failed write
  // (a full disk) is cut back to the file's length at opening, so no partial line stays.
  void close(std::vector<std::string>& errors);

 private:
  std::FILE* file_ = nullptr;
  std::string name_;
  bool write_failed_ = false;
  int write_errno_ = 0;
  long long length_before_ = -1;  // append mode: the file's length at opening
  long long written_ = 0;
};

// Writes a whole file at once (rewrite or append); failures go to errors.
void write_result_file(const std::filesystem::path& path, ResultFile::Mode mode,
                       const std::string& text, std::vector<std::string>& errors);

}  // namespace kt
