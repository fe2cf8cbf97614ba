#include "headless/ini_text.h"

#include <cstddef>
#include <vector>

#include "platform/ascii.h"

namespace tavoro::platform::headless {
namespace {

constexpr std::string_view kNewLine = "\r\n";
constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsSpace(s.front()))
    s.remove_prefix(1);
  while (!s.empty() && IsSpace(s.back()))
    s.remove_suffix(1);
  return s;
}

enum class LineKind { Blank, Section, Key };

// One line of the file as the profile functions see it. `begin`/`end` delimit the line in
// the text without its '\n'; `has_newline` tells whether one follows.
struct Line {
  std::size_t begin = 0;
  std::size_t end = 0;
  bool has_newline = false;
  LineKind kind = LineKind::Blank;
  std::string_view name;  // section or key name
  std::optional<std::string_view> value;
};

Line ParseLine(std::string_view text, std::size_t begin, std::size_t end, bool has_newline) {
  Line line;
  line.begin = begin;
  line.end = end;
  line.has_newline = has_newline;
  std::string_view content = Trim(text.substr(begin, end - begin));
  if (begin == 0 && content.starts_with(kUtf8Bom))
    content = Trim(content.substr(kUtf8Bom.size()));
  if (content.empty())
    return line;

  if (content.front() == '[') {
    // The name runs to the last ']'; a header without one is read as an ordinary line.
    const std::size_t close = content.rfind(']');
    if (close != std::string_view::npos) {
      line.kind = LineKind::Section;
      line.name = content.substr(1, close - 1);
      return line;
    }
  }
  line.kind = LineKind::Key;
  const std::size_t equals = content.find('=');
  if (equals == std::string_view::npos) {
    line.name = content;
  } else {
    line.name = Trim(content.substr(0, equals));
    line.value = Trim(content.substr(equals + 1));
  }
  return line;
}

std::vector<Line> SplitLines(std::string_view text) {
  std::vector<Line> lines;
  std::size_t begin = 0;
  while (begin < text.size()) {
    const std::size_t newline = text.find('\n', begin);
    const bool has_newline = newline != std::string_view::npos;
    const std::size_t end = has_newline ? newline : text.size();
    lines.push_back(ParseLine(text, begin, end, has_newline));
    begin = has_newline ? end + 1 : end;
  }
  return lines;
}

std::string_view StripQuotes(std::string_view value) {
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
      value.back() == value.front()) {
    return value.substr(1, value.size() - 2);
  }
  return value;
}

// Where `key` of `section` stands. Only the first section of a name is searched; lines before
// the first header form a section with the empty name.
struct Location {
  bool section_found = false;
  std::size_t first = 0;  // first line of the section's body
  std::size_t end = 0;    // first line after the section
  std::optional<std::size_t> key;
};

Location Locate(const std::vector<Line>& lines, std::string_view section, std::string_view key) {
  Location where;
  if (section.empty()) {
    where.section_found = true;
  } else {
    for (std::size_t i = 0; i < lines.size(); ++i) {
      if (lines[i].kind == LineKind::Section && EqualsIgnoringAsciiCase(lines[i].name, section)) {
        where.section_found = true;
        where.first = i + 1;
        break;
      }
    }
    if (!where.section_found)
      return where;
  }
  std::size_t i = where.first;
  for (; i < lines.size() && lines[i].kind != LineKind::Section; ++i) {
    if (!where.key && lines[i].kind == LineKind::Key &&
        EqualsIgnoringAsciiCase(lines[i].name, key)) {
      where.key = i;
    }
  }
  where.end = i;
  return where;
}

}  // namespace

std::optional<std::string> FindProfileValue(std::string_view text, std::string_view section,
                                            std::string_view key) {
  const std::vector<Line> lines = SplitLines(text);
  const Location where = Locate(lines, section, key);
  if (!where.key || !lines[*where.key].value)
    return std::nullopt;
  return std::string(StripQuotes(*lines[*where.key].value));
}

std::string SetProfileValue(std::string_view text, std::string_view section, std::string_view key,
                            std::string_view value) {
  const std::vector<Line> lines = SplitLines(text);
  const Location where = Locate(lines, section, key);
  std::string result;
  result.reserve(text.size() + section.size() + key.size() + value.size() + 8);

  if (where.key) {
    // Rewritten in place under the name as the file spells it; the line keeps its ending.
    const Line& line = lines[*where.key];
    result.append(text.substr(0, line.begin));
    if (line.begin == 0 && text.starts_with(kUtf8Bom))
      result.append(kUtf8Bom);
    result.append(line.name).append("=").append(value);
    const std::string_view rest = text.substr(line.end);
    if (line.end > line.begin && text[line.end - 1] == '\r')
      result.append("\r");
    result.append(rest);
    return result;
  }

  const auto append_key_line = [&] {
    result.append(key).append("=").append(value).append(kNewLine);
  };
  if (where.section_found) {
    // After the section's last entry, so blank lines between sections stay between; a section
    // with no line at all (the unnamed one of an empty file) starts the file.
    std::optional<std::size_t> last;
    if (where.first > 0)
      last = where.first - 1;
    for (std::size_t i = where.first; i < where.end; ++i) {
      if (lines[i].kind != LineKind::Blank)
        last = i;
    }
    std::size_t insert_at = 0;
    bool needs_newline = false;
    if (last) {
      const Line& line = lines[*last];
      insert_at = line.has_newline ? line.end + 1 : line.end;
      needs_newline = !line.has_newline;
    } else if (text.starts_with(kUtf8Bom)) {
      insert_at = kUtf8Bom.size();
    }
    result.append(text.substr(0, insert_at));
    if (needs_newline)
      result.append(kNewLine);
    append_key_line();
    result.append(text.substr(insert_at));
    return result;
  }

  result.append(text);
  if (!result.empty() && result.back() != '\n')
    result.append(kNewLine);
  result.append("[").append(section).append("]").append(kNewLine);
  append_key_line();
  return result;
}

}  // namespace tavoro::platform::headless
