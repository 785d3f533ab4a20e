// The output-path rule through the program: every kind of file a command reads, given the name
// of every output a command writes, is refused before anything is made; afterwards every input
// is unchanged byte for byte and no file or folder has appeared. And the hostile inputs of a
// careless or malicious user are refused with their numbers within bounded time and memory.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "kt_test_paths.h"
#include "test_support.h"

namespace kt {
namespace {

// A sanitizer's shadow memory is terabytes of address space: under AddressSanitizer or
// ThreadSanitizer only the processor time of the hostile cases is limited.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
#else
constexpr bool kSanitized = false;
#endif

namespace fs = std::filesystem;

constexpr const char* kTrace = "time_ns,intensity\n0,0\n10,1\n20,0\n";
constexpr const char* kData =
    "fluence_mJ_per_cm2,total_depth_nm\n50,49.98\n100,102.05\n200,153.92\n400,206.1\n";

// Every file and folder under `root`, with the contents of the files.
std::map<std::string, std::string> tree(const fs::path& root) {
  std::map<std::string, std::string> found;
  for (const fs::directory_entry& e : fs::recursive_directory_iterator(root)) {
    const std::string name = fs::relative(e.path(), root).string();
    if (name == "out.txt" || name == "err.txt") continue;
    found[name] = e.is_regular_file() ? test::read_file(e.path()) : std::string("<folder>");
  }
  return found;
}

class OutputRule : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::copy_file(fs::path(KT_TEST_DATA_DIR) / "params" / "default.par", path("in.par"));
    material_ = test::read_file(fs::path(KT_SOURCE_DIR) / "materials" / "polyimide.toml");
    test::write_file(path("synth.csv"), kData);
  }
  fs::path path(const std::string& name) const { return dir_.path() / name; }
  int run(const std::string& arguments, const std::string& limits = "") const {
    const std::string command = "cd '" + dir_.path().string() + "' && " + limits + " timeout 60 '" +
                                KT_BATCH_PROGRAM + "' " + arguments + " > out.txt 2> err.txt";
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  std::string err() const { return test::read_file(path("err.txt")); }

  test::ScratchDirectory dir_;
  std::string material_;
};

// A kind of input: how a command is told to read it (NAME is the file), its contents, and the
// commands that take it. The parameter file is PARFILE itself.
struct InputKind {
  const char* name;
  const char* option;
  std::string contents;
  std::vector<std::string> commands;
};

// An output: the command line (PAR the parameter file, IN where the input's option goes) and
// the file it writes.
struct Output {
  const char* command;
  const char* file;
};

TEST_F(OutputRule, NoInputOfAnyKindIsReplacedByAnyOutput) {
  const std::string par = test::read_file(path("in.par"));
  const std::vector<InputKind> kinds = {
      {"parameter file", "", par, {"run", "sweep", "fit", "threshold", "study"}},
      {"material file",
       "--material NAME",
       material_,
       {"run", "sweep", "fit", "threshold", "study", "merge"}},
      {"experiment file",
       "--experiment NAME",
       "pulse_shape = \"gaussian\"\n",
       {"run", "sweep", "fit", "threshold", "study", "merge"}},
      {"pulse trace",
       "--pulse-shape measured --trace NAME",
       kTrace,
       {"run", "sweep", "fit", "threshold", "study", "merge"}},
      // A trace named by an experiment file (e.toml, written beside it).
      {"trace of an experiment",
       "--experiment e.toml",
       kTrace,
       {"run", "sweep", "fit", "threshold", "study"}},
      {"measured data", "--data NAME", kData, {"sweep", "fit"}},
      {"points file", "--points NAME", "fluence\n40\n60\n", {"study"}},
  };
  const std::vector<Output> outputs = {
      {"run PAR IN", "Data1D.dat"},
      {"run PAR IN", "Data1S3.dat"},
      {"run PAR IN", "Data1K.dat"},
      {"run PAR --pulses 2 --rate 10 IN", "Data1P.dat"},
      {"run PAR --pulses 2 --rate 10 --plot o.png IN", "o.png"},
      {"sweep PAR --fluence 40,60 IN", "Data1K.dat"},
      {"sweep PAR --fluence 40,60 --csv o.csv IN", "o.csv"},
      {"sweep PAR --fluence 40,60 --plot o.png --csv ./o.png IN", "o.png"},
      {"sweep PAR --fluence 40,60 --keep-files k IN", "k/F60/Data1S1.dat"},
      {"sweep PAR --fluence 40,60 --pulses 2 --rate 10 --keep-files k IN", "k/F40/Data1P.dat"},
      {"fit PAR --data synth.csv --analyse --report o.json IN", "o.json"},
      {"fit PAR --data synth.csv --vary activation_energy_em --out o.par IN", "o.par"},
      {"fit PAR --data synth.csv --analyse --plot o.png IN", "o.png"},
      {"threshold PAR --pulses 1,2 --rate 10 --plot o.png IN", "o.png"},
      {"study PAR VARY --out s IN", "s/study.csv"},
      {"merge t --out m --study in.par --vary fluence=40,60 IN", "m/study.csv"},
  };
  fs::create_directory(path("t"));
  test::write_file(path("t/study.shard-1-of-1.csv"), "# study 0123456789abcdef; 2 points\n");
  int checked = 0;
  for (const Output& output : outputs) {
    const std::string command_name =
        std::string(output.command).substr(0, std::string(output.command).find(' '));
    for (const InputKind& kind : kinds) {
      if (std::find(kind.commands.begin(), kind.commands.end(), command_name) ==
          kind.commands.end())
        continue;
      // The data file of fit is its own option: the kind replaces it.
      std::string command = output.command;
      const std::string file = output.file;
      const bool is_par = std::string(kind.name) == "parameter file";
      const bool is_data = std::string(kind.name) == "measured data";
      if (is_data && command_name == "fit") {
        command.replace(command.find("--data synth.csv"), 16, "--data " + file);
      }
      std::string option = is_data && command_name == "fit" ? "" : kind.option;
      if (const auto at = option.find("NAME"); at != std::string::npos) option.replace(at, 4, file);
      if (const auto at = command.find("PAR"); at != std::string::npos)
        command.replace(at, 3, is_par ? file : "in.par");
      if (const auto at = command.find("VARY"); at != std::string::npos)
        command.replace(at, 4, option.find("--points") == 0 ? "" : "--vary fluence=40,60");
      command.replace(command.find("IN"), 2, option);
      fs::create_directories(path(file).parent_path());
      test::write_file(path(file), kind.contents);
      if (std::string(kind.name) == "trace of an experiment")
        test::write_file(path("e.toml"), "pulse_shape = \"measured\"\ntrace = \"" + file + "\"\n");
      const auto before = tree(dir_.path());
      const int status = run(command);
      SCOPED_TRACE(command + " (" + kind.name + " as " + file + ")\n" + err());
      EXPECT_TRUE(status == 1 || status == 2) << status;
      EXPECT_TRUE(err().find("which the command reads") != std::string::npos ||
                  err().find("are the same file") != std::string::npos);
      EXPECT_EQ(tree(dir_.path()), before);
      fs::remove(path(file));
      ++checked;
    }
  }
  EXPECT_GE(checked, 60);
}

TEST_F(OutputRule, HostileInputsAreRefusedWithTheirNumbersInBoundedTimeAndMemory) {
  // 20000 header columns; a points file over the limit; a trace of too many samples, of a
  // span too long, of a span that is not a number; a rate with no physical meaning; a material
  // value beyond 32 bits; a material law whose run cannot keep its energy ledger.
  std::string header = "fluence_mJ_per_cm2,total_depth_nm", cells;
  for (int c = 0; c < 20000; ++c) {
    header += ",x" + std::to_string(c);
    cells += ",0";
  }
  std::string wide = header + "\n";
  for (const char* row : {"50,49.98", "100,102.05", "200,153.92", "400,206.1"})
    wide += row + cells + "\n";
  test::write_file(path("wide.csv"), wide);
  std::string points = "fluence\n";
  for (int i = 0; i < 10000001; ++i) points += "5\n";
  test::write_file(path("many.csv"), points);
  std::string samples = "time_ns,intensity\n";
  for (int i = 0; i < 1000002; ++i) samples += std::to_string(i) + ",1\n";
  test::write_file(path("long.csv"), samples);
  test::write_file(path("span.csv"), "0,0\n1,1\n6e7,0\n");
  test::write_file(path("nan.csv"), "-1e308,0\n0,1\n1e308,0\n");
  std::string big = material_;
  big.replace(big.find("value = 1.42"), 12, "value = 1e300");
  test::write_file(path("big.toml"), big);
  std::string steep = material_;
  steep.replace(steep.find("exponent = 0.28"), 15, "exponent = 1000");
  steep.erase(steep.find("00000011920928955078125"), 23);
  test::write_file(path("steep.toml"), steep);
  struct Case {
    const char* arguments;
    int status;
    const char* message;
  };
  const Case cases[] = {
      {"fit in.par --analyse --data wide.csv", 0, "x19999"},
      {"study in.par --points many.csv --out s --check", 1,
       "10000001 points; a points file lists at most 10000000"},
      {"run in.par --pulse-shape measured --trace long.csv", 1, "more than 1000000 samples"},
      {"run in.par --pulse-shape measured --trace span.csv", 1,
       "the samples span 6e+07 ns (from 0 to 6e+07 ns)"},
      {"run in.par --pulse-shape measured --trace nan.csv", 1, "the samples span inf ns"},
      {"run in.par --pulses 2 --rate 1e-300", 2, "--rate is 1e-300; a train's rate is from"},
      {"run in.par --pulses 1e20 --rate 10", 2, "--pulses takes a whole number"},
      {"run in.par --material big.toml", 1,
       "big.toml, line 13: density: value 1e+300 is beyond the 32-bit numbers"},
      {"run in.par --material steep.toml", 3, "the energy ledger does not close"},
  };
  const auto before = tree(dir_.path());
  for (const Case& c : cases) {
    SCOPED_TRACE(c.arguments);
    // 800 MB of address space and 60 s of processor time at most.
    EXPECT_EQ(run(c.arguments, kSanitized ? "prlimit --cpu=60" : "prlimit --as=800000000 --cpu=60"),
              c.status)
        << err();
    EXPECT_NE(err().find(c.message), std::string::npos) << err();
  }
  // The ledger's failure leaves the result files of its steps but no kinetics line.
  EXPECT_FALSE(fs::exists(path("Data1K.dat")));
}

}  // namespace
}  // namespace kt
