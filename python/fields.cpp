// zavol.fields(): the C interface's field table (every setting and viewing option with its
// label, help, range, default and words) as plain dicts, so that forms built in Python (the
// Blender add-on's panel, for one) never copy a range or a word list. Depends on pybind11 and
// libzavol/zavol.h.
#include "python/fields.h"

#include <string>

#include "libzavol/zavol.h"

namespace py = pybind11;

namespace zavol::python {
namespace {

const char* TypeWord(int type) {
  switch (type) {
    case ZAVOL_FIELD_REAL: return "real";
    case ZAVOL_FIELD_INTEGER: return "integer";
    case ZAVOL_FIELD_BOOLEAN: return "boolean";
    case ZAVOL_FIELD_COLOUR: return "colour";
    case ZAVOL_FIELD_CHOICE: return "choice";
    default: return "unknown";
  }
}

const char* PlaceWord(int place) {
  switch (place) {
    case ZAVOL_FIELD_SETTINGS: return "settings";
    case ZAVOL_FIELD_OPTIONS: return "options";
    case ZAVOL_FIELD_INPUT: return "input";
    default: return "unknown";
  }
}

py::object Text(const char* text) { return text != nullptr ? py::str(text) : py::str(""); }

py::list Fields() {
  py::list fields;
  const int count = zavol_field_count();
  for (int index = 0; index < count; ++index) {
    const zavol_field_info* field = zavol_field(index);
    if (field == nullptr) continue;
    py::dict entry;
    entry["name"] = Text(field->name);
    entry["option"] = Text(field->option);
    entry["label"] = Text(field->label);
    entry["description"] = Text(field->description);
    entry["type"] = TypeWord(field->type);
    entry["place"] = PlaceWord(field->place);
    entry["default"] = field->default_value;
    entry["minimum"] = field->minimum;
    entry["maximum"] = field->maximum;
    entry["step"] = field->step;
    py::list words, values;
    for (int i = 0; i < field->choice_count; ++i) {
      words.append(Text(field->choice_words[i]));
      values.append(field->choice_values[i]);
    }
    entry["choices"] = py::tuple(words);
    entry["choice_values"] = py::tuple(values);
    fields.append(entry);
  }
  return fields;
}

}  // namespace

void BindFields(py::module_& module) {
  module.def("fields", &Fields,
             R"(Every setting, viewing option and depth input the engine takes, in the table's order, as
dicts: name (the keyword zavol.render takes), option (the tool's flag without '--'), label,
description, type ('real', 'integer', 'boolean', 'colour' as 0xBBGGRR, 'choice'), place
('settings', 'options' or 'input'), default, minimum, maximum, step (0: none natural),
choices (the words, for 'choice') and choice_values (the stored values of those words).)");
}

}  // namespace zavol::python
