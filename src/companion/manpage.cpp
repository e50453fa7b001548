#include "companion/manpage.h"

#include <algorithm>
#include <sstream>
#include <vector>

namespace qev::companion {

namespace {

// A named character \(xx in plain text.
std::string NamedCharacter(const std::string& name) {
  if (name == "bu") return "*";
  if (name == "em") return "--";
  if (name == "+-") return "+-";
  if (name == "mu") return "x";
  return "";
}

// The escapes of running text as plain text.
std::string Inline(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\' || i + 1 >= text.size()) {
      out += text[i];
      continue;
    }
    const char next = text[++i];
    if (next == 'f' && i + 1 < text.size()) {
      ++i;  // font changes show as nothing in plain text
    } else if (next == '(' && i + 2 < text.size()) {
      out += NamedCharacter(text.substr(i + 1, 2));
      i += 2;
    } else if (next == 'e') {
      out += '\\';
    } else if (next != '&') {  // \& is zero-width; \- \\ and the rest stand for themselves
      out += next;
    }
  }
  return out;
}

// The arguments of a request; the alternating-font requests (.BR, .IR, ...)
// join them without blanks ("qev" "(1)" -> "qev(1)").
std::string Arguments(const std::string& line) {
  const std::size_t space = line.find(' ');
  if (space == std::string::npos) return "";
  const std::string request = line.substr(1, space - 1);
  const bool alternating = request == "BR" || request == "RB" || request == "IR" ||
                           request == "RI" || request == "BI" || request == "IB";
  std::vector<std::string> words;
  std::string word;
  bool quoted = false;
  bool inWord = false;
  for (char c : line.substr(space + 1)) {
    if (c == '"') {
      quoted = !quoted;
      inWord = true;
    } else if (c == ' ' && !quoted) {
      if (inWord) words.push_back(word);
      word.clear();
      inWord = false;
    } else {
      word += c;
      inWord = true;
    }
  }
  if (inWord) words.push_back(word);
  std::string out;
  for (const std::string& w : words) out += (out.empty() || alternating ? "" : " ") + w;
  return Inline(out);
}

}  // namespace

namespace {

// The page as plain text, request by request: running text filled to 78
// columns, indented 7 under a heading and 11 under a tag, 4 more in each
// .RS block.
class ManPageRenderer {
 public:
  void Line(const std::string& line) {
    if (line.rfind(".\\\"", 0) == 0 || line.rfind("'\\\"", 0) == 0) return;  // comments
    if (!line.empty() && line[0] == '.') {
      const std::size_t space = line.find(' ');
      Request(line.substr(1, space == std::string::npos ? std::string::npos : space - 1), line);
    } else {
      Text(Inline(line));
    }
  }

  std::string Finish() {
    Flush();
    return out_.str();
  }

 private:
  void Request(const std::string& request, const std::string& line) {
    if (request == "SH" || request == "SS") {
      Flush();
      out_ << "\n" << std::string(request == "SS" ? 2 : 0, ' ') << Arguments(line) << "\n";
      indent_ = 7;
      extraIndent_ = 0;
    } else if (request == "PP" || request == "LP" || request == "P") {
      Flush();
      out_ << "\n";
      indent_ = 7;
    } else if (request == "TP") {
      Flush();
      out_ << "\n";
      tagPending_ = true;
    } else if (request == "IP") {
      Flush();
      out_ << "\n";
      const std::string tag = Arguments(line);
      if (!tag.empty()) out_ << Margin(7 + extraIndent_) << tag << "\n";
      indent_ = 11;
    } else if (request == "RS" || request == "RE") {
      Flush();
      extraIndent_ = request == "RS" ? extraIndent_ + 4 : std::max(extraIndent_ - 4, 0);
    } else if (request == "nf" || request == "br") {
      Flush();
      fill_ = fill_ && request == "br";
    } else if (request == "fi") {
      fill_ = true;
    } else if (request == "B" || request == "I" || request == "BR" || request == "IR" ||
               request == "BI") {
      Words(Arguments(line));
    }
  }

  // Font requests: their words join the running text, or are the tag.
  void Words(const std::string& words) {
    if (tagPending_) {
      Tag(words);
    } else {
      paragraph_ += (paragraph_.empty() ? "" : " ") + words;
    }
  }

  void Text(const std::string& text) {
    if (tagPending_) {
      Tag(text);
    } else if (!fill_) {
      out_ << Margin(indent_ + extraIndent_) << text << "\n";
    } else if (text.empty()) {
      Flush();
      out_ << "\n";
    } else {
      paragraph_ += (paragraph_.empty() ? "" : " ") + text;
    }
  }

  void Tag(const std::string& text) {
    out_ << Margin(7 + extraIndent_) << text << "\n";
    tagPending_ = false;
    indent_ = 11;
  }

  static std::string Margin(int columns) {
    return std::string(static_cast<std::size_t>(columns), ' ');
  }

  // The running text so far, filled to 78 columns.
  void Flush() {
    if (paragraph_.empty()) return;
    std::istringstream words(paragraph_);
    std::string word;
    std::string current = Margin(indent_ + extraIndent_);
    const std::size_t base = current.size();
    for (bool first = true; words >> word; first = false) {
      if (!first && current.size() + 1 + word.size() > 78) {
        out_ << current << "\n";
        current.assign(base, ' ');
        first = true;
      }
      if (current.size() > base) current += ' ';
      current += word;
    }
    if (current.size() > base) out_ << current << "\n";
    paragraph_.clear();
  }

  std::ostringstream out_;
  int indent_ = 0;       // of running text
  int extraIndent_ = 0;  // .RS blocks
  bool fill_ = true;
  bool tagPending_ = false;
  std::string paragraph_;
};

}  // namespace

std::string RenderManPage(const std::string& source) {
  std::istringstream in(source);
  ManPageRenderer page;
  for (std::string line; std::getline(in, line);) page.Line(line);
  return page.Finish();
}

}  // namespace qev::companion
