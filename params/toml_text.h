// What the experiment and material readers share: parsing TOML text with a refusal that names
// the file and line, and the "file, line N" of a node for their own refusals.
#pragma once

// toml++ checks its parser's own state with assertions in builds without NDEBUG. Some fire on
// malformed input that the parser goes on to refuse with an ordinary parse error (a table header
// "[#", found by fuzzing), so they are off here as in a release build.
#ifndef TOML_ASSERT
#define TOML_ASSERT(expr) static_cast<void>(0)
#endif
#include <toml++/toml.h>

#include <optional>
#include <string>
#include <string_view>

namespace kt {

// The document, or nothing with `error` = "ORIGIN, line N: what the parser found". The parser
// only ever sees well-formed UTF-8 without control characters other than tabs and line ends,
// and with characters beyond ASCII only in strings and comments: anything else is refused first
// with its line.
std::optional<toml::table> parse_toml_text(std::string_view text, const std::string& origin,
                                           std::string& error);

// "ORIGIN" or "ORIGIN, line N" when the node knows its line.
std::string toml_location(const std::string& origin, const toml::node* node);

}  // namespace kt
