#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <variant>

#include "config/text_position.h"
#include "files/file_safety_error.h"

namespace qs {

enum class SyntaxCategory { UnknownKey, WrongType, InvalidValue, Other };

// The error of the configuration layer (base directories, config.toml and its rules).
struct ConfigError {
  struct Refused {
    FileSafetyError refusal;
  };
  struct NotUtf8 {};
  struct Syntax {
    SyntaxCategory category{};
    std::optional<TextPosition> position;
  };
  struct Message {
    std::string text;
  };

  std::variant<Refused, NotUtf8, Syntax, Message> kind;

  static ConfigError message(std::string text) { return ConfigError{Message{std::move(text)}}; }
};

std::string message_of(const ConfigError& error);

}  // namespace qs
