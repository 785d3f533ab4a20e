// kestrium.RefusalError: a request of the engine that does not run, raised with its refusal as
// data (what is wrong, the keyword argument at fault, what would do). It is a ValueError, so a
// caller that catches ValueError keeps catching it.
#include <pybind11/eval.h>
#include <pybind11/pybind11.h>

#include "python/bindings.h"

namespace py = pybind11;

namespace kt::python {
namespace {

constexpr const char* kRefusalErrorSource = R"(
class RefusalError(ValueError):
    """A call refused before any work: nothing has run or been written.

    Attributes
    ----------
    problem : str
        What is wrong, naming the file, the field or the keyword argument it comes from.
    setting : str
        The keyword argument at fault (``"refinement"``, ``"fluences"``, ``"scheme"``, ...);
        empty when the fault is in a file or in the parameters themselves.
    remedy : str
        What would make the call run; empty when the problem says it.
    """

    def __init__(self, problem, setting="", remedy=""):
        super().__init__(problem + ("; " + remedy if remedy else ""))
        self.problem = problem
        self.setting = setting
        self.remedy = remedy
)";

py::object& refusal_error_class() {
  static py::object* cls = nullptr;  // kept for the interpreter's life, as the module is
  if (!cls) cls = new py::object();
  return *cls;
}

}  // namespace

void bind_refusal(py::module_& m) {
  py::dict scope;
  scope["__builtins__"] = py::module_::import("builtins");
  scope["__name__"] = m.attr("__name__");
  py::exec(kRefusalErrorSource, scope);
  py::object cls = scope["RefusalError"];
  cls.attr("__module__") = "kestrium";
  m.attr("RefusalError") = cls;
  refusal_error_class() = cls;
}

void raise_refusal(const Refusal& refusal) {
  py::object error = refusal_error_class()(refusal.problem, refusal.setting, refusal.remedy);
  PyErr_SetObject(refusal_error_class().ptr(), error.ptr());
  throw py::error_already_set();
}

}  // namespace kt::python
