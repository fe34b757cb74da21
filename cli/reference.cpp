// Man pages and bash, zsh and fish completions from the CLI11 definitions of the commands.
#include "cli/reference.h"

#include <CLI/CLI.hpp>

#include <cctype>
#include <fstream>
#include <set>
#include <sstream>
#include <vector>

namespace zavol::cli {
namespace {

// One option as every output needs it.
struct OptionEntry {
  std::vector<std::string> longNames;   // without the dashes
  std::vector<std::string> shortNames;  // without the dash
  std::string metavar;                  // FORMAT, N, ...; empty for a flag
  std::string checks;                   // what the validators accept ("in 0 to 9")
  std::vector<std::string> choices;     // the accepted words, when the option takes only those
  std::string description;
  std::string defaultText;
  std::string group;
  bool file = false;  // the value is a path
};

struct PositionalEntry {
  std::string name;
  std::string description;
  bool required = false;
};

struct CommandEntry {
  std::string name;  // empty for the program itself
  std::string description;
  std::string footer;
  std::vector<OptionEntry> options;
  std::vector<PositionalEntry> positionals;
};

// Type names whose values are paths; anything else (numbers, names, sizes) is not completed
// from the file system.
const std::set<std::string> kPathTypes = {"TEXT", "FILE", "PATH", "DIR", "IMAGE", "BLOCK", "PICTURE"};

std::vector<std::string> SplitChoices(const std::string& text) {
  // CLI11 describes a set of accepted values as {a,b,c}.
  std::vector<std::string> words;
  std::string word;
  for (char c : text.substr(1, text.size() - 2)) {
    if (c == ',') {
      words.push_back(word);
      word.clear();
    } else if (c != ' ') {
      word += c;
    }
  }
  if (!word.empty()) words.push_back(word);
  return words;
}

OptionEntry DescribeOption(const CLI::Option& option) {
  OptionEntry entry;
  entry.longNames = option.get_lnames();
  entry.shortNames = option.get_snames();
  entry.description = option.get_description();
  entry.group = option.get_group();
  if (option.get_items_expected_max() == 0) return entry;  // a flag
  // "FORMAT:{png,pam}" or "N:in 0 to 9": the value's name, then each validator's description.
  std::stringstream parts(option.get_type_name());
  std::getline(parts, entry.metavar, ':');
  std::string part;
  while (std::getline(parts, part, ':')) {
    if (part.size() > 2 && part.front() == '{' && part.back() == '}') {
      entry.choices = SplitChoices(part);
    } else if (!part.empty()) {
      entry.checks += (entry.checks.empty() ? "" : "; ") + part;
    }
  }
  if (entry.metavar.empty()) entry.metavar = "VALUE";
  entry.file = entry.choices.empty() && kPathTypes.count(entry.metavar) != 0;
  entry.defaultText = option.get_default_str();
  return entry;
}

CommandEntry DescribeCommand(const CLI::App& app, const std::string& name) {
  CommandEntry entry;
  entry.name = name;
  entry.description = app.get_description();
  entry.footer = app.get_footer();
  for (const CLI::Option* option : app.get_options()) {
    if (option->get_group().empty()) continue;  // hidden
    if (option->get_positional() && option->get_lnames().empty() && option->get_snames().empty()) {
      entry.positionals.push_back({option->get_name(true), option->get_description(), option->get_required()});
    } else {
      entry.options.push_back(DescribeOption(*option));
    }
  }
  return entry;
}

std::vector<CommandEntry> DescribeCommands(const CLI::App& app) {
  std::vector<CommandEntry> commands;
  for (const CLI::App* command : app.get_subcommands([](const CLI::App* c) { return !c->get_group().empty(); })) {
    commands.push_back(DescribeCommand(*command, command->get_name()));
  }
  return commands;
}

std::string FirstLine(const std::string& text) { return text.substr(0, text.find('\n')); }

// Text for roff: backslashes and dashes escaped, no line starting with a control character.
std::string Roff(const std::string& text) {
  std::string out;
  bool lineStart = true;
  for (char c : text) {
    if (lineStart && (c == '.' || c == '\'')) out += "\\&";
    if (c == '\\') {
      out += "\\e";
    } else if (c == '-') {
      out += "\\-";
    } else {
      out += c;
    }
    lineStart = c == '\n';
  }
  return out;
}

// Paragraphs: CLI11 texts break lines where the help output should; a blank line is a new
// paragraph.
std::string RoffParagraphs(const std::string& text) {
  std::string out;
  std::stringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    out += line.empty() ? ".PP\n" : Roff(line) + "\n";
  }
  return out;
}

std::string OptionNamesRoff(const OptionEntry& option) {
  std::string text;
  for (const std::string& s : option.shortNames) text += (text.empty() ? "" : ", ") + ("\\fB\\-" + Roff(s) + "\\fR");
  for (const std::string& l : option.longNames) text += (text.empty() ? "" : ", ") + ("\\fB\\-\\-" + Roff(l) + "\\fR");
  if (!option.metavar.empty()) text += " \\fI" + Roff(option.metavar) + "\\fR";
  return text;
}

std::string Upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

// The manual's one-line summary: the description up to its first full stop, colon or
// semicolon, without the program's name in front.
std::string Summary(const std::string& description, const std::string& program) {
  std::string line = description;
  for (char& c : line) c = c == '\n' ? ' ' : c;
  for (const char* end : {". ", ": ", "; "}) {
    const std::size_t at = line.find(end);
    if (at != std::string::npos) line.resize(at);
  }
  if (!line.empty() && line.back() == '.') line.pop_back();
  if (line.compare(0, program.size() + 1, program + " ") == 0) line.erase(0, program.size() + 1);
  if (!line.empty()) line[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(line[0])));
  return line;
}

std::string OptionsRoff(const CommandEntry& command) {
  std::string out;
  if (!command.positionals.empty()) {
    out += ".SH ARGUMENTS\n";
    for (const PositionalEntry& p : command.positionals) {
      out += ".TP\n\\fI" + Roff(p.name) + "\\fR\n" + Roff(p.description) + "\n";
    }
  }
  if (command.options.empty()) return out;
  out += ".SH OPTIONS\n";
  std::vector<std::string> groups;
  for (const OptionEntry& o : command.options) {
    bool known = false;
    for (const std::string& g : groups) known = known || g == o.group;
    if (!known) groups.push_back(o.group);
  }
  for (const std::string& group : groups) {
    if (groups.size() > 1) out += ".SS " + Roff(group) + "\n";
    for (const OptionEntry& o : command.options) {
      if (o.group != group) continue;
      out += ".TP\n" + OptionNamesRoff(o) + "\n" + Roff(o.description);
      if (!o.choices.empty()) {
        std::string words;
        for (const std::string& c : o.choices) words += (words.empty() ? "" : ", ") + c;
        out += " (one of: " + Roff(words) + ")";
      }
      if (!o.checks.empty()) out += " (" + Roff(o.checks) + ")";
      if (!o.defaultText.empty()) out += " Default: " + Roff(o.defaultText) + ".";
      out += "\n";
    }
  }
  return out;
}

std::string ManHeader(const std::string& page, const std::string& program, const std::string& version) {
  return ".\\\" Written by " + program + " " + kReferenceCommand + " from the tool's own options.\n"
         ".TH " + Upper(page) + " 1 \"\" \"" + program + " " + version + "\" \"User Commands\"\n";
}

std::string ProgramPage(const CommandEntry& top, const std::vector<CommandEntry>& commands,
                        const std::string& program, const std::string& version) {
  std::string out = ManHeader(program, program, version);
  out += ".SH NAME\n" + program + " \\- " + Roff(Summary(top.description, program)) + "\n";
  out += ".SH SYNOPSIS\n\\fB" + program + "\\fR \\fICOMMAND\\fR [\\fIOPTIONS\\fR] [\\fIARGUMENTS\\fR]\n.br\n\\fB" +
         program + "\\fR \\fBhelp\\fR [\\fICOMMAND\\fR]\n";
  out += ".SH DESCRIPTION\n" + RoffParagraphs(top.description);
  out += ".SH COMMANDS\n";
  for (const CommandEntry& c : commands) {
    const bool paged = c.name != "help";
    out += ".TP\n\\fB" + Roff(c.name) + "\\fR\n" + Roff(c.description);
    if (paged) out += ". See \\fB" + program + "\\-" + Roff(c.name) + "\\fR(1).";
    out += "\n";
  }
  out += OptionsRoff(top);
  if (!top.footer.empty()) out += ".SH NOTES\n" + RoffParagraphs(top.footer);
  out += ".SH SEE ALSO\n";
  std::string seeAlso;
  for (const CommandEntry& c : commands) {
    if (c.name == "help") continue;
    seeAlso += (seeAlso.empty() ? "" : ",\n") + ("\\fB" + program + "\\-" + Roff(c.name) + "\\fR(1)");
  }
  return out + seeAlso + "\n";
}

std::string CommandPage(const CommandEntry& c, const std::string& program, const std::string& version) {
  const std::string page = program + "-" + c.name;
  std::string out = ManHeader(page, program, version);
  out += ".SH NAME\n" + Roff(page) + " \\- " + Roff(Summary(c.description, program)) + "\n";
  out += ".SH SYNOPSIS\n\\fB" + program + " " + Roff(c.name) + "\\fR";
  if (!c.options.empty()) out += " [\\fIOPTIONS\\fR]";
  for (const PositionalEntry& p : c.positionals) {
    out += p.required ? " \\fI" + Roff(p.name) + "\\fR" : " [\\fI" + Roff(p.name) + "\\fR]";
  }
  out += "\n.SH DESCRIPTION\n" + RoffParagraphs(c.description);
  out += OptionsRoff(c);
  if (!c.footer.empty()) out += ".SH NOTES\n" + RoffParagraphs(c.footer);
  out += ".SH SEE ALSO\n\\fB" + program + "\\fR(1)\n";
  return out;
}

std::string Words(const std::vector<std::string>& words) {
  std::string text;
  for (const std::string& w : words) text += (text.empty() ? "" : " ") + w;
  return text;
}

std::vector<std::string> Spellings(const OptionEntry& o) {
  std::vector<std::string> names;
  for (const std::string& l : o.longNames) names.push_back("--" + l);
  for (const std::string& s : o.shortNames) names.push_back("-" + s);
  return names;
}

// A description on one line, shortened, for the shells' option lists.
std::string Brief(const std::string& description) {
  std::string line = FirstLine(description);
  const std::size_t cut = line.find("; ");
  if (cut != std::string::npos && cut > 20) line.resize(cut);
  if (line.size() > 90) line = line.substr(0, 87) + "...";
  return line;
}

std::string ShellQuoted(const std::string& text) {
  std::string out = "'";
  for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

std::string BashScript(const std::vector<CommandEntry>& all, const std::string& program) {
  const std::string fn = "_" + program + "_complete";
  std::vector<std::string> names;
  for (std::size_t i = 1; i < all.size(); ++i) names.push_back(all[i].name);
  std::string out = "# bash completion for " + program + ", written by " + program + " " + kReferenceCommand +
                    " from the tool's own options.\n";
  out += fn + "() {\n"
         "  local cur prev words cword\n"
         "  if declare -F _init_completion >/dev/null; then\n"
         "    _init_completion || return\n"
         "  else\n"
         "    words=(\"${COMP_WORDS[@]}\"); cword=$COMP_CWORD\n"
         "    cur=${COMP_WORDS[COMP_CWORD]}; prev=${COMP_WORDS[COMP_CWORD-1]}\n"
         "  fi\n"
         "  local commands=" + ShellQuoted(Words(names)) + "\n"
         "  local command='' i\n"
         "  for ((i = 1; i < cword; i++)); do\n"
         "    if [[ \" $commands \" == *\" ${words[i]} \"* ]]; then command=${words[i]}; break; fi\n"
         "  done\n"
         "  local options='' files='' others='' choices=''\n"
         "  case $command in\n";
  for (const CommandEntry& c : all) {
    std::vector<std::string> options, files, others;
    std::string choices;
    for (const OptionEntry& o : c.options) {
      for (const std::string& n : Spellings(o)) {
        options.push_back(n);
        if (o.metavar.empty()) continue;
        (o.file ? files : others).push_back(n);
        if (!o.choices.empty()) choices += "      " + n + ") choices=" + ShellQuoted(Words(o.choices)) + " ;;\n";
      }
    }
    out += "    " + (c.name.empty() ? std::string("''") : c.name) + ")\n";
    out += "      options=" + ShellQuoted(Words(options)) + "\n";
    out += "      files=" + ShellQuoted(Words(files)) + "\n";
    out += "      others=" + ShellQuoted(Words(others)) + "\n";
    if (!choices.empty()) out += "      case $prev in\n" + choices + "      esac\n";
    out += "      ;;\n";
  }
  out += "  esac\n"
         "  if [[ -n $choices ]]; then\n"
         "    mapfile -t COMPREPLY < <(compgen -W \"$choices\" -- \"$cur\"); return\n"
         "  fi\n"
         "  if [[ \" $files \" == *\" $prev \"* ]] && [[ -n $prev ]]; then\n"
         "    if declare -F _filedir >/dev/null; then _filedir; else mapfile -t COMPREPLY < <(compgen -f -- \"$cur\"); fi\n"
         "    return\n"
         "  fi\n"
         "  if [[ \" $others \" == *\" $prev \"* ]] && [[ -n $prev ]]; then return; fi\n"
         "  if [[ $cur == -* ]]; then\n"
         "    mapfile -t COMPREPLY < <(compgen -W \"$options\" -- \"$cur\"); return\n"
         "  fi\n"
         "  if [[ -z $command || $command == help ]]; then\n"
         "    mapfile -t COMPREPLY < <(compgen -W \"$commands\" -- \"$cur\"); return\n"
         "  fi\n"
         "  if declare -F _filedir >/dev/null; then _filedir; else mapfile -t COMPREPLY < <(compgen -f -- \"$cur\"); fi\n"
         "}\n"
         "complete -F " + fn + " " + program + "\n";
  return out;
}

// Text inside a zsh _arguments description: brackets and colons would end it.
std::string ZshText(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '[' || c == ']' || c == ':' || c == '\\') out += '\\';
    out += c;
  }
  return out;
}

std::string ZshArgument(const OptionEntry& o) {
  const std::vector<std::string> names = Spellings(o);
  std::string action;
  if (!o.metavar.empty()) {
    action = ":" + ZshText(o.metavar) + ":";
    if (!o.choices.empty()) {
      action += "(" + Words(o.choices) + ")";
    } else if (o.file) {
      action += "_files";
    } else {
      action += " ";
    }
  }
  const std::string brief = "[" + ZshText(Brief(o.description)) + "]";
  // One spelling: --name[...]:X:action; several: (-o --output){-o,--output}[...]...
  if (names.size() == 1) return ShellQuoted(names[0] + (o.metavar.empty() || names[0].size() == 2 ? "" : "=") + brief + action);
  std::string group = "(" + Words(names) + ")", list;
  for (const std::string& n : names) list += (list.empty() ? "" : ",") + n;
  return ShellQuoted(group) + "{" + list + "}" + ShellQuoted(brief + action);
}

std::string ZshScript(const std::vector<CommandEntry>& all, const std::string& program) {
  std::string out = "#compdef " + program + "\n# zsh completion for " + program + ", written by " + program +
                    " " + kReferenceCommand + " from the tool's own options.\n";
  const std::string fn = "_" + program;
  out += fn + "() {\n  local curcontext=$curcontext state line\n  local -a commands\n  commands=(\n";
  for (std::size_t i = 1; i < all.size(); ++i) {
    out += "    " + ShellQuoted(all[i].name + ":" + ZshText(Brief(all[i].description))) + "\n";
  }
  out += "  )\n  _arguments -C \\\n";
  for (const OptionEntry& o : all[0].options) out += "    " + ZshArgument(o) + " \\\n";
  out += "    '1: :->command' '*:: :->arguments'\n"
         "  case $state in\n"
         "    command) _describe -t commands '" + program + " command' commands ;;\n"
         "    arguments)\n"
         "      case $words[1] in\n";
  for (std::size_t i = 1; i < all.size(); ++i) {
    const CommandEntry& c = all[i];
    out += "        " + c.name + ")\n          _arguments \\\n";
    for (const OptionEntry& o : c.options) out += "            " + ZshArgument(o) + " \\\n";
    if (c.name == "help") {
      out += "            '1: :->command'\n          [[ $state == command ]] && _describe -t commands '" + program +
             " command' commands\n          ;;\n";
      continue;
    }
    std::string positional = "            '*:file:_files'";
    for (const PositionalEntry& p : c.positionals) {
      positional = "            " + ShellQuoted("1:" + ZshText(p.name) + ":_files");
    }
    out += positional + "\n          ;;\n";
  }
  out += "      esac\n      ;;\n  esac\n}\n" + fn + " \"$@\"\n";
  return out;
}

std::string FishScript(const std::vector<CommandEntry>& all, const std::string& program) {
  std::string out = "# fish completion for " + program + ", written by " + program + " " + kReferenceCommand +
                    " from the tool's own options.\n";
  std::vector<std::string> names;
  for (std::size_t i = 1; i < all.size(); ++i) names.push_back(all[i].name);
  out += "complete -c " + program + " -f\n";
  for (std::size_t i = 1; i < all.size(); ++i) {
    out += "complete -c " + program + " -n __fish_use_subcommand -a " + all[i].name + " -d " +
           ShellQuoted(Brief(all[i].description)) + "\n";
  }
  for (const CommandEntry& c : all) {
    const std::string condition =
        c.name.empty() ? "__fish_use_subcommand" : "'__fish_seen_subcommand_from " + c.name + "'";
    if (c.name == "help") {
      out += "complete -c " + program + " -n " + condition + " -a " + ShellQuoted(Words(names)) + "\n";
    } else if (!c.positionals.empty()) {
      out += "complete -c " + program + " -n " + condition + " -F\n";
    }
    for (const OptionEntry& o : c.options) {
      std::string line = "complete -c " + program + " -n " + condition;
      for (const std::string& l : o.longNames) line += " -l " + l;
      for (const std::string& s : o.shortNames) line += (s.size() == 1 ? " -s " : " -o ") + s;
      if (!o.metavar.empty()) {
        if (!o.choices.empty()) {
          line += " -x -a " + ShellQuoted(Words(o.choices));
        } else if (o.file) {
          line += " -r -F";
        } else {
          line += " -x";
        }
      }
      out += line + " -d " + ShellQuoted(Brief(o.description)) + "\n";
    }
  }
  return out;
}

std::string Write(const std::string& path, const std::string& text) {
  std::ofstream file(path, std::ios::binary);
  file << text;
  file.close();
  return file ? std::string() : "cannot write " + path;
}

}  // namespace

std::string WriteReference(const CLI::App& app, const std::string& program, const std::string& version,
                           const std::string& folder) {
  std::vector<CommandEntry> all = {DescribeCommand(app, "")};
  const std::vector<CommandEntry> commands = DescribeCommands(app);
  all.insert(all.end(), commands.begin(), commands.end());
  std::vector<std::pair<std::string, std::string>> files = {
      {program + ".1", ProgramPage(all[0], commands, program, version)},
      {program + ".bash", BashScript(all, program)},
      {"_" + program, ZshScript(all, program)},
      {program + ".fish", FishScript(all, program)}};
  for (const CommandEntry& c : commands) {
    if (c.name != "help") files.push_back({program + "-" + c.name + ".1", CommandPage(c, program, version)});
  }
  for (const auto& [name, text] : files) {
    if (std::string failure = Write(folder + "/" + name, text); !failure.empty()) return failure;
  }
  return {};
}

}  // namespace zavol::cli
