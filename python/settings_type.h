// zavol.Settings: the 56-byte settings record as a Python object with one checked attribute per
// field, named as in zavol.h. Depends on pybind11 and libzavol/zavol.h only.
#pragma once

#include <pybind11/pybind11.h>

#include "libzavol/zavol.h"

namespace zavol::python {

struct Settings {
  zavol_settings record;
};

void BindSettings(pybind11::module_& module);

// The record a render call asks for: `settings` (a zavol.Settings or None for the defaults) with
// the keyword overrides applied on a copy. Errors name the argument or the field.
zavol_settings SettingsArgument(pybind11::handle settings, const pybind11::kwargs& overrides);

}  // namespace zavol::python
