#include "companion/manpage.h"

#include <sstream>
#include <vector>

namespace qev::companion {

namespace {

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
    } else if (next == '-') {
      out += '-';
    } else if (next == 'e' || next == '\\') {
      out += '\\';
    } else if (next == '&') {
      // zero-width
    } else if (next == '(' && i + 2 < text.size()) {
      const std::string name = text.substr(i + 1, 2);
      i += 2;
      out += name == "bu"
                 ? "*"
                 : (name == "em" ? "--" : (name == "+-" ? "+-" : (name == "mu" ? "x" : "")));
    } else {
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

std::string RenderManPage(const std::string& source) {
  std::ostringstream out;
  std::istringstream in(source);
  std::string line;
  int indent = 0;       // of running text
  int extraIndent = 0;  // .RS blocks
  bool fill = true;
  bool tagPending = false;
  std::string paragraph;
  auto flush = [&]() {
    if (paragraph.empty()) return;
    // Fill to 78 columns.
    std::istringstream words(paragraph);
    std::string word;
    std::string current(static_cast<std::size_t>(indent + extraIndent), ' ');
    const std::size_t base = current.size();
    for (bool first = true; words >> word; first = false) {
      if (!first && current.size() + 1 + word.size() > 78) {
        out << current << "\n";
        current.assign(base, ' ');
        first = true;
      }
      if (current.size() > base) current += ' ';
      current += word;
    }
    if (current.size() > base) out << current << "\n";
    paragraph.clear();
  };
  while (std::getline(in, line)) {
    if (line.rfind(".\\\"", 0) == 0 || line.rfind("'\\\"", 0) == 0) continue;
    if (!line.empty() && line[0] == '.') {
      const std::string request = line.substr(
          1, line.find(' ') == std::string::npos ? std::string::npos : line.find(' ') - 1);
      if (request == "TH") {
        continue;
      } else if (request == "SH" || request == "SS") {
        flush();
        out << "\n" << std::string(request == "SS" ? 2 : 0, ' ') << Arguments(line) << "\n";
        indent = 7;
        extraIndent = 0;
      } else if (request == "PP" || request == "LP" || request == "P") {
        flush();
        out << "\n";
        indent = 7;
      } else if (request == "TP") {
        flush();
        out << "\n";
        tagPending = true;
      } else if (request == "IP") {
        flush();
        out << "\n";
        const std::string tag = Arguments(line);
        indent = 7;
        if (!tag.empty())
          out << std::string(static_cast<std::size_t>(indent + extraIndent), ' ') << tag << "\n";
        indent = 11;
      } else if (request == "RS") {
        flush();
        extraIndent += 4;
      } else if (request == "RE") {
        flush();
        extraIndent = extraIndent >= 4 ? extraIndent - 4 : 0;
      } else if (request == "nf") {
        flush();
        fill = false;
      } else if (request == "fi") {
        fill = true;
      } else if (request == "br") {
        flush();
      } else if (request == "B" || request == "I" || request == "BR" || request == "IR" ||
                 request == "BI") {
        if (tagPending) {
          out << std::string(7 + static_cast<std::size_t>(extraIndent), ' ') << Arguments(line)
              << "\n";
          tagPending = false;
          indent = 11;
        } else {
          paragraph += (paragraph.empty() ? "" : " ") + Arguments(line);
        }
      }
      continue;
    }
    const std::string text = Inline(line);
    if (tagPending) {
      out << std::string(7 + static_cast<std::size_t>(extraIndent), ' ') << text << "\n";
      tagPending = false;
      indent = 11;
    } else if (!fill) {
      out << std::string(static_cast<std::size_t>(indent + extraIndent), ' ') << text << "\n";
    } else if (text.empty()) {
      flush();
      out << "\n";
    } else {
      paragraph += (paragraph.empty() ? "" : " ") + text;
    }
  }
  flush();
  return out.str();
}

}  // namespace qev::companion
