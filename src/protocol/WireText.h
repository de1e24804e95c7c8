#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace velmar {

// Whether a text typed by the operator (a name, a label, a host) reaches the
// frame intact: the frame splits its lines at commas, ends a text at a quote
// (' or ") and drops control characters, so none of them may be sent; and
// the program's texts are UTF-8, so bytes that are not are refused too.
bool isSendableText(std::string_view text);

// Whether one byte may go into such a text (for input filters; the bytes of
// a letter outside ASCII each pass, the whole text is checked when sent).
bool isSendableCharacter(char c);

// Why `text` cannot be sent, in plain words ("holds a quote, comma or control
// character", "holds bytes that are not UTF-8 text", "is longer than 16
// bytes"), or nothing when it can.
// `maxLength` 0 means no length limit.
std::optional<std::string> sendableTextProblem(std::string_view text, std::size_t maxLength = 0);

} // namespace velmar
