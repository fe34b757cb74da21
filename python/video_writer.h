// zavol.VideoWriter: NumPy frames into one video through the command-line tool's video writer.
#pragma once

#include <pybind11/pybind11.h>

namespace zavol::python {

void BindVideoWriter(pybind11::module_& module);

}  // namespace zavol::python
