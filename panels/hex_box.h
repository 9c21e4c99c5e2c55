// Reading the hexadecimal boxes of the main dialog's panels.
#pragma once

#include <cstddef>
#include <string>

#include "dialog_port.h"

// Shown by every panel whose non-empty box holds a non-hexadecimal character.
inline const char kBadCharacterMessage[] = "您输入的字符有误，请输入0~9,a~f,A~F之间的十六进制数!";

// The text of a box, cut to its first maxChars characters: the handlers
// look at no more than their boxes are meant to hold.
std::string BoxText(DialogPort &port, int id, std::size_t maxChars);

// Checks the characters of a box's text. Empty text passes, since every
// handler reports an empty box only after all character checks; anything
// else must be hexadecimal digits, or the bad-character message is shown
// (owned by the main dialog) and false returned.
bool CharactersOk(DialogPort &port, const std::string &text);
