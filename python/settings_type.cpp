// zavol.Settings: one property per row of the settings schema, each value checked against the
// setup dialog's range when set. A stored block is taken and given back byte for byte, whatever
// its values: only what Python code assigns is checked.
#include "python/settings_type.h"

#include <charconv>
#include <climits>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <string>
#include <vector>

#include "python/arrays.h"
#include "render/settings_schema.h"

namespace py = pybind11;

namespace zavol::python {
namespace {

// The words the tool also uses for the two coded fields.
struct CodeName {
  const char* name;
  int32_t code;
};
constexpr CodeName kMediumNames[] = {
    {"14in", kMedium14InchMonitor}, {"15in", kMedium15InchMonitor},
    {"17in", kMedium17InchMonitor}, {"19in", kMedium19InchMonitor},
    {"21in", kMedium21InchMonitor}, {"a5", kMediumA5Paper},
    {"a4", kMediumA4Paper},         {"a3", kMediumA3Paper},
    {"dpi", kMediumCustomDpi},
};
constexpr CodeName kRampNames[] = {{"rgb", kRampRgb}, {"hsv", kRampHsv}};

// "NearObjectDepth" -> "near_object_depth", as zavol.h names the fields.
std::string SnakeName(const char* name) {
  std::string snake;
  for (const char* c = name; *c != '\0'; ++c) {
    if (*c >= 'A' && *c <= 'Z') {
      if (c != name) snake += '_';
      snake += static_cast<char>(*c - 'A' + 'a');
    } else {
      snake += *c;
    }
  }
  return snake;
}

// Python's names for the fields, in record order; they live as long as the module.
const std::vector<std::string>& FieldNames() {
  static const std::vector<std::string> names = [] {
    std::vector<std::string> all;
    for (const SettingsField& field : kSettingsFields) all.push_back(SnakeName(field.name));
    return all;
  }();
  return names;
}

const SettingsField* FieldNamed(const std::string& name) {
  for (std::size_t i = 0; i < kSettingsFieldCount; ++i) {
    if (FieldNames()[i] == name) return &kSettingsFields[i];
  }
  return nullptr;
}

const std::string& NameOf(const SettingsField& field) {
  return FieldNames()[static_cast<std::size_t>(&field - kSettingsFields)];
}

bool IsMedium(const SettingsField& field) {
  return field.offset == offsetof(StereogramSettings, ViewingMedium);
}

// The names of a coded field's values.
struct CodeNames {
  const CodeName* first;
  std::size_t count;
  const CodeName* begin() const { return first; }
  const CodeName* end() const { return first + count; }
};
CodeNames NamesOf(const SettingsField& field) {
  if (IsMedium(field)) return CodeNames{kMediumNames, std::size(kMediumNames)};
  return CodeNames{kRampNames, std::size(kRampNames)};
}

[[noreturn]] void WrongType(const SettingsField& field, const char* expected, py::handle value) {
  throw py::type_error(NameOf(field) + ": expected " + expected + ", got " + TypeName(value));
}

std::string Range(const SettingsField& field) {
  char text[64];
  std::snprintf(text, sizeof text, "%g..%g", field.minimum, field.maximum);
  return text;
}

[[noreturn]] void OutOfRange(const SettingsField& field, const std::string& shown) {
  throw py::value_error(NameOf(field) + ": " + shown + " is outside " + Range(field));
}

// An integer, from int or NumPy integers; never from bool or float, which would hide mistakes.
bool AsInteger(py::handle value, long long* integer) {
  if (PyBool_Check(value.ptr()) || PyFloat_Check(value.ptr())) return false;
  PyObject* index = PyNumber_Index(value.ptr());
  if (index == nullptr) {
    PyErr_Clear();
    return false;
  }
  int overflow = 0;
  *integer = PyLong_AsLongLongAndOverflow(index, &overflow);
  Py_DECREF(index);
  if (overflow != 0) *integer = overflow > 0 ? LLONG_MAX : LLONG_MIN;
  return true;
}

double RealValue(const SettingsField& field, py::handle value) {
  if (PyBool_Check(value.ptr()) || PyUnicode_Check(value.ptr()) || PyBytes_Check(value.ptr())) {
    WrongType(field, "a number", value);
  }
  const double real = PyFloat_AsDouble(value.ptr());
  if (real == -1.0 && PyErr_Occurred() != nullptr) {
    PyErr_Clear();
    WrongType(field, "a number", value);
  }
  if (!(real >= field.minimum && real <= field.maximum)) {
    OutOfRange(field, py::repr(value).cast<std::string>());
  }
  return real;
}

double IntegerValue(const SettingsField& field, py::handle value) {
  long long integer = 0;
  if (!AsInteger(value, &integer)) WrongType(field, "an integer", value);
  if (integer < field.minimum || integer > field.maximum) OutOfRange(field, std::to_string(integer));
  return static_cast<double>(integer);
}

double BooleanValue(const SettingsField& field, py::handle value) {
  if (PyBool_Check(value.ptr())) return value.ptr() == Py_True ? 1 : 0;
  if (TypeName(value) == "bool_") return PyObject_IsTrue(value.ptr()) == 1 ? 1 : 0;  // NumPy's
  long long integer = 0;
  if (!AsInteger(value, &integer)) WrongType(field, "True or False", value);
  if (integer != 0 && integer != 1) OutOfRange(field, std::to_string(integer));
  return static_cast<double>(integer);
}

// (r, g, b) with 0..255 each, or "RRGGBB" / "#RRGGBB", into a COLORREF (red in the low byte).
double ColourValue(const SettingsField& field, py::handle value) {
  const char* expected = "(r, g, b) or 'RRGGBB'";
  uint32_t channels[3] = {0, 0, 0};
  if (PyUnicode_Check(value.ptr())) {
    std::string hex = value.cast<std::string>();
    if (!hex.empty() && hex[0] == '#') hex.erase(0, 1);
    if (hex.size() != 6 || hex.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) {
      throw py::value_error(NameOf(field) + ": '" + value.cast<std::string>() +
                            "' is not RRGGBB in hexadecimal");
    }
    const unsigned long rgb = std::stoul(hex, nullptr, 16);
    channels[0] = (rgb >> 16) & 0xFF, channels[1] = (rgb >> 8) & 0xFF, channels[2] = rgb & 0xFF;
  } else {
    if (!PySequence_Check(value.ptr()) || PyBytes_Check(value.ptr())) {
      WrongType(field, expected, value);
    }
    const py::sequence sequence = py::reinterpret_borrow<py::sequence>(value);
    if (sequence.size() != 3) {
      throw py::value_error(NameOf(field) + ": expected 3 channels (r, g, b), got " +
                            std::to_string(sequence.size()));
    }
    for (std::size_t i = 0; i < 3; ++i) {
      long long channel = 0;
      if (!AsInteger(sequence[i], &channel)) WrongType(field, "integer channels 0..255", sequence[i]);
      if (channel < 0 || channel > 255) {
        throw py::value_error(NameOf(field) + ": channel " + std::to_string(channel) +
                              " is outside 0..255");
      }
      channels[i] = static_cast<uint32_t>(channel);
    }
  }
  return channels[0] | channels[1] << 8 | channels[2] << 16;
}

double CodeValue(const SettingsField& field, py::handle value) {
  const char* expected = IsMedium(field) ? "a medium name or code" : "'rgb', 'hsv' or the code";
  if (PyUnicode_Check(value.ptr())) {
    const std::string word = value.cast<std::string>();
    for (const CodeName& entry : NamesOf(field)) {
      if (word == entry.name) return entry.code;
    }
    std::string names;
    for (const CodeName& entry : NamesOf(field)) {
      names += std::string(names.empty() ? "" : ", ") + entry.name;
    }
    throw py::value_error(NameOf(field) + ": '" + word + "' is not one of " + names);
  }
  long long code = 0;
  if (!AsInteger(value, &code)) WrongType(field, expected, value);
  if (code < field.minimum || code > field.maximum) OutOfRange(field, std::to_string(code));
  return static_cast<double>(code);
}

void SetField(const SettingsField& field, StereogramSettings& record, py::handle value) {
  double stored = 0;
  switch (field.kind) {
    case FieldKind::kReal: stored = RealValue(field, value); break;
    case FieldKind::kInteger: stored = IntegerValue(field, value); break;
    case FieldKind::kBoolean: stored = BooleanValue(field, value); break;
    case FieldKind::kColour: stored = ColourValue(field, value); break;
    case FieldKind::kCode: stored = CodeValue(field, value); break;
  }
  SetFieldValue(record, field, stored);
}

// A field as Python shows it. Codes without a name (from a foreign block) show as numbers.
py::object FieldObject(const SettingsField& field, const StereogramSettings& record) {
  const double value = FieldValue(record, field);
  switch (field.kind) {
    case FieldKind::kReal: {
      // The shortest decimal that gives the stored float back: 0.4, not 0.4000000059604645.
      char text[32];
      const auto written = std::to_chars(text, text + sizeof text, static_cast<float>(value));
      return py::float_(std::strtod(std::string(text, written.ptr).c_str(), nullptr));
    }
    case FieldKind::kInteger: return py::int_(static_cast<int32_t>(value));
    case FieldKind::kBoolean: return py::bool_(value != 0);
    case FieldKind::kColour: {
      const uint32_t colour = static_cast<uint32_t>(value);
      return py::make_tuple(colour & 0xFF, (colour >> 8) & 0xFF, (colour >> 16) & 0xFF);
    }
    case FieldKind::kCode: {
      const int32_t code = static_cast<int32_t>(value);
      for (const CodeName& entry : NamesOf(field)) {
        if (entry.code == code) return py::str(entry.name);
      }
      return py::int_(code);
    }
  }
  return py::none();
}

std::string FieldDoc(const SettingsField& field) {
  std::string doc = std::string(field.name) + " in the stored record: ";
  switch (field.kind) {
    case FieldKind::kReal: doc += "a number in " + Range(field); break;
    case FieldKind::kInteger: doc += "an integer in " + Range(field); break;
    case FieldKind::kBoolean: doc += "True or False"; break;
    case FieldKind::kColour: doc += "(r, g, b), 0..255 each; also set from 'RRGGBB'"; break;
    case FieldKind::kCode: {
      doc += "one of";
      for (const CodeName& entry : NamesOf(field)) {
        doc += std::string(" '") + entry.name + "'";
      }
      doc += " (or the code " + Range(field) + ")";
      break;
    }
  }
  return doc;
}

void ApplyFields(StereogramSettings& record, const py::kwargs& fields, const char* caller) {
  for (const auto& item : fields) {
    const std::string name = py::str(item.first);
    const SettingsField* field = FieldNamed(name);
    if (field == nullptr) {
      throw py::type_error(std::string(caller) + "() got an unexpected keyword argument '" + name + "'");
    }
    SetField(*field, record, item.second);
  }
}

py::bytes ToBytes(const Settings& settings) {
  char block[kSettingsSize];
  SaveSettings(settings.record, block);
  return py::bytes(block, sizeof block);
}

Settings FromBytes(py::handle data) {
  Py_buffer view;
  if (PyObject_GetBuffer(data.ptr(), &view, PyBUF_SIMPLE) != 0) {
    PyErr_Clear();
    throw py::type_error("from_bytes: expected a bytes-like block, got " + TypeName(data));
  }
  const std::size_t size = static_cast<std::size_t>(view.len);
  Settings settings{DefaultSettings()};
  if (size == kSettingsSize) LoadSettings(settings.record, view.buf);
  PyBuffer_Release(&view);
  if (size != kSettingsSize) {
    throw py::value_error("from_bytes: a settings block is 56 bytes, not " + std::to_string(size));
  }
  return settings;
}

std::string Repr(const Settings& settings) {
  std::string text = "zavol.Settings(";
  for (const SettingsField& field : kSettingsFields) {
    if (&field != kSettingsFields) text += ", ";
    text += NameOf(field) + "=" + py::repr(FieldObject(field, settings.record)).cast<std::string>();
  }
  return text + ")";
}

}  // namespace

void BindSettings(py::module_& module) {
  py::class_<Settings> settings(module, "Settings", R"(The stereogram settings: the 56-byte record the plug-in's host stores.

Settings(**fields) starts from the defaults; every field is an attribute, checked when set
(TypeError or ValueError naming the field). to_bytes() and Settings.from_bytes(block) give and
take the stored block byte for byte.)");
  settings
      .def(py::init([](const py::kwargs& fields) {
        Settings made{DefaultSettings()};
        ApplyFields(made.record, fields, "Settings");
        return made;
      }))
      .def("to_bytes", &ToBytes, "The stored 56-byte block.")
      .def_static("from_bytes", &FromBytes, py::arg("block"),
                  "Settings from a stored 56-byte block, its values taken as they are.")
      .def("__eq__",
           [](const Settings& a, py::handle b) -> py::object {
             if (!py::isinstance<Settings>(b)) return py::reinterpret_borrow<py::object>(Py_NotImplemented);
             const Settings& other = b.cast<const Settings&>();
             return py::bool_(std::memcmp(&a.record, &other.record, kSettingsSize) == 0);
           })
      .def("__repr__", &Repr)
      .def("__copy__", [](const Settings& s) { return s; })
      .def("__deepcopy__", [](const Settings& s, py::handle) { return s; })
      .def(py::pickle([](const Settings& s) { return ToBytes(s); },
                      [](const py::bytes& block) { return FromBytes(block); }));
  settings.attr("__hash__") = py::none();  // mutable: equal settings may change apart
  for (const SettingsField& field : kSettingsFields) {
    const SettingsField* row = &field;
    settings.def_property(
        NameOf(field).c_str(), [row](const Settings& s) { return FieldObject(*row, s.record); },
        [row](Settings& s, py::handle value) { SetField(*row, s.record, value); },
        FieldDoc(field).c_str());
  }
}

StereogramSettings SettingsArgument(py::handle settings, const py::kwargs& overrides) {
  StereogramSettings record = DefaultSettings();
  if (!settings.is_none()) {
    if (!py::isinstance<Settings>(settings)) {
      throw py::type_error("settings: expected a zavol.Settings or None, got " + TypeName(settings));
    }
    record = settings.cast<const Settings&>().record;
  }
  ApplyFields(record, overrides, "render");
  return record;
}

}  // namespace zavol::python
