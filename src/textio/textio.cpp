#include "textio/textio.h"

#include <system_error>

#include "textio/stop.h"

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
  sink_.OpenOutputFile(Resolve(name).string(), name);
}

CatalogStream TextIo::OpenCatalogFile(const std::string& answer) {
  const std::string name = ResolveFileName(answer, 2);
  const std::filesystem::path path = Resolve(name);
  std::error_code error;
  const bool isDirectory = std::filesystem::is_directory(path, error);
  auto stream = std::make_unique<std::ifstream>();
  if (!isDirectory) stream->open(path, std::ios::in | std::ios::binary);
  if (isDirectory || !stream->is_open()) {
    StopWithMessage({"", " *************************************************",
                     " ERROR: cannot open catalog file '" + name + "'",
                     isDirectory ? std::string(" it is a directory, not a file")
                                 : std::string(" the file does not exist or cannot be read"),
                     " *************************************************", ""});
  }
  return CatalogStream{std::move(stream), "catalog file '" + name + "'"};
}

CalendarDate TextIo::Today() const { return today_(); }

}  // namespace qev
