// What the experiment and material readers share: parsing TOML text with a refusal that names
// the file and line, and the "file, line N" of a node for their own refusals.
#pragma once

#include <toml++/toml.h>

#include <optional>
#include <string>
#include <string_view>

namespace kt {

// The document, or nothing with `error` = "ORIGIN, line N: what the parser found".
std::optional<toml::table> parse_toml_text(std::string_view text, const std::string& origin,
                                           std::string& error);

// "ORIGIN" or "ORIGIN, line N" when the node knows its line.
std::string toml_location(const std::string& origin, const toml::node* node);

}  // namespace kt
