#include "streams.h"

#include <windows.h>

#include <algorithm>

#include "text.h"

namespace {

// Older consoles refuse one large write whole; pieces of this many UTF-16
// units (8 KiB) every console takes.
constexpr std::size_t kConsolePiece = 4096;
// Most a single WriteFile is asked to take.
constexpr std::size_t kFilePiece = 1u << 20;

HANDLE Handle(StdStream stream)
{
    return GetStdHandle(stream == StdStream::Out ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
}

bool IsHighSurrogate(wchar_t unit)
{
    return unit >= 0xD800 && unit <= 0xDBFF;
}

bool WriteConsoleText(HANDLE console, const std::wstring &text)
{
    std::size_t done = 0;
    while (done < text.size()) {
        std::size_t piece = std::min(text.size() - done, kConsolePiece);
        // A character of two units goes whole into the next piece.
        if (piece > 1 && done + piece < text.size() && IsHighSurrogate(text[done + piece - 1]))
            --piece;
        DWORD written = 0;
        if (!WriteConsoleW(console, text.data() + done, static_cast<DWORD>(piece), &written,
                           nullptr) ||
            written == 0)
            return false;
        done += written;
    }
    return true;
}

bool WriteBytes(HANDLE file, const std::string &text)
{
    std::size_t done = 0;
    while (done < text.size()) {
        const DWORD piece = static_cast<DWORD>(std::min(text.size() - done, kFilePiece));
        DWORD written = 0;
        if (!WriteFile(file, text.data() + done, piece, &written, nullptr) || written == 0)
            return false;
        done += written;
    }
    return true;
}

}  // namespace

bool IsConsole(StdStream stream)
{
    DWORD mode = 0;
    return GetConsoleMode(Handle(stream), &mode) != 0;
}

bool WriteStd(StdStream stream, const std::string &text)
{
    HANDLE handle = Handle(stream);
    DWORD mode = 0;
    if (GetConsoleMode(handle, &mode))
        return WriteConsoleText(handle, Utf8ToWide(text));
    return WriteBytes(handle, text);
}

bool WriteStdBytes(const std::vector<std::uint8_t> &data)
{
    return WriteBytes(Handle(StdStream::Out), std::string(data.begin(), data.end()));
}

bool ReadStdBytes(std::size_t most, std::vector<std::uint8_t> &data)
{
    HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
    data.clear();
    std::uint8_t piece[1 << 16];
    while (data.size() < most) {
        const DWORD want = static_cast<DWORD>(std::min(most - data.size(), sizeof piece));
        DWORD got = 0;
        if (!ReadFile(in, piece, want, &got, nullptr))
            // A pipe whose writer has closed it has ended.
            return GetLastError() == ERROR_BROKEN_PIPE;
        if (got == 0)
            return true;
        data.insert(data.end(), piece, piece + got);
    }
    return true;
}

bool StdInIsConsole()
{
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &mode) != 0;
}
