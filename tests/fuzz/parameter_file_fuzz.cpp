// Fuzz target (libFuzzer) for the parameter-file reader and the number readers. Besides crashes
// and sanitizer findings it checks two promises: a text the reader takes writes a file that
// reads back, and reads back the same way again; a value the dialogs take fits the file.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "params/free_format.h"
#include "params/number_format.h"
#include "params/parameter_file.h"

namespace {

void require(bool promise) {
  if (!promise) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);

  float value = 0.0f;
  kt::convert_number_field(text.substr(0, 12), value);
  kt::free_format_read_name(text);
  kt::free_format_real_out_of_range(text);
  if (const auto typed = kt::free_format_read_real(text);
      typed && kt::fits_parameter_file(*typed)) {
    float back = 0.0f;
    require(kt::convert_number_field(kt::format_scientific(*typed, 12, 5), back));
    require(std::isfinite(back));
  }

  kt::ParameterSet parameters;
  kt::set_default_parameter_groups(parameters);
  if (kt::read_parameter_text(text, "fuzz.par", parameters)) {
    const std::string written = kt::format_parameter_file(parameters);
    kt::ParameterSet again;
    require(kt::read_parameter_text(written, "fuzz.par", again).ok);
    require(kt::format_parameter_file(again) == written);
  }
  return 0;
}
