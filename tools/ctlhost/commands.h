#pragma once
// ctlhost's command language: blank-separated tokens, a token in double quotes may hold blanks and the
// escapes \" \\ \r \n \t and \xHH (any byte); every value printed is written in that quoted form.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ctlhost {

// The tokens of a line; empty when a quote is not closed or an escape is malformed.
std::optional<std::vector<std::string>> tokenize(std::string_view line);
// A value in double quotes, with the escapes above for quotes, backslashes and every byte that is not
// printable ASCII.
std::string quote(std::string_view value);

}  // namespace ctlhost
