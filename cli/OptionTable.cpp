#include "cli/OptionTable.h"

#include <CLI/CLI.hpp>
#include <algorithm>

#include "platform/IoError.h"

namespace {

const char* const ToolName = "readtarq-cli";
const char* const ToolHelp = "Reads the flash cards of TarqProbe recorders.";
const char* const CardNote =
    "CARD is a drive letter with its colon (e:) or a directory that holds the card files.";
const size_t LineWidth = 92;

// A bad command line, as the parser or the options report it.
class TBadLine : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The words of `text` in lines of at most `width` characters, every line after the first
// starting with `indent` spaces; a line break in `text` starts a new line.
std::string Wrapped(const std::string& text, size_t width, size_t indent, size_t used = 0) {
  std::string result;
  size_t column = used;
  bool lineStart = true;
  size_t at = 0;
  while (at < text.size()) {
    if (text[at] == '\n') {
      result += "\n" + std::string(indent, ' ');
      column = indent;
      lineStart = true;
      ++at;
      continue;
    }
    if (text[at] == ' ') {
      ++at;
      continue;
    }
    size_t end = text.find_first_of(" \n", at);
    if (end == std::string::npos) end = text.size();
    const std::string word = text.substr(at, end - at);
    if (!lineStart && column + 1 + word.size() > width) {
      result += "\n" + std::string(indent, ' ');
      column = indent;
      lineStart = true;
    }
    if (!lineStart) {
      result += ' ';
      ++column;
    }
    result += word;
    column += word.size();
    lineStart = false;
    at = end;
  }
  return result;
}

struct TDeclaredCommand {
  const TCommandText* Text;
  std::unique_ptr<TCommandOptions> Options;
  TCommandBody Body;
};

std::string UsageLine(const TDeclaredCommand& command) {
  std::string usage = std::string("Usage: ") + ToolName + " " + command.Text->Name;
  for (const TOptionEntry& entry : command.Options->Entries()) {
    std::string item = entry.Required ? entry.Usage() : "[" + entry.Usage() + "]";
    if (entry.Repeated) item += "...";
    // An option and its value stay on one line.
    std::replace(item.begin(), item.end(), ' ', '\x01');
    usage += " " + item;
  }
  usage = Wrapped(usage, LineWidth, 9);
  std::replace(usage.begin(), usage.end(), '\x01', ' ');
  return usage + "\n";
}

bool TakesCard(const TDeclaredCommand& command) {
  const auto& entries = command.Options->Entries();
  return std::any_of(entries.begin(), entries.end(),
                     [](const TOptionEntry& e) { return e.Argument && e.Name == "CARD"; });
}

std::string CommandHelp(const TDeclaredCommand& command) {
  std::string help = UsageLine(command) + "\n" + Wrapped(command.Text->Help, LineWidth, 0) + "\n";
  size_t width = 0;
  for (const TOptionEntry& entry : command.Options->Entries()) {
    if (!entry.Argument) width = std::max(width, entry.Usage().size());
  }
  width = std::min<size_t>(width, 16);
  std::string options;
  for (const TOptionEntry& entry : command.Options->Entries()) {
    if (entry.Argument) continue;
    std::string line = "  " + entry.Usage();
    line += std::string(entry.Usage().size() < width ? width - entry.Usage().size() + 2 : 2, ' ');
    options += line + Wrapped(entry.Help, LineWidth, width + 4, line.size()) + "\n";
  }
  if (!options.empty()) help += "\n" + options;
  if (!command.Text->Notes.empty()) {
    help += "\n" + Wrapped(command.Text->Notes, LineWidth, 0) + "\n";
  }
  if (command.Text->Exit3.empty()) {
    help += "\nExit code 0 " + command.Text->Success + ", 1 otherwise, 2 for bad usage.\n";
  } else {
    help += "\n" +
            Wrapped("Exit code 0 " + command.Text->Success + ", 3 " + command.Text->Exit3 +
                        ", 1 otherwise, 2 for bad usage.",
                    LineWidth, 0) +
            "\n";
  }
  if (TakesCard(command)) help += std::string("\n") + CardNote + "\n";
  return help;
}

std::string ToolUsage(const std::vector<TDeclaredCommand>& commands) {
  std::string usage =
      std::string("Usage: ") + ToolName + " COMMAND [OPTIONS]\n\n" + ToolHelp + "\n\nCommands:\n";
  for (const TDeclaredCommand& command : commands) {
    const std::string& name = command.Text->Name;
    usage += "  " + name + std::string(name.size() < 12 ? 12 - name.size() : 1, ' ') +
             command.Text->Summary + "\n";
  }
  usage += std::string("\n") + CardNote + "\n" + "Run '" + ToolName +
           " COMMAND --help' for the options of a command.\n" + "'" + ToolName +
           " --version' prints the version.\n";
  return usage;
}

// The reason of a parse error, in the words of the declarations. CLI11 names the option at
// the start of its message ("--to: 1 required DIR missing", "restore was given a disallowed
// flag override") and keeps the state of the parse, which tells a missing requirement.
std::string Reason(const CLI::ParseError& error, const TCommandOptions& options) {
  const std::string what = error.what();
  for (const TOptionEntry& entry : options.Entries()) {
    if (entry.Argument) continue;
    const std::string bare = entry.Name.substr(2);
    for (const std::string& name : {entry.Name, bare}) {
      if (what.rfind(name + " ", 0) != 0 && what.rfind(name + ":", 0) != 0) continue;
      if (dynamic_cast<const CLI::ArgumentMismatch*>(&error)) {
        return entry.ValueName.empty() ? "option " + entry.Name + " takes no value"
                                       : entry.Name + " needs a value";
      }
    }
  }
  if (dynamic_cast<const CLI::RequiredError*>(&error)) {
    for (const TOptionEntry& entry : options.Entries()) {
      if (entry.Option->get_required() && entry.Option->count() == 0) {
        return entry.Usage() + " is missing";
      }
    }
  }
  return what;
}

// What is left once the command's options are taken: an unknown option or a surplus argument.
std::optional<std::string> Leftover(const CLI::App& tool) {
  const std::vector<std::string> left = tool.remaining(true);
  if (left.empty()) return std::nullopt;
  const std::string& arg = left.front();
  if (arg.size() > 1 && arg[0] == '-') {
    return "unknown option '" + arg.substr(0, arg.find('=')) + "'";
  }
  return "unexpected argument '" + arg + "'";
}

// CLI11 reads "--name=" as "--name" alone, which then takes the next argument for its value,
// and it lets a flag take "=true". Before it parses, "--name=" of an option that takes a value
// becomes "--name" and an empty argument, and a flag given a value is a bad usage.
std::optional<std::string> WithEmptyValuesApart(const std::vector<std::string>& args,
                                                const TCommandOptions& options,
                                                std::vector<std::string>& line) {
  bool valueNext = false;
  bool onlyArguments = false;
  for (const std::string& arg : args) {
    if (valueNext || onlyArguments || arg.rfind("--", 0) != 0) {
      valueNext = false;
      line.push_back(arg);
      continue;
    }
    onlyArguments = arg == "--";
    const size_t equals = arg.find('=');
    const std::string name = arg.substr(0, equals);
    const auto& entries = options.Entries();
    const auto entry = std::find_if(entries.begin(), entries.end(), [&](const TOptionEntry& e) {
      return !e.Argument && e.Name == name;
    });
    const bool declared = entry != entries.end();
    if (declared && entry->ValueName.empty() && equals != std::string::npos) {
      return "option " + name + " takes no value";
    }
    if (declared && equals == arg.size() - 1) {
      line.push_back(name);
      line.emplace_back();
      continue;
    }
    valueNext = declared && !entry->ValueName.empty() && equals == std::string::npos;
    line.push_back(arg);
  }
  return std::nullopt;
}

int BadUsage(const TDeclaredCommand& command, const std::string& reason, std::ostream& err) {
  err << ToolName << " " << command.Text->Name << ": " << reason << "\n"
      << UsageLine(command) << "Run '" << ToolName << " " << command.Text->Name
      << " --help' for more.\n";
  return 2;
}

}  // namespace

TCommandOptions::TCommandOptions(CLI::App& command) : Command(command) {}

TOptionEntry& TCommandOptions::Add(CLI::Option* option, const std::string& name,
                                   const std::string& help) {
  TOptionEntry entry;
  entry.Option = option;
  entry.Name = name;
  entry.Help = help;
  Declared.push_back(entry);
  return Declared.back();
}

void TCommandOptions::Argument(const std::string& name, std::string& target) {
  TOptionEntry& entry = Add(Command.add_option(name, target)->required(), name, "");
  entry.Argument = true;
  entry.Required = true;
}

void TCommandOptions::Arguments(const std::string& name, std::vector<std::string>& target,
                                bool required) {
  TOptionEntry& entry = Add(Command.add_option(name, target)->required(required), name, "");
  entry.Argument = true;
  entry.Required = required;
  entry.Repeated = true;
}

void TCommandOptions::OptionalArgument(const std::string& name, std::string& target) {
  Add(Command.add_option(name, target), name, "").Argument = true;
}

void TCommandOptions::Flag(const std::string& name, bool& target, const std::string& help) {
  Add(Command.add_flag(name, target, help)->disable_flag_override(), name, help);
}

void TCommandOptions::Confirmation(const std::string& name, bool& target, const std::string& help) {
  Flag(name, target, help);
  Declared.back().Required = true;
}

void TCommandOptions::Value(const std::string& name, const std::string& valueName,
                            std::string& target, const std::string& help, bool required) {
  CLI::Option* option = Command.add_option(name, target, help)
                            ->type_name(valueName)
                            ->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
  if (required) option->required();
  TOptionEntry& entry = Add(option, name, help);
  entry.ValueName = valueName;
  entry.Required = required;
}

void TCommandOptions::Repeated(const std::string& name, const std::string& valueName,
                               std::vector<std::string>& target, const std::string& help) {
  CLI::Option* option = Command.add_option(name, target, help)
                            ->type_name(valueName)
                            ->allow_extra_args(false)
                            ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
  TOptionEntry& entry = Add(option, name, help);
  entry.ValueName = valueName;
  entry.Repeated = true;
}

void TCommandOptions::ParsedText(const std::string& name, const std::string& valueName,
                                 const std::string& help, const std::string& needs,
                                 std::function<bool(const std::string&)> read) {
  CLI::Option* option =
      Command
          .add_option_function<std::string>(
              name,
              [name, needs, read](const std::string& text) {
                if (!read(text)) throw TBadLine(name + " needs " + needs + ", not '" + text + "'");
              },
              help)
          ->type_name(valueName)
          ->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
  TOptionEntry& entry = Add(option, name, help);
  entry.ValueName = valueName;
}

int RunCommandLine(const std::vector<TCliCommand>& commands, const std::vector<std::string>& args,
                   std::ostream& out, std::ostream& err) {
  CLI::App tool(ToolHelp, ToolName);
  tool.set_help_flag();
  // One command per line: after it, the names of the others are arguments like any other.
  tool.require_subcommand(1);
  tool.allow_extras();
  std::vector<TDeclaredCommand> declared;
  declared.reserve(commands.size());
  for (const TCliCommand& command : commands) {
    CLI::App* app = tool.add_subcommand(command.Text.Name, command.Text.Summary);
    app->set_help_flag("-h,--help");
    app->allow_extras();
    auto options = std::make_unique<TCommandOptions>(*app);
    TCommandBody body = command.Declare(*options);
    declared.push_back({&command.Text, std::move(options), std::move(body)});
  }

  if (args.empty()) {
    err << ToolUsage(declared);
    return 2;
  }
  const std::string& name = args[0];
  if (name == "--help" || name == "-h" || name == "help") {
    out << ToolUsage(declared);
    return 0;
  }
  if (name == "--version") {
    out << ToolName << " " << READTARQ_VERSION_TEXT << "\n";
    return 0;
  }
  const auto command = std::find_if(declared.begin(), declared.end(),
                                    [&](const auto& c) { return c.Text->Name == name; });
  if (command == declared.end()) {
    err << ToolName << ": unknown command '" << name << "'\n"
        << "Run '" << ToolName << " --help' for the list of commands.\n";
    return 2;
  }

  std::vector<std::string> line;
  if (auto reason = WithEmptyValuesApart(args, *command->Options, line)) {
    return BadUsage(*command, *reason, err);
  }
  // CLI11 takes the arguments last first.
  std::vector<std::string> reversed(line.rbegin(), line.rend());
  try {
    tool.parse(reversed);
  } catch (const CLI::CallForHelp&) {
    out << CommandHelp(*command);
    return 0;
  } catch (const CLI::ParseError& e) {
    return BadUsage(*command, Reason(e, *command->Options), err);
  } catch (const TBadLine& e) {
    return BadUsage(*command, e.what(), err);
  }
  if (auto reason = Leftover(tool)) return BadUsage(*command, *reason, err);
  try {
    return command->Body(out, err);
  } catch (const TUsageError& e) {
    return BadUsage(*command, e.what(), err);
  } catch (const platform::ECloseError& e) {
    // What was written to the file may be lost: the command fails, whatever it was doing.
    err << e.what() << "\n";
    return 1;
  }
}
