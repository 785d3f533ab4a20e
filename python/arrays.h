// NumPy arrays of the compiled module.
#pragma once

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <utility>
#include <vector>

namespace kt::python {

// A 1-D array that owns `values` (moved, not copied).
template <class T>
pybind11::array_t<T> to_array(std::vector<T>&& values) {
  auto* owned = new std::vector<T>(std::move(values));
  pybind11::capsule owner(owned, [](void* v) { delete static_cast<std::vector<T>*>(v); });
  return pybind11::array_t<T>(static_cast<pybind11::ssize_t>(owned->size()), owned->data(), owner);
}

}  // namespace kt::python
