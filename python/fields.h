// zavol.fields(): the engine's field table for forms built in Python.
#pragma once

#include <pybind11/pybind11.h>

namespace zavol::python {

void BindFields(pybind11::module_& module);

}  // namespace zavol::python
