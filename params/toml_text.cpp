#include "params/toml_text.h"

namespace kt {

std::optional<toml::table> parse_toml_text(std::string_view text, const std::string& origin,
                                           std::string& error) {
  try {
    return toml::parse(text, origin);
  } catch (const toml::parse_error& parse_error) {
    error = origin + ", line " + std::to_string(parse_error.source().begin.line) + ": " +
            std::string(parse_error.description());
    return std::nullopt;
  }
}

std::string toml_location(const std::string& origin, const toml::node* node) {
  if (node == nullptr || node->source().begin.line == 0) return origin;
  return origin + ", line " + std::to_string(node->source().begin.line);
}

}  // namespace kt
