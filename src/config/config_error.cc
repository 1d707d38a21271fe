#include "config/config_error.h"

namespace qs {
namespace {

const char* category_text(SyntaxCategory category) {
  switch (category) {
    case SyntaxCategory::UnknownKey:
      return "has an unknown key or section";
    case SyntaxCategory::WrongType:
      return "has a value of the wrong type";
    case SyntaxCategory::InvalidValue:
      return "has an invalid value";
    case SyntaxCategory::Other:
      return "is not valid TOML or does not match the schema";
  }
  return "is not valid";
}

struct Render {
  std::string operator()(const ConfigError::Refused& e) const {
    return "configuration file refused: " + message_of(e.refusal);
  }
  std::string operator()(const ConfigError::NotUtf8&) const {
    return "the configuration file is not valid UTF-8";
  }
  std::string operator()(const ConfigError::Syntax& e) const {
    std::string text = std::string("the configuration file ") + category_text(e.category);
    if (e.position) {
      text += " (line " + std::to_string(e.position->line) + ", column " +
              std::to_string(e.position->column) + ")";
    }
    return text;
  }
  std::string operator()(const ConfigError::Message& e) const { return e.text; }
};

}  // namespace

std::string message_of(const ConfigError& error) {
  return std::visit(Render{}, error.kind);
}

}  // namespace qs
