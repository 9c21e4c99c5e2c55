#include "module_info.h"

#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <vector>

#include "text.h"

std::string LoadedModulePath(const wchar_t *name)
{
    HMODULE module = GetModuleHandleW(name);
    if (!module)
        return {};
    // A path may be longer than MAX_PATH; a buffer filled to its end may hold
    // a cut one.
    std::vector<wchar_t> path(MAX_PATH);
    for (;;) {
        const DWORD got = GetModuleFileNameW(module, path.data(), static_cast<DWORD>(path.size()));
        if (got == 0)
            return {};
        if (got < path.size())
            return WideToUtf8(std::wstring(path.data(), got));
        if (path.size() >= 0x8000)
            return {};
        path.resize(path.size() * 2);
    }
}

namespace {

// A string value of the block in one translation, "" when it has none.
std::string StringValue(const std::vector<BYTE> &block, WORD language, WORD codePage,
                        const wchar_t *name)
{
    wchar_t translation[12];
    std::swprintf(translation, 12, L"%04x%04x", language, codePage);
    const std::wstring key = std::wstring(L"\\StringFileInfo\\") + translation + L"\\" + name;
    void *value = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(block.data(), key.c_str(), &value, &length) || !value || length == 0)
        return {};
    std::wstring text(static_cast<const wchar_t *>(value), length);
    text.resize(wcsnlen(text.c_str(), text.size()));
    return WideToUtf8(text);
}

}  // namespace

VersionBlock ReadVersionBlock(const std::string &path)
{
    VersionBlock result;
    const std::wstring file = Utf8ToWide(path);
    DWORD unused = 0;
    const DWORD size = GetFileVersionInfoSizeW(file.c_str(), &unused);
    if (size == 0)
        return result;
    std::vector<BYTE> block(size);
    if (!GetFileVersionInfoW(file.c_str(), 0, size, block.data()))
        return result;

    void *value = nullptr;
    UINT length = 0;
    if (VerQueryValueW(block.data(), L"\\", &value, &length) &&
        length >= sizeof(VS_FIXEDFILEINFO)) {
        const auto *fixed = static_cast<const VS_FIXEDFILEINFO *>(value);
        if (fixed->dwSignature == 0xFEEF04BD) {
            char text[48];
            std::snprintf(text, sizeof text, "%u.%u.%u.%u", HIWORD(fixed->dwFileVersionMS),
                          LOWORD(fixed->dwFileVersionMS), HIWORD(fixed->dwFileVersionLS),
                          LOWORD(fixed->dwFileVersionLS));
            result.fileVersion = text;
        }
    }

    // The strings sit under the translations the block lists; a block
    // without a list is taken to be US English in Unicode.
    struct Translation {
        WORD language, codePage;
    };

    std::vector<Translation> translations;
    if (VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation", &value, &length) && value) {
        const auto *listed = static_cast<const Translation *>(value);
        translations.assign(listed, listed + length / sizeof(Translation));
    }
    translations.push_back({0x0409, 0x04B0});
    for (const Translation &t : translations) {
        result.productName = StringValue(block, t.language, t.codePage, L"ProductName");
        if (!result.productName.empty())
            break;
    }
    return result;
}
