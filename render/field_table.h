// Every value a face of the engine lets its user set: the fourteen fields of the settings record,
// the options of a frame (screen, seed, viewing options, threads) and how depth is read. Each row
// holds the names, type, range, default, choice words and one line of help, so the tool's flags,
// the library's field list, the Python checks and the forms of other faces all read one table.
// Portable; standard library only.
#pragma once

#include <cstddef>

#include "render/settings_schema.h"

namespace zavol {

enum class FieldType {
  kReal,     // any number within the range (a float in the record)
  kInteger,  // whole numbers within the range
  kBoolean,  // 0 or 1
  kColour,   // 0xBBGGRR: red in the lowest byte, as the record stores it
  kChoice,   // one of choiceCount stored values, each with a word
};

enum class FieldPlace {
  kSettings,  // a field of the record (the 56-byte block)
  kOptions,   // an option of the frame, beside the record
  kInput,     // how the depth's numbers are read, applied before the engine sees them
};

struct FieldInfo {
  const char* name;         // snake_case, e.g. "near_object_depth", "dot_size"
  const char* option;       // the tool's option without "--", e.g. "near-object-depth", "medium"
  const char* label;        // a short title for a form
  const char* description;  // one line
  FieldType type;
  FieldPlace place;
  double defaultValue, minimum, maximum;
  double step;  // a natural increment for a spinner or slider; 0 where there is none
  int choiceCount;
  const char* const* choiceWords;  // choiceCount words, or null
  const int* choiceValues;         // the value each word stands for, or null
  const SettingsField* record;     // the record's row for kSettings fields, else null
};

std::size_t FieldCount();
// Row index, 0 <= index < FieldCount().
const FieldInfo& FieldAt(std::size_t index);
// The row whose name or option is `word` (either spelling); -1 when there is none.
int FindField(const char* word);

// Whether value may be stored in the field: finite, within the range, a whole number where the
// type wants one, one of the choices' values for a choice.
bool FieldAccepts(const FieldInfo& field, double value);
// The value a choice word stands for; false when word is none of the field's words.
bool ChoiceValue(const FieldInfo& field, const char* word, int* value);
// The word for a stored choice value, or null.
const char* ChoiceWord(const FieldInfo& field, double value);

}  // namespace zavol
