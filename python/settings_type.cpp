// zavol.Settings: one property per settings row of the library's field table, each value
// checked against the field's range when set. A stored block is taken and given back byte for
// byte, whatever its values: only what Python code assigns is checked.
#include "python/settings_type.h"

#include <charconv>
#include <climits>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "python/arrays.h"

namespace py = pybind11;

namespace zavol::python {
namespace {

// A settings row of the library's field table: its name there is the attribute's.
using Field = zavol_field_info;

// The settings rows, in record order; the table lives as long as the library.
const std::vector<int>& SettingsRows() {
  static const std::vector<int> rows = [] {
    std::vector<int> all;
    for (int i = 0; i < zavol_field_count(); ++i) {
      if (zavol_field(i)->place == ZAVOL_FIELD_SETTINGS) all.push_back(i);
    }
    return all;
  }();
  return rows;
}

const Field& Row(int index) { return *zavol_field(index); }

int RowNamed(const std::string& name) {
  for (int row : SettingsRows()) {
    if (name == Row(row).name) return row;
  }
  return -1;
}

std::string NameOf(const Field& field) { return field.name; }

// "near_object_depth" -> "NearObjectDepth", the field's name in the stored record.
std::string RecordName(const Field& field) {
  std::string name;
  bool upper = true;
  for (const char* c = field.name; *c != '\0'; ++c) {
    if (*c == '_') {
      upper = true;
      continue;
    }
    name += upper && *c >= 'a' && *c <= 'z' ? static_cast<char>(*c - 'a' + 'A') : *c;
    upper = false;
  }
  return name;
}

bool IsMedium(const Field& field) { return std::strcmp(field.name, "viewing_medium") == 0; }

[[noreturn]] void WrongType(const Field& field, const char* expected, py::handle value) {
  throw py::type_error(NameOf(field) + ": expected " + expected + ", got " + TypeName(value));
}

std::string Range(const Field& field) {
  char text[64];
  std::snprintf(text, sizeof text, "%g..%g", field.minimum, field.maximum);
  return text;
}

[[noreturn]] void OutOfRange(const Field& field, const std::string& shown) {
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

double RealValue(const Field& field, py::handle value) {
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

double IntegerValue(const Field& field, py::handle value) {
  long long integer = 0;
  if (!AsInteger(value, &integer)) WrongType(field, "an integer", value);
  if (integer < field.minimum || integer > field.maximum) OutOfRange(field, std::to_string(integer));
  return static_cast<double>(integer);
}

double BooleanValue(const Field& field, py::handle value) {
  if (PyBool_Check(value.ptr())) return value.ptr() == Py_True ? 1 : 0;
  if (TypeName(value) == "bool_") return PyObject_IsTrue(value.ptr()) == 1 ? 1 : 0;  // NumPy's
  long long integer = 0;
  if (!AsInteger(value, &integer)) WrongType(field, "True or False", value);
  if (integer != 0 && integer != 1) OutOfRange(field, std::to_string(integer));
  return static_cast<double>(integer);
}

// (r, g, b) with 0..255 each, or "RRGGBB" / "#RRGGBB", into a COLORREF (red in the low byte).
double ColourValue(const Field& field, py::handle value) {
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

double CodeValue(const Field& field, py::handle value) {
  const char* expected = IsMedium(field) ? "a medium name or code" : "'rgb', 'hsv' or the code";
  if (PyUnicode_Check(value.ptr())) {
    const std::string word = value.cast<std::string>();
    for (int i = 0; i < field.choice_count; ++i) {
      if (word == field.choice_words[i]) return field.choice_values[i];
    }
    std::string names;
    for (int i = 0; i < field.choice_count; ++i) {
      names += std::string(i == 0 ? "" : ", ") + field.choice_words[i];
    }
    throw py::value_error(NameOf(field) + ": '" + word + "' is not one of " + names);
  }
  long long code = 0;
  if (!AsInteger(value, &code)) WrongType(field, expected, value);
  if (code < field.minimum || code > field.maximum) OutOfRange(field, std::to_string(code));
  return static_cast<double>(code);
}

void SetField(int row, zavol_settings& record, py::handle value) {
  const Field& field = Row(row);
  double stored = 0;
  switch (field.type) {
    case ZAVOL_FIELD_REAL: stored = RealValue(field, value); break;
    case ZAVOL_FIELD_INTEGER: stored = IntegerValue(field, value); break;
    case ZAVOL_FIELD_BOOLEAN: stored = BooleanValue(field, value); break;
    case ZAVOL_FIELD_COLOUR: stored = ColourValue(field, value); break;
    default: stored = CodeValue(field, value); break;
  }
  // The checks above are the library's own ranges; what passes them is stored.
  if (zavol_field_set(&record, nullptr, row, stored) != ZAVOL_OK) {
    throw py::value_error(NameOf(field) + ": " + py::repr(value).cast<std::string>() +
                          " is refused by the library");
  }
}

// A field as Python shows it. Codes without a word (from a foreign block) show as numbers.
py::object FieldObject(int row, const zavol_settings& record) {
  const Field& field = Row(row);
  double value = 0;
  zavol_field_get(&record, nullptr, row, &value);
  switch (field.type) {
    case ZAVOL_FIELD_REAL: {
      // The shortest decimal that gives the stored float back: 0.4, not 0.4000000059604645.
      char text[32];
      const auto written = std::to_chars(text, text + sizeof text, static_cast<float>(value));
      return py::float_(std::strtod(std::string(text, written.ptr).c_str(), nullptr));
    }
    case ZAVOL_FIELD_INTEGER: return py::int_(static_cast<int32_t>(value));
    case ZAVOL_FIELD_BOOLEAN: return py::bool_(value != 0);
    case ZAVOL_FIELD_COLOUR: {
      const uint32_t colour = static_cast<uint32_t>(value);
      return py::make_tuple(colour & 0xFF, (colour >> 8) & 0xFF, (colour >> 16) & 0xFF);
    }
    default: {
      for (int i = 0; i < field.choice_count; ++i) {
        if (field.choice_values[i] == value) return py::str(field.choice_words[i]);
      }
      return py::int_(static_cast<int32_t>(value));
    }
  }
}

std::string FieldDoc(const Field& field) {
  std::string doc = RecordName(field) + " in the stored record: ";
  switch (field.type) {
    case ZAVOL_FIELD_REAL: doc += "a number in " + Range(field); break;
    case ZAVOL_FIELD_INTEGER: doc += "an integer in " + Range(field); break;
    case ZAVOL_FIELD_BOOLEAN: doc += "True or False"; break;
    case ZAVOL_FIELD_COLOUR: doc += "(r, g, b), 0..255 each; also set from 'RRGGBB'"; break;
    default: {
      doc += "one of";
      for (int i = 0; i < field.choice_count; ++i) {
        doc += std::string(" '") + field.choice_words[i] + "'";
      }
      doc += " (or the code " + Range(field) + ")";
      break;
    }
  }
  return doc;
}

void ApplyFields(zavol_settings& record, const py::kwargs& fields, const char* caller) {
  for (const auto& item : fields) {
    const std::string name = py::str(item.first);
    const int row = RowNamed(name);
    if (row < 0) {
      throw py::type_error(std::string(caller) + "() got an unexpected keyword argument '" + name + "'");
    }
    SetField(row, record, item.second);
  }
}

zavol_settings Defaults() {
  zavol_settings record;
  zavol_settings_default(&record);
  return record;
}

py::bytes ToBytes(const Settings& settings) {
  char block[ZAVOL_SETTINGS_BYTES];
  zavol_settings_to_bytes(&settings.record, block);
  return py::bytes(block, sizeof block);
}

Settings FromBytes(py::handle data) {
  Py_buffer view;
  if (PyObject_GetBuffer(data.ptr(), &view, PyBUF_SIMPLE) != 0) {
    PyErr_Clear();
    throw py::type_error("from_bytes: expected a bytes-like block, got " + TypeName(data));
  }
  const std::size_t size = static_cast<std::size_t>(view.len);
  Settings settings{Defaults()};
  const int status = zavol_settings_from_bytes(&settings.record, view.buf, size);
  PyBuffer_Release(&view);
  if (status != ZAVOL_OK) {
    throw py::value_error("from_bytes: a settings block is 56 bytes, not " + std::to_string(size));
  }
  return settings;
}

std::string Repr(const Settings& settings) {
  std::string text = "zavol.Settings(";
  for (int row : SettingsRows()) {
    if (row != SettingsRows().front()) text += ", ";
    text += NameOf(Row(row)) + "=" + py::repr(FieldObject(row, settings.record)).cast<std::string>();
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
        Settings made{Defaults()};
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
             return py::bool_(std::memcmp(&a.record, &other.record, sizeof a.record) == 0);
           })
      .def("__repr__", &Repr)
      .def("__copy__", [](const Settings& s) { return s; })
      .def("__deepcopy__", [](const Settings& s, py::handle) { return s; })
      .def(py::pickle([](const Settings& s) { return ToBytes(s); },
                      [](const py::bytes& block) { return FromBytes(block); }));
  settings.attr("__hash__") = py::none();  // mutable: equal settings may change apart
  for (int row : SettingsRows()) {
    settings.def_property(
        Row(row).name, [row](const Settings& s) { return FieldObject(row, s.record); },
        [row](Settings& s, py::handle value) { SetField(row, s.record, value); },
        FieldDoc(Row(row)).c_str());
  }
}

zavol_settings SettingsArgument(py::handle settings, const py::kwargs& overrides) {
  zavol_settings record = Defaults();
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
