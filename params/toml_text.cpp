#include "params/toml_text.h"

#include <cstdio>

namespace kt {

namespace {

// The length of the well-formed UTF-8 sequence at the start of `rest` (no overlong forms, no
// surrogates, nothing above U+10FFFF); 0 when it is not one.
std::size_t utf8_sequence_length(std::string_view rest) {
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(rest[k]); };
  const unsigned char lead = byte(0);
  if (lead < 0x80) return 1;
  std::size_t length = 0;
  unsigned char low = 0x80, high = 0xBF;  // the allowed range of the second byte
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (rest.size() < length || byte(1) < low || byte(1) > high) return 0;
  for (std::size_t k = 2; k < length; ++k)
    if (byte(k) < 0x80 || byte(k) > 0xBF) return 0;
  return length;
}

// The code point of the well-formed sequence of `length` bytes at the start of `rest`.
char32_t code_point(std::string_view rest, std::size_t length) {
  static constexpr unsigned char kLeadMask[] = {0, 0x7F, 0x1F, 0x0F, 0x07};
  char32_t c = static_cast<unsigned char>(rest[0]) & kLeadMask[length];
  for (std::size_t k = 1; k < length; ++k)
    c = (c << 6) | (static_cast<unsigned char>(rest[k]) & 0x3F);
  return c;
}

// The text the TOML parser is given: the same document in ASCII alone. Characters beyond ASCII
// become \uXXXX escapes in strings (a single-quoted string, which has no escapes, goes over as
// the double-quoted string of the same text) and '?' in comments; outside strings and comments
// they are refused. Line ends stay
// where they are, so the parser's line numbers are the file's. Empty `problem` on success,
// otherwise "line N: ...". (The parser has been seen to reach undefined behaviour on some
// characters beyond ASCII outside strings, so it never sees any.)
std::string ascii_document(std::string_view text, std::string& problem) {
  std::string out;
  out.reserve(text.size());
  int line = 1;
  enum class Place { outside, comment, basic, literal };
  Place place = Place::outside;
  bool multi_line = false;
  bool in_literal = false;        // the character before was inside a literal string
  std::size_t literal_start = 0;  // where the literal string under way opened
  const auto refuse = [&](const std::string& what) {
    problem = "line " + std::to_string(line) + ": " + what;
    return std::string();
  };
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t length = utf8_sequence_length(text.substr(at));
    const auto byte = static_cast<unsigned char>(text[at]);
    char hex[8];
    std::snprintf(hex, sizeof hex, "0x%02X", byte);
    if (length == 0)
      return refuse(std::string("the byte ") + hex + " is not UTF-8 text (save the file as UTF-8)");
    if ((byte < 0x20 && byte != '\t' && byte != '\n' && byte != '\r') || byte == 0x7F)
      return refuse(std::string("the control character ") + hex +
                    " (TOML allows tabs and line ends only)");
    if (length > 1) {
      switch (place) {
        case Place::comment:
          out += '?';
          break;
        case Place::basic:
        case Place::literal: {
          char escape[16];
          const char32_t c = code_point(text.substr(at), length);
          std::snprintf(escape, sizeof escape, c > 0xFFFF ? "\\U%08X" : "\\u%04X",
                        static_cast<unsigned>(c));
          out += escape;
          break;
        }
        case Place::outside:
          return refuse("a character beyond ASCII outside a quoted string or a comment");
      }
      at += length;
      continue;
    }
    const char c = text[at];
    const std::string_view rest = text.substr(at);
    std::size_t take = 1;
    const bool opening_literal = place == Place::outside && c == '\'';
    if (opening_literal) literal_start = at;
    switch (place) {
      case Place::outside:
        if (c == '#') {
          place = Place::comment;
        } else if (c == '"' || c == '\'') {
          place = c == '"' ? Place::basic : Place::literal;
          multi_line = rest.substr(0, 3) == std::string(3, c);
          if (multi_line) take = 3;
        }
        break;
      case Place::comment:
        if (c == '\n') place = Place::outside;
        break;
      case Place::basic:
      case Place::literal: {
        const char quote = place == Place::basic ? '"' : '\'';
        if (place == Place::basic && c == '\\' && rest.size() > 1) {
          if (static_cast<unsigned char>(rest[1]) >= 0x80)
            return refuse("a backslash before a character beyond ASCII in a string");
          take = 2;
        } else if (multi_line && rest.substr(0, 3) == std::string(3, quote)) {
          take = 3;
          place = Place::outside;
        } else if (!multi_line && (c == quote || c == '\n')) {
          place = Place::outside;  // closed, or not closed on its line: the parser says so
        }
        break;
      }
    }
    for (std::size_t k = 0; k < take; ++k)
      if (rest[k] == '\n') ++line;
    const bool was_literal = opening_literal || in_literal;
    in_literal = place == Place::literal;
    if (was_literal) {
      // A single-quoted (literal) string goes over as a double-quoted one: its quotes become
      // double quotes and its backslashes and double quotes are escaped.
      if (c == '\'' && (take == 3 || place != Place::literal || at == literal_start)) {
        out.append(take, '"');
      } else if (c == '\\' || c == '"') {
        out += '\\';
        out += c;
      } else {
        out.append(rest.substr(0, take));
      }
    } else {
      out.append(rest.substr(0, take));
    }
    at += take;
  }
  return out;
}

}  // namespace

std::optional<toml::table> parse_toml_text(std::string_view text, const std::string& origin,
                                           std::string& error) {
  std::string problem;
  const std::string ascii = ascii_document(text, problem);
  if (!problem.empty()) {
    error = origin + ", " + problem;
    return std::nullopt;
  }
  try {
    return toml::parse(ascii, origin);
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
