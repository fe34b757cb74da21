// zavol.Settings: the 56-byte settings record as a Python object with one checked attribute per
// field, named as in zavol.h. Depends on pybind11 and render/'s settings schema only.
#pragma once

#include <pybind11/pybind11.h>

#include "render/settings.h"

namespace zavol::python {

struct Settings {
  StereogramSettings record;
};

void BindSettings(pybind11::module_& module);

// The record a render call asks for: `settings` (a zavol.Settings or None for the defaults) with
// the keyword overrides applied on a copy. Errors name the argument or the field.
StereogramSettings SettingsArgument(pybind11::handle settings, const pybind11::kwargs& overrides);

}  // namespace zavol::python
