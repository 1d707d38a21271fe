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

// Follows the text as the parser does, one statement at a time; each state (what the text may
// hold next) is a member that takes the next character that is not filler.
class DepthScanner {
 public:
  explicit DepthScanner(std::string_view text) : text_(text) {}

  std::optional<TooDeepKey> run() {
    while (i_ < text_.size()) {
      const char c = text_[i_];
      if (skip_filler(c)) continue;
      std::optional<TooDeepKey> deep;
      switch (expect_) {
        case Expect::LineStart:
          deep = line_start(c);
          break;
        case Expect::Key:
          deep = key(c);
          break;
        case Expect::Value:
          value(c);
          break;
        case Expect::AfterValue:
          after_value(c);
          break;
      }
      if (deep) return deep;
    }
    return std::nullopt;
  }

 private:
  enum class Expect { LineStart, Key, Value, AfterValue };
  struct Container {
    bool inline_table;
    std::size_t depth;  // keys from the root to the array or inline table
  };

  // Blanks, a comment, or a line feed, which ends the statement unless an array or an inline
  // table spans lines.
  bool skip_filler(char c) {
    if (is_blank(c)) {
      ++i_;
    } else if (c == '#') {
      while (i_ < text_.size() && text_[i_] != '\n')
        ++i_;
    } else if (c == '\n') {
      ++i_;
      if (open_.empty()) expect_ = Expect::LineStart;
    } else {
      return false;
    }
    return true;
  }

  // A table header, or the key of a key/value pair.
  std::optional<TooDeepKey> line_start(char c) {
    if (c != '[') return key_value(table_depth_);
    const std::string_view closing = text_.substr(i_, 2) == "[[" ? "]]" : "]";
    i_ += closing.size();
    const Key header = scan_key(text_, i_, 0);
    if (header.too_deep) return too_deep(*header.too_deep, closing);
    table_depth_ = header.segments;
    i_ = header.end;
    expect_ = Expect::AfterValue;  // the closing brackets, then the end of the line
    return std::nullopt;
  }

  // Inside an inline table: a key, or its end (empty, or after a trailing comma).
  std::optional<TooDeepKey> key(char c) {
    if (c != '}') return key_value(open_.back().depth);
    open_.pop_back();
    expect_ = Expect::AfterValue;
    ++i_;
    return std::nullopt;
  }

  // A key and its '=': where the value that follows lies.
  std::optional<TooDeepKey> key_value(std::size_t base) {
    const Key key = scan_key(text_, i_, base);
    if (key.too_deep) return too_deep(*key.too_deep);
    value_depth_ = base + key.segments;
    i_ = key.end;
    if (i_ < text_.size() && text_[i_] == '=') {
      ++i_;
      expect_ = Expect::Value;
    } else if (key.segments == 0) {
      ++i_;  // nothing the parser would accept: step over it
    }
    return std::nullopt;
  }

  void value(char c) {
    expect_ = Expect::AfterValue;
    if (c == '[' || c == '{') {
      open_.push_back({c == '{', value_depth_});
      expect_ = c == '{' ? Expect::Key : Expect::Value;  // an array's first value comes next
      ++i_;
    } else if (c == ']' && !open_.empty() && !open_.back().inline_table) {
      open_.pop_back();  // an empty array, or a trailing comma
      ++i_;
    } else if (c == '"' || c == '\'') {
      i_ = skip_string(text_, i_);
    } else {
      const std::size_t start = i_;
      while (i_ < text_.size() && !ends_scalar(text_[i_]))
        ++i_;
      if (i_ == start) ++i_;
    }
  }

  // A comma or the end of the array or inline table around; anything else here is not TOML,
  // and the parser refuses it.
  void after_value(char c) {
    if (!open_.empty() && c == ',') {
      value_depth_ = open_.back().depth;
      expect_ = open_.back().inline_table ? Expect::Key : Expect::Value;
    } else if (!open_.empty() && c == (open_.back().inline_table ? '}' : ']')) {
      open_.pop_back();
    }
    ++i_;
  }

  // A plain key where the deep one began, then what closes everything open around it, the
  // innermost first.
  TooDeepKey too_deep(std::size_t key, std::string_view header_end = {}) const {
    std::string completion = "x";
    completion.append(header_end.empty() ? std::string_view(" = 0") : header_end);
    for (auto it = open_.rbegin(); it != open_.rend(); ++it)
      completion += it->inline_table ? '}' : ']';
    return TooDeepKey{key, completion + "\n"};
  }

  std::string_view text_;
  std::size_t i_ = 0;
  std::vector<Container> open_;  // the arrays and inline tables around the current place
  std::size_t table_depth_ = 0;  // keys of the last table header
  std::size_t value_depth_ = 0;  // keys from the root to the value about to come
  Expect expect_ = Expect::LineStart;
};

}  // namespace

std::optional<TooDeepKey> first_key_too_deep(std::string_view text) {
  return DepthScanner(text).run();
}

}  // namespace qs
