// Messages of the engine, the analyses and the solver in the words of the Python calls: where
// they name a batch-runner option (`--bounds NAME=LO:HI`, `--max-runs 40`, `--refine K`,
// `--scheme accurate`) the Python module names its keyword argument (`bounds={'NAME': (LO, HI)}`,
// `max_runs=40`, `refinement=K`, `scheme="accurate"`). One table maps every option; the messages
// themselves have one text.
#include <pybind11/pybind11.h>

#include <exception>
#include <regex>
#include <stdexcept>
#include <string>
#include <string_view>

#include "python/bindings.h"

namespace py = pybind11;

namespace kt::python {
namespace {

struct Wording {
  std::string_view batch, python;
};

// Option forms with placeholders or words, taken whole before single options. A Python call
// has no program name: "kestrium-batch --refine 4" reads "refinement=4".
constexpr Wording kForms[] = {
    {"kestrium-batch --", "--"},
    {"--scheme accurate", "scheme=\"accurate\""},
    {"--scheme published", "scheme=\"published\""},
    {"--pulse-shape measured", "pulse_shape=\"measured\""},
    {"--pulse-shape gaussian", "pulse_shape=\"gaussian\""},
    {"--pulse-shape file", "pulse_shape=\"file\""},
    {"--vary NAME[,NAME...]", "vary=[NAME, ...]"},
    {"--vary NAME=VALUES", "vary={NAME: VALUES}"},
    {"--bounds NAME=LO:HI", "bounds={NAME: (LO, HI)}"},
};

// The batch runner's options and the keyword arguments that take their place.
constexpr Wording kArguments[] = {
    {"bounds", "bounds"},
    {"vary", "vary"},
    {"max-runs", "max_runs"},
    {"refine", "refinement"},
    {"jobs", "jobs"},
    {"fluence", "fluences"},
    {"log", "log"},
    {"quantity", "quantity"},
    {"min-depth", "min_depth"},
    {"method", "method"},
    {"scheme", "scheme"},
    {"analyse", "analyse"},
    {"data", "data"},
    {"shard", "shard"},
    {"chunk-size", "chunk_size"},
    {"grid-refine", "grid_refinement"},
    {"experiment", "experiment"},
    {"pulse-shape", "pulse_shape"},
    {"trace", "trace"},
    {"pulses", "pulses"},
    {"rate", "rate_hz"},
    {"incubated-absorption", "incubated_absorption"},
    {"material", "material"},
};

std::string_view argument_of(std::string_view option) {
  for (const Wording& w : kArguments) {
    if (w.batch == option) return w.python;
  }
  return {};
}

void replace_all(std::string& text, std::string_view from, std::string_view to) {
  for (std::size_t at = text.find(from); at != std::string::npos;
       at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
  }
}

}  // namespace

std::string python_words(std::string message) {
  for (const Wording& w : kForms) replace_all(message, w.batch, w.python);
  static const std::regex bounds_of_field(R"(--bounds ([A-Za-z_0-9]+)=LO:HI)");
  message = std::regex_replace(message, bounds_of_field, "bounds={'$1': (LO, HI)}");
  // An option, and the value written after it (a number, a quoted text, a placeholder, or a
  // value that a colon ends, as in `--fluence x: "x" is not a number`).
  static const std::regex option(
      R"re(--([a-z][a-z-]*)( (-?[0-9][^ ;,)]*|"[^"]*"|[A-Z][^ ;,)]*|[^ ;,)"]+:(?= )))?)re");
  std::string out;
  auto from = message.cbegin();
  for (std::sregex_iterator it(message.cbegin(), message.cend(), option), end; it != end; ++it) {
    const std::smatch& m = *it;
    const std::string_view argument = argument_of(m[1].str());
    out.append(from, m[0].first);
    out += argument.empty() ? m[0].str() : std::string(argument) + "=" + m[3].str();
    from = m[0].second;
  }
  out.append(from, message.cend());
  return out;
}

void bind_wording(py::module_& m) {
  m.def("_python_words", &python_words, py::arg("message"));
  // Refusals and failures raised from the calls of this module, in the same words.
  py::register_local_exception_translator([](std::exception_ptr error) {
    try {
      std::rethrow_exception(error);
    } catch (const py::value_error& e) {
      PyErr_SetString(PyExc_ValueError, python_words(e.what()).c_str());
    } catch (const py::builtin_exception&) {
      throw;
    } catch (const py::error_already_set&) {
      throw;
    } catch (const std::runtime_error& e) {
      PyErr_SetString(PyExc_RuntimeError, python_words(e.what()).c_str());
    }
  });
}

}  // namespace kt::python
