#include "hex_box.h"

#include "hextext.h"

std::string BoxText(DialogPort &port, int id, std::size_t maxChars)
{
    std::string text = port.Text(id);
    if (text.size() > maxChars)
        text.resize(maxChars);
    return text;
}

bool CharactersOk(DialogPort &port, const std::string &text)
{
    if (text.empty() || IsHexText(text))
        return true;
    port.ShowMessage(Window::Main, kBadCharacterMessage, Icon::Error);
    return false;
}
