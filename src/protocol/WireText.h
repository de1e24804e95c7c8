#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace velmar {

// Whether a text typed by the operator (a name, a label, a host) reaches the
// frame intact: the frame splits its lines at commas, ends a text at a quote
// (' or ") and drops control characters, so none of them may be sent.
bool isSendableText(std::string_view text);

// Whether one typed character may go into such a text (for input filters).
bool isSendableCharacter(char c);

// Why `text` cannot be sent, in plain words ("holds a quote, comma or control
// character", "is longer than 16 characters"), or nothing when it can.
// `maxLength` 0 means no length limit.
std::optional<std::string> sendableTextProblem(std::string_view text, std::size_t maxLength = 0);

} // namespace velmar
