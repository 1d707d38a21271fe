#include "config/key_depth.h"

#include <vector>

namespace qs {
namespace {

bool is_blank(char c) {
  return c == ' ' || c == '\t' || c == '\r';
}

// Everything the parser could take as part of a bare key (it accepts more than ASCII).
bool is_bare_key_char(char c) {
  switch (c) {
    case ' ':
    case '\t':
    case '\r':
    case '\n':
    case '=':
    case '.':
    case '[':
    case ']':
    case '{':
    case '}':
    case ',':
    case '#':
    case '"':
    case '\'':
      return false;
    default:
      return true;
  }
}

bool ends_scalar(char c) {
  return is_blank(c) || c == '\n' || c == ',' || c == ']' || c == '}' || c == '#';
}

// From an opening quote to just after the closing one: basic and literal strings, single-line
// and multi-line. An unterminated string ends at its line (single-line) or at the end.
std::size_t skip_string(std::string_view text, std::size_t i) {
  const char quote = text[i];
  const bool basic = quote == '"';
  const std::string_view triple = basic ? R"(""")" : "'''";
  if (text.substr(i, 3) == triple) {
    for (i += 3; i < text.size();) {
      if (basic && text[i] == '\\') {
        i += 2;
      } else if (text.substr(i, 3) == triple) {
        // Further quotes (""""a"""" holds a") are passed over after the value like any junk.
        return i + 3;
      } else {
        ++i;
      }
    }
    return text.size();
  }
  for (++i; i < text.size() && text[i] != '\n';) {
    if (basic && text[i] == '\\') {
      i += 2;
    } else if (text[i] == quote) {
      return i + 1;
    } else {
      ++i;
    }
  }
  return std::min(i, text.size());
}

struct Key {
  std::size_t end = 0;
  std::size_t segments = 0;
  std::optional<std::size_t> too_deep;  // offset of the first segment beyond the bound
};

// A dotted key from `i` whose first segment lies one level below `base`.
Key scan_key(std::string_view text, std::size_t i, std::size_t base) {
  Key key;
  for (;;) {
    while (i < text.size() && is_blank(text[i]))
      ++i;
    const std::size_t start = i;
    if (i < text.size() && (text[i] == '"' || text[i] == '\'')) {
      i = skip_string(text, i);
    } else {
      while (i < text.size() && is_bare_key_char(text[i]))
        ++i;
    }
    if (i == start) break;
    if (base + ++key.segments > kMaxKeyDepth) {
      key.too_deep = start;
      break;
    }
    while (i < text.size() && is_blank(text[i]))
      ++i;
    if (i >= text.size() || text[i] != '.') break;
    ++i;
  }
  key.end = i;
  return key;
}

}  // namespace

std::optional<TooDeepKey> first_key_too_deep(std::string_view text) {
  enum class Expect { LineStart, Key, Value, AfterValue };
  struct Container {
    bool inline_table;
    std::size_t depth;  // keys from the root to the array or inline table
  };
  std::vector<Container> open;  // the arrays and inline tables around the current place
  std::size_t table_depth = 0;  // keys of the last table header
  std::size_t value_depth = 0;  // keys from the root to the value about to come
  Expect expect = Expect::LineStart;

  // A plain key where the deep one began, then what closes everything open around it, the
  // innermost first.
  const auto too_deep = [&](std::size_t key, std::string_view header_end = {}) {
    std::string completion = "x";
    completion.append(header_end.empty() ? std::string_view(" = 0") : header_end);
    for (auto it = open.rbegin(); it != open.rend(); ++it)
      completion += it->inline_table ? '}' : ']';
    return TooDeepKey{key, completion + "\n"};
  };
  // A key and its '=': where the value that follows lies.
  const auto key_value = [&](std::size_t& i, std::size_t base) -> std::optional<TooDeepKey> {
    const Key key = scan_key(text, i, base);
    if (key.too_deep) return too_deep(*key.too_deep);
    value_depth = base + key.segments;
    i = key.end;
    if (i < text.size() && text[i] == '=') {
      ++i;
      expect = Expect::Value;
    } else if (key.segments == 0) {
      ++i;  // nothing the parser would accept: step over it
    }
    return std::nullopt;
  };

  for (std::size_t i = 0; i < text.size();) {
    const char c = text[i];
    if (is_blank(c)) {
      ++i;
      continue;
    }
    if (c == '#') {
      while (i < text.size() && text[i] != '\n')
        ++i;
      continue;
    }
    if (c == '\n') {
      ++i;
      // Arrays and inline tables may span lines; anything else ends with its line.
      if (open.empty()) expect = Expect::LineStart;
      continue;
    }
    switch (expect) {
      case Expect::LineStart:
        if (c == '[') {
          const std::string_view closing = text.substr(i, 2) == "[[" ? "]]" : "]";
          i += closing.size();
          const Key header = scan_key(text, i, 0);
          if (header.too_deep) return too_deep(*header.too_deep, closing);
          table_depth = header.segments;
          i = header.end;
          expect = Expect::AfterValue;  // the closing brackets, then the end of the line
        } else if (auto deep = key_value(i, table_depth)) {
          return deep;
        }
        break;
      case Expect::Key:
        if (c == '}') {  // an empty inline table, or a trailing comma before it
          open.pop_back();
          expect = Expect::AfterValue;
          ++i;
        } else if (auto deep = key_value(i, open.back().depth)) {
          return deep;
        }
        break;
      case Expect::Value:
        if (c == '[' || c == '{') {
          open.push_back({c == '{', value_depth});
          if (c == '{') expect = Expect::Key;
          ++i;
        } else if (c == ']' && !open.empty() && !open.back().inline_table) {
          open.pop_back();  // an empty array, or a trailing comma
          expect = Expect::AfterValue;
          ++i;
        } else if (c == '"' || c == '\'') {
          i = skip_string(text, i);
          expect = Expect::AfterValue;
        } else {
          const std::size_t start = i;
          while (i < text.size() && !ends_scalar(text[i]))
            ++i;
          if (i == start) ++i;
          expect = Expect::AfterValue;
        }
        break;
      case Expect::AfterValue:
        if (!open.empty() && c == ',') {
          value_depth = open.back().depth;
          expect = open.back().inline_table ? Expect::Key : Expect::Value;
        } else if (!open.empty() && c == (open.back().inline_table ? '}' : ']')) {
          open.pop_back();
        }
        ++i;  // anything else here is not TOML: the parser refuses it
        break;
    }
  }
  return std::nullopt;
}

}  // namespace qs
