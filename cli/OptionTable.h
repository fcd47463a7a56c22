#pragma once
// The option table of the command-line tool. Every command declares its arguments and options
// once, through TCommandOptions; the parser (CLI11), the usage lines, the help and the messages
// of a bad command line are all made from those declarations.

#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

namespace CLI {
class App;
class Option;
}  // namespace CLI

// A bad command line found once the options are parsed (a missing --yes, an event that is not
// on the card): the tool prints the reason with the command's usage and exits with 2.
class TUsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// What a command runs once its command line is parsed. It may throw TUsageError.
using TCommandBody = std::function<int(std::ostream& out, std::ostream& err)>;

// One declared argument or option, as the usage line and the help show it.
struct TOptionEntry {
  CLI::Option* Option = nullptr;
  std::string Name;       // "CARD", "--to"
  std::string ValueName;  // "DIR"; empty for a flag and for an argument
  std::string Help;
  bool Argument = false;  // positional
  bool Required = false;  // shown without brackets in the usage line
  bool Repeated = false;  // may be given more than once

  std::string Usage() const { return ValueName.empty() ? Name : Name + " " + ValueName; }
};

// The declarations of one command.
class TCommandOptions {
 public:
  explicit TCommandOptions(CLI::App& command);

  // The positional argument NAME, required.
  void Argument(const std::string& name, std::string& target);
  // The positional arguments NAME..., one or more (or any number, none included, when not
  // required: the command checks what stands in their place).
  void Arguments(const std::string& name, std::vector<std::string>& target, bool required = true);
  // The positional argument NAME, which may be left out (target keeps its value then).
  void OptionalArgument(const std::string& name, std::string& target);
  // --name, without value.
  void Flag(const std::string& name, bool& target, const std::string& help);
  // A flag the command refuses to run without (--yes): shown without brackets in the usage, and
  // checked by the command, which says why it is needed.
  void Confirmation(const std::string& name, bool& target, const std::string& help);
  // --name VALUE; the last one given counts. A required option missing is a bad usage.
  void Value(const std::string& name, const std::string& valueName, std::string& target,
             const std::string& help, bool required = false);
  // --name VALUE, any number of times, each adding one value.
  void Repeated(const std::string& name, const std::string& valueName,
                std::vector<std::string>& target, const std::string& help);
  // --name VALUE read by `parse`; a value it rejects is a bad usage "NAME needs NEEDS, not 'V'".
  template <typename T>
  void Parsed(const std::string& name, const std::string& valueName, std::optional<T>& target,
              const std::string& help, const std::string& needs,
              std::function<std::optional<T>(const std::string&)> parse) {
    ParsedText(name, valueName, help, needs, [&target, parse](const std::string& text) {
      target = parse(text);
      return target.has_value();
    });
  }

  const std::vector<TOptionEntry>& Entries() const { return Declared; }

 private:
  void ParsedText(const std::string& name, const std::string& valueName, const std::string& help,
                  const std::string& needs, std::function<bool(const std::string&)> read);
  TOptionEntry& Add(CLI::Option* option, const std::string& name, const std::string& help);

  CLI::App& Command;
  std::vector<TOptionEntry> Declared;
};

// What the help says of a command.
struct TCommandText {
  std::string Name;
  std::string Summary;     // its line in the tool's help
  std::string Help;        // its help, before the options
  std::string Notes = {};  // its help, after the options: what it prints (may be empty)
  std::string Success;     // when the exit code is 0: "when the card was erased"
  std::string Exit3 = {};  // when the exit code is 3, for a command that has one
};

// A command of the tool: its texts and its declarations.
struct TCliCommand {
  TCommandText Text;
  // Declares the command's arguments and options and returns what runs once they are parsed.
  std::function<TCommandBody(TCommandOptions& options)> Declare;
};

// Runs one command line of `commands` (args without the program name): parses it, prints the
// help, the version or a bad usage, or runs the command. Exit codes: 0 success, 1 failure,
// 2 bad usage.
int RunCommandLine(const std::vector<TCliCommand>& commands, const std::vector<std::string>& args,
                   std::ostream& out, std::ostream& err);

// A command whose parsed command line is a TLine: `declare` binds the options to a line's
// members, `run` is the body that reads them.
template <typename TLine>
TCliCommand MakeCommand(TCommandText text, std::function<void(TCommandOptions&, TLine&)> declare,
                        std::function<int(const TLine&, std::ostream&, std::ostream&)> run) {
  return {std::move(text), [declare, run](TCommandOptions& options) -> TCommandBody {
            auto line = std::make_shared<TLine>();
            declare(options, *line);
            return
                [line, run](std::ostream& out, std::ostream& err) { return run(*line, out, err); };
          }};
}
