#include "console/textio.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <system_error>

#include "console/stop.h"

namespace qev {

namespace {

// A file name answer holds at most this many characters when asked for again.
constexpr std::size_t kLongFileName = 260;

CalendarDate LocalToday() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  return CalendarDate{local.tm_mday, local.tm_mon + 1, local.tm_year + 1900};
}

}  // namespace

TextIo::TextIo(std::istream& consoleIn, std::ostream& consoleOut, std::vector<std::string> args,
               std::filesystem::path baseDir, std::function<CalendarDate()> today)
    : sink_(consoleOut),
      console_(consoleIn, "console input", false),
      args_(std::move(args)),
      baseDir_(std::move(baseDir)),
      today_(today ? std::move(today) : std::function<CalendarDate()>(LocalToday)) {}

ReadOutcome TextIo::ReadConsole(const std::vector<Target>& targets) {
  sink_.EndConsoleLine();
  return FreeFormatRead(console_, targets, false);
}

void TextIo::ReadConsoleLine(std::string& text, std::size_t length) {
  sink_.EndConsoleLine();
  LineRead(console_, text, length);
}

std::string TextIo::ResolveFileName(const std::string& answer, int unit) {
  std::string name = TrimTrailingBlanks(answer);
  if (name.find_first_not_of(' ') != std::string::npos) return name;
  // A blank name: the next unused command-line argument, else ask.
  while (nextArg_ < args_.size()) {
    name = TrimTrailingBlanks(args_[nextArg_++]);
    if (name.find_first_not_of(' ') != std::string::npos) return name;
  }
  for (;;) {
    sink_.List(Dest::Console, {std::string("File name missing or blank - please enter file name")});
    sink_.Format(Dest::Console, "(' UNIT ',I1,'? ')", {static_cast<std::int32_t>(unit)});
    ReadConsoleLine(name, kLongFileName);
    name = TrimTrailingBlanks(name);
    if (name.find_first_not_of(' ') != std::string::npos) return name;
  }
}

std::filesystem::path TextIo::Resolve(const std::string& name) const {
  const std::filesystem::path path(name);
  return path.is_absolute() ? path : baseDir_ / path;
}

void TextIo::OpenOutputFile(const std::string& answer) {
  const std::string name = ResolveFileName(answer, 9);
  const std::filesystem::path path = Resolve(name);
  const std::optional<FileIdentity> existing = RegularFileOf(path);
  const char* refusal = nullptr;
  if (existing && existing == standard_.input) {
    refusal = " it is the program's standard input (the answers)";
  } else if (existing && existing == standard_.output) {
    refusal = " it is the program's standard output (the screens)";
  }
  if (refusal != nullptr) {
    StopWithMessage({"",
                     " ERROR: cannot create or rewrite the output file '" + ShownName(name) + "'",
                     refusal, ""});
  }
  sink_.OpenOutputFile(path.string(), ShownName(name));
}

CatalogStream TextIo::OpenCatalogFile(const std::string& answer) {
  const std::string name = ResolveFileName(answer, 2);
  const std::filesystem::path path = Resolve(name);
  // Opened without waiting, so that a pipe without writer cannot block.
  const int descriptor = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  struct stat status {};
  const char* reason = nullptr;
  if (descriptor < 0 || ::fstat(descriptor, &status) != 0) {
    reason = " the file does not exist or cannot be read";
  } else if (S_ISDIR(status.st_mode)) {
    reason = " it is a directory, not a file";
  } else if (!S_ISREG(status.st_mode)) {
    reason = " it is not a regular file but a device, a pipe or a socket";
  } else if (sink_.IsOutputFile(*RegularFileOf(descriptor))) {
    reason = " it is the output file of this session, which its report would replace";
  }
  if (reason != nullptr) {
    if (descriptor >= 0) ::close(descriptor);
    StopWithMessage({"", " *************************************************",
                     " ERROR: cannot open catalog file '" + ShownName(name) + "'", reason,
                     " *************************************************", ""});
  }
  ::fcntl(descriptor, F_SETFL, ::fcntl(descriptor, F_GETFL) & ~O_NONBLOCK);
  catalogs_.push_back(*RegularFileOf(descriptor));
  return CatalogStream{std::make_unique<InputFile>(descriptor),
                       "catalog file '" + ShownName(name) + "'"};
}

std::vector<FileIdentity> TextIo::Inputs() const {
  std::vector<FileIdentity> inputs = catalogs_;
  if (standard_.input) inputs.push_back(*standard_.input);
  return inputs;
}

CalendarDate TextIo::Today() const { return today_(); }

}  // namespace qev
