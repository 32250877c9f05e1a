#include "tools/ctlhost/commands.h"

#include <cstdio>

namespace ctlhost {
namespace {

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

std::optional<std::vector<std::string>> tokenize(std::string_view line) {
  std::vector<std::string> tokens;
  size_t i = 0;
  while (true) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r')) ++i;
    if (i >= line.size()) return tokens;
    std::string token;
    if (line[i] != '"') {
      while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r') token += line[i++];
      tokens.push_back(std::move(token));
      continue;
    }
    ++i;
    while (true) {
      if (i >= line.size()) return std::nullopt;  // the quote never closes
      char c = line[i++];
      if (c == '"') break;
      if (c != '\\') {
        token += c;
        continue;
      }
      if (i >= line.size()) return std::nullopt;
      char e = line[i++];
      if (e == '"' || e == '\\') {
        token += e;
      } else if (e == 'r') {
        token += '\r';
      } else if (e == 'n') {
        token += '\n';
      } else if (e == 't') {
        token += '\t';
      } else if (e == 'x' && i + 1 < line.size() && hexDigit(line[i]) >= 0 && hexDigit(line[i + 1]) >= 0) {
        token += static_cast<char>(hexDigit(line[i]) * 16 + hexDigit(line[i + 1]));
        i += 2;
      } else {
        return std::nullopt;
      }
    }
    tokens.push_back(std::move(token));
  }
}

std::string quote(std::string_view value) {
  std::string out = "\"";
  for (char c : value) {
    auto byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (c == '\r') {
      out += "\\r";
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\t') {
      out += "\\t";
    } else if (byte < 0x20 || byte >= 0x7F) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
      out += escaped;
    } else {
      out += c;
    }
  }
  return out + "\"";
}

}  // namespace ctlhost
