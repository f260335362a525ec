// Names between the program, which holds them in UTF-8, and Windows, which
// takes them in UTF-16. A lone surrogate, which Windows allows in a name,
// goes through as the three bytes UTF-8 would give it, so every name comes
// back as it was.
#pragma once

#include <string>
#include <string_view>

namespace tagpolish {

std::wstring utf16_of(std::string_view utf8);
std::string utf8_of(std::wstring_view utf16);

}  // namespace tagpolish
