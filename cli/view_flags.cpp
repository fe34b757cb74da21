// The viewing options as command-line flags, each made from its row of the field table (name,
// range or choice words, default, help), so the tool offers what the library and every other
// face offer; CLI11 checks every word and range, so Options() only translates.
#include "cli/view_flags.h"

#include <CLI/CLI.hpp>

#include "cli/tool.h"
#include "render/field_table.h"

namespace zavol::cli {
namespace {

const FieldInfo& Field(const char* name) {
  return FieldAt(static_cast<std::size_t>(FindField(name)));
}

// The field's words joined by sep.
std::string Words(const FieldInfo& field, const char* sep) {
  std::string words;
  for (int i = 0; i < field.choiceCount; ++i) words += (i ? sep : "") + std::string(field.choiceWords[i]);
  return words;
}

// A word flag: one of the field's choice words; not given, the field's default.
void AddChoice(CLI::App& app, const char* name, std::string& word, const std::string& group) {
  const FieldInfo& field = Field(name);
  std::vector<std::string> words(field.choiceWords, field.choiceWords + field.choiceCount);
  const std::string description = std::string(field.description) + " (default " +
                                  ChoiceWord(field, field.defaultValue) + ")";
  app.add_option(std::string("--") + field.option, word, description)
      ->check(CLI::IsMember(words))
      ->type_name(Words(field, "|"))
      ->group(group);
}

// A whole number within the field's range.
void AddNumber(CLI::App& app, const char* name, int& number, const std::string& group) {
  const FieldInfo& field = Field(name);
  number = static_cast<int>(field.defaultValue);
  app.add_option(std::string("--") + field.option, number, field.description)
      ->check(NumberWithin(field.minimum, field.maximum))
      ->type_name("N")
      ->capture_default_str()
      ->group(group);
}

// The value of a choice word, or the field's default for a word not given.
int ChoiceOf(const char* name, const std::string& word) {
  const FieldInfo& field = Field(name);
  int value = static_cast<int>(field.defaultValue);
  if (!word.empty()) ChoiceValue(field, word.c_str(), &value);
  return value;
}

}  // namespace

ViewOptions ViewFlags::Options() const {
  ViewOptions options;
  options.dots = static_cast<DotSource>(ChoiceOf("dots", dots));
  options.dotSize = dotSize;
  options.anchor = static_cast<Anchor>(ChoiceOf("anchor", anchor));
  options.view = static_cast<ViewDirection>(ChoiceOf("view", view));
  options.oversample = oversample;
  options.linking = static_cast<Linking>(ChoiceOf("linking", linking));
  return options;
}

void AddViewFlags(CLI::App& app, ViewFlags& flags) {
  const std::string group = "Viewing options (beyond the plug-in; the defaults are its pixels)";
  AddChoice(app, "dots", flags.dots, group);
  AddNumber(app, "dot_size", flags.dotSize, group);
  AddChoice(app, "anchor", flags.anchor, group);
  AddChoice(app, "view", flags.view, group);
  AddNumber(app, "oversample", flags.oversample, group);
  AddChoice(app, "linking", flags.linking, group);
}

}  // namespace zavol::cli
