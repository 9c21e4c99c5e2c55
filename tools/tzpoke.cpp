// tzpoke: a small console helper for scripts that drive tzdebug's windows.
//
//   tzpoke wait "<caption>" [timeoutMs]   wait for a visible top-level window
//                                          with that caption (default 30000)
//   tzpoke command "<caption>" <id>       post WM_COMMAND(id) to it
//   tzpoke text "<caption>" <id>          print the text of one of its controls
//   tzpoke settext "<caption>" <id> <t>   set the text of one of its controls
//   tzpoke type "<caption>" <id> <chars>  send each character as WM_CHAR
//   tzpoke fill "<caption>" <id> <count>  set a text of <count> characters ("AB "...) and
//                                          print the length the control holds
//   tzpoke sel "<caption>" <id>           print an edit box's selection start,
//                                          end and first visible line
//   tzpoke list                           list the visible top-level windows
//
// Exit code 0 on success, 1 when the window or control is not there,
// 2 on bad usage. Texts reach a pipe or a file as UTF-8.
#include <windows.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "streams.h"
#include "text.h"

static void Print(const std::wstring &text)
{
    WriteStd(StdStream::Out, WideToUtf8(text) + "\n");
}

static std::wstring WindowText(HWND hwnd)
{
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutW(hwnd, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 5000, &length))
        return {};
    std::vector<wchar_t> buffer(length + 1, L'\0');
    DWORD_PTR got = 0;
    SendMessageTimeoutW(hwnd, WM_GETTEXT, buffer.size(), reinterpret_cast<LPARAM>(buffer.data()),
                        SMTO_ABORTIFHUNG, 5000, &got);
    return std::wstring(buffer.data(), got);
}

struct Search {
    const wchar_t *caption;
    HWND found;
};

static BOOL CALLBACK Match(HWND hwnd, LPARAM context)
{
    auto *search = reinterpret_cast<Search *>(context);
    if (!IsWindowVisible(hwnd))
        return TRUE;
    wchar_t text[512];
    if (GetWindowTextW(hwnd, text, 512) && lstrcmpW(text, search->caption) == 0) {
        search->found = hwnd;
        return FALSE;
    }
    return TRUE;
}

static HWND FindShown(const wchar_t *caption)
{
    Search search{caption, nullptr};
    EnumWindows(Match, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

static BOOL CALLBACK ListOne(HWND hwnd, LPARAM)
{
    if (!IsWindowVisible(hwnd))
        return TRUE;
    wchar_t text[512] = L"", cls[128] = L"";
    GetWindowTextW(hwnd, text, 512);
    GetClassNameW(hwnd, cls, 128);
    wchar_t line[800];
    wsprintfW(line, L"%08lx %ls \"%ls\"",
              static_cast<unsigned long>(reinterpret_cast<UINT_PTR>(hwnd)), cls, text);
    Print(line);
    return TRUE;
}

static int Usage()
{
    Print(L"usage: tzpoke wait|command|text|settext|type|fill|sel|list \"<caption>\" "
          L"[id|timeoutMs] [text]");
    return 2;
}

int wmain(int argc, wchar_t **argv)
{
    if (argc < 2)
        return Usage();
    std::wstring verb = argv[1];
    if (verb == L"list") {
        EnumWindows(ListOne, 0);
        return 0;
    }
    if (argc < 3)
        return Usage();
    const wchar_t *caption = argv[2];

    if (verb == L"wait") {
        DWORD timeout = argc > 3 ? static_cast<DWORD>(_wtoi(argv[3])) : 30000;
        DWORD start = GetTickCount();
        for (;;) {
            if (HWND hwnd = FindShown(caption)) {
                wchar_t line[32];
                wsprintfW(line, L"%08lx",
                          static_cast<unsigned long>(reinterpret_cast<UINT_PTR>(hwnd)));
                Print(line);
                return 0;
            }
            if (GetTickCount() - start >= timeout)
                return 1;
            Sleep(50);
        }
    }

    if (argc < 4)
        return Usage();
    HWND window = FindShown(caption);
    if (!window)
        return 1;
    int id = _wtoi(argv[3]);
    HWND control = GetDlgItem(window, id);

    if (verb == L"command") {
        return PostMessageW(window, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                            reinterpret_cast<LPARAM>(control))
                   ? 0
                   : 1;
    }
    if (!control)
        return 1;
    if (verb == L"text") {
        Print(WindowText(control));
        return 0;
    }
    if (verb == L"sel") {
        DWORD_PTR range = 0, line = 0;
        SendMessageTimeoutW(control, EM_GETSEL, 0, 0, SMTO_ABORTIFHUNG, 5000, &range);
        SendMessageTimeoutW(control, EM_GETFIRSTVISIBLELINE, 0, 0, SMTO_ABORTIFHUNG, 5000, &line);
        wchar_t out[64];
        wsprintfW(out, L"%u %u %u", static_cast<unsigned>(LOWORD(range)),
                  static_cast<unsigned>(HIWORD(range)), static_cast<unsigned>(line));
        Print(out);
        return 0;
    }
    if (argc < 5)
        return Usage();
    if (verb == L"settext") {
        DWORD_PTR result = 0;
        SendMessageTimeoutW(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(argv[4]),
                            SMTO_ABORTIFHUNG, 5000, &result);
        return result ? 0 : 1;
    }
    if (verb == L"fill") {
        // Byte-run shaped: "AB " repeated, cut to the count.
        std::wstring text;
        for (int i = 0, n = _wtoi(argv[4]); i < n; ++i)
            text.push_back(L"AB "[i % 3]);
        DWORD_PTR result = 0, length = 0;
        // Long texts take the edit box a while to lay out.
        SendMessageTimeoutW(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()),
                            SMTO_ABORTIFHUNG, 120000, &result);
        SendMessageTimeoutW(control, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 120000, &length);
        wchar_t out[32];
        wsprintfW(out, L"%u", static_cast<unsigned>(length));
        Print(out);
        return 0;
    }
    if (verb == L"type") {
        for (const wchar_t *c = argv[4]; *c; ++c) {
            DWORD_PTR result = 0;
            SendMessageTimeoutW(control, WM_CHAR, *c, 1, SMTO_ABORTIFHUNG, 5000, &result);
        }
        return 0;
    }
    return Usage();
}
