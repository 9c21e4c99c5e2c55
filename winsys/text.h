// UTF-8, the text of the portable code, to and from UTF-16, the text of the
// system's wide API. Either way an empty string stands for nothing to say.
#pragma once

#include <string>

std::wstring Utf8ToWide(const std::string &text);
std::string WideToUtf8(const std::wstring &text);
