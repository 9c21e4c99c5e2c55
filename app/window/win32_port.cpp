#include "win32_port.h"

#include <commdlg.h>

#include "files.h"
#include "hex_filter.h"
#include "resource.h"

// ---------------------------------------------------------------------------
// Which window a control lives in: each dialog's controls as its template
// lists them. A control left out of these is reached nowhere, rather than
// looked for in the wrong window.

namespace {

constexpr int kMainControls[] = {
    IDC_DEVICE_COMBO, IDC_STATUS,         IDC_INT_LINE,    IDC_IO_BASE,     IDC_MEM_BASE_LABEL,
    IDC_MEM_BASE,     IDC_DRIVER_VERSION, IDC_PULSE_NOW,   IDC_PULSE_COMBO, IDC_PULSE_SET,
    IDC_IO_WIDTH,     IDC_IO_ADDR_TYPE,   IDC_IO_ADDR,     IDC_IO_LENGTH,   IDC_IO_DATA,
    IDC_IO_CLEAR,     IDC_IO_READ,        IDC_IO_WRITE,    IDC_MEM_32BIT,   IDC_MEM_WIDTH,
    IDC_MEM_ADDR,     IDC_MEM_LENGTH,     IDC_MEM_DATA,    IDC_MEM_CLEAR,   IDC_MEM_READ,
    IDC_MEM_WRITE,    IDC_I2C_FRAME,      IDC_I2C_ADDR,    IDC_I2C_DATA,    IDC_I2C_READ,
    IDC_I2C_WRITE,    IDC_IDENTITY,       IDC_SPI_MODE,    IDC_SPI_CLOCK,   IDC_SPI_SET,
    IDC_FLASH_STATUS, IDC_FLASH_READ,     IDC_FLASH_WRITE, IDC_FLASH_ERASE, IDC_CFG_ADDR,
    IDC_CFG_DATA,     IDC_CFG_READ,       IDC_CFG_WRITE,   IDC_LEVEL_COUNT, IDC_LEVEL_TEST,
    IDC_EDGE_COUNT,   IDC_EDGE_TEST,      IDC_OPEN,        IDC_CLOSE,       IDC_HELP,
    IDC_EXIT};
constexpr int kIdentityControls[] = {IDC_EEPROM_WRITE, IDC_VID, IDC_DID,        IDC_RID,
                                     IDC_SVID,         IDC_SID, IDC_EEPROM_READ};
constexpr int kHelpControls[] = {IDC_HELP_TEXT};

template <std::size_t N> constexpr bool Lists(const int (&controls)[N], int id)
{
    for (int control : controls)
        if (control == id)
            return true;
    return false;
}

template <std::size_t N, std::size_t M>
constexpr bool Disjoint(const int (&some)[N], const int (&others)[M])
{
    for (int id : some)
        if (Lists(others, id))
            return false;
    return true;
}

// A control is named by its identifier alone, so no two dialogs share one.
static_assert(Disjoint(kMainControls, kIdentityControls) &&
              Disjoint(kMainControls, kHelpControls) && Disjoint(kIdentityControls, kHelpControls));

}  // namespace

template <typename List> static void Forget(List &shown, HWND hwnd)
{
    for (auto it = shown.begin(); it != shown.end(); ++it) {
        if (it->hwnd == hwnd) {
            shown.erase(it);
            return;
        }
    }
}

HWND Win32DialogPort::EnterHandler(HWND identity)
{
    HWND previous = identityHandling_;
    identityHandling_ = identity;
    return previous;
}

void Win32DialogPort::LeaveHandler(HWND previous)
{
    identityHandling_ = previous;
}

void Win32DialogPort::Attach(Window window, HWND hwnd)
{
    switch (window) {
    case Window::Main:
        main_.store(hwnd);
        break;
    case Window::Identity:
        identity_.push_back(Shown{hwnd, false});
        break;
    case Window::Help:
        help_.push_back(Shown{hwnd, false});
        break;
    case Window::None:
        break;
    }
}

void Win32DialogPort::Detach(Window window, HWND hwnd)
{
    switch (window) {
    case Window::Main:
        if (main_.load() == hwnd)
            main_.store(nullptr);
        break;
    case Window::Identity:
        Forget(identity_, hwnd);
        break;
    case Window::Help:
        Forget(help_, hwnd);
        break;
    case Window::None:
        break;
    }
}

HWND Win32DialogPort::Handle(Window window) const
{
    switch (window) {
    case Window::Main:
        return main_.load();
    case Window::Identity:
        if (identityHandling_)
            return identityHandling_;
        for (auto it = identity_.rbegin(); it != identity_.rend(); ++it)
            if (!it->ended)
                return it->hwnd;
        return identity_.empty() ? nullptr : identity_.back().hwnd;
    case Window::Help:
        // The most recent help dialog still up.
        for (auto it = help_.rbegin(); it != help_.rend(); ++it)
            if (!it->ended)
                return it->hwnd;
        return help_.empty() ? nullptr : help_.back().hwnd;
    case Window::None:
        break;
    }
    return nullptr;
}

HWND Win32DialogPort::WindowFor(int id) const
{
    if (Lists(kMainControls, id))
        return Handle(Window::Main);
    if (Lists(kIdentityControls, id))
        return Handle(Window::Identity);
    if (Lists(kHelpControls, id))
        return Handle(Window::Help);
    return nullptr;
}

HWND Win32DialogPort::Control(int id) const
{
    HWND window = WindowFor(id);
    return window ? GetDlgItem(window, id) : nullptr;
}

// ---------------------------------------------------------------------------
// Controls

std::string Win32DialogPort::Text(int id)
{
    HWND control = Control(id);
    if (!control)
        return {};
    // The whole text, however long: the data boxes hold ~100,000 characters.
    int length = GetWindowTextLengthW(control);
    if (length <= 0)
        return {};
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    int got = GetWindowTextW(control, &text[0], length + 1);
    text.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
    return WideToUtf8(text);
}

bool Win32DialogPort::SetText(int id, const std::string &text)
{
    HWND control = Control(id);
    if (!control)
        return false;
    return SetWindowTextW(control, Utf8ToWide(text).c_str()) != FALSE;
}

void Win32DialogPort::Enable(int id, bool enabled)
{
    if (HWND control = Control(id))
        EnableWindow(control, enabled ? TRUE : FALSE);
}

void Win32DialogPort::SetTextLimit(int id, int characters)
{
    if (HWND control = Control(id))
        SendMessageW(control, EM_SETLIMITTEXT, static_cast<WPARAM>(characters), 0);
}

void Win32DialogPort::InstallHexFilter(int id)
{
    InstallHexKeyFilter(Control(id));
}

void Win32DialogPort::AddComboEntry(int id, const std::string &text)
{
    if (HWND control = Control(id)) {
        std::wstring wide = Utf8ToWide(text);
        SendMessageW(control, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(wide.c_str()));
    }
}

void Win32DialogPort::InsertComboEntry(int id, int position, const std::string &text)
{
    if (HWND control = Control(id)) {
        std::wstring wide = Utf8ToWide(text);
        SendMessageW(control, CB_INSERTSTRING, static_cast<WPARAM>(position),
                     reinterpret_cast<LPARAM>(wide.c_str()));
    }
}

void Win32DialogPort::DeleteComboEntry(int id, int position)
{
    if (HWND control = Control(id))
        SendMessageW(control, CB_DELETESTRING, static_cast<WPARAM>(position), 0);
}

int Win32DialogPort::ComboSelection(int id)
{
    HWND control = Control(id);
    if (!control)
        return -1;
    LRESULT selected = SendMessageW(control, CB_GETCURSEL, 0, 0);
    return selected == CB_ERR ? -1 : static_cast<int>(selected);
}

void Win32DialogPort::SelectComboEntry(int id, int position)
{
    if (HWND control = Control(id))
        SendMessageW(control, CB_SETCURSEL, static_cast<WPARAM>(position), 0);
}

bool Win32DialogPort::IsChecked(int id)
{
    HWND control = Control(id);
    return control && SendMessageW(control, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void Win32DialogPort::SetChecked(int id, bool checked)
{
    if (HWND control = Control(id))
        SendMessageW(control, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

// ---------------------------------------------------------------------------
// Message boxes and file dialogs

void Win32DialogPort::ShowMessage(Window owner, const std::string &text, Icon icon)
{
    UINT type = MB_OK;
    if (icon == Icon::Error)
        type |= MB_ICONERROR;
    MessageBoxW(Handle(owner), Utf8ToWide(text).c_str(), L"提示", type);
}

static std::wstring CurrentDirectory()
{
    std::wstring folder;
    DWORD needed = GetCurrentDirectoryW(0, nullptr);
    while (needed > 0) {
        folder.assign(needed, L'\0');
        DWORD got = GetCurrentDirectoryW(needed, &folder[0]);
        if (got == 0) {
            folder.clear();
            break;
        }
        if (got < needed) {
            folder.resize(got);
            break;
        }
        needed = got;  // changed in between: try again with the new size
    }
    return folder;
}

namespace {

// Loading the common dialogs' library with the program would cost its
// start-up some 20 ms under Wine: it is loaded at the first file dialog.
using FileDialog = BOOL(WINAPI *)(LPOPENFILENAMEW);

FileDialog FileDialogFunction(const char *name)
{
    static const HMODULE library = LoadLibraryW(L"comdlg32.dll");
    return library ? reinterpret_cast<FileDialog>(
                         reinterpret_cast<void *>(GetProcAddress(library, name)))
                   : nullptr;
}

}  // namespace

std::optional<std::string> Win32DialogPort::ChooseFile(const FileChoice &choice)
{
    // Filter: name\0pattern\0 ... \0
    std::wstring filter;
    for (const auto &pair : choice.filters) {
        filter += Utf8ToWide(pair.first);
        filter.push_back(L'\0');
        filter += Utf8ToWide(pair.second);
        filter.push_back(L'\0');
    }
    filter.push_back(L'\0');

    std::wstring title = Utf8ToWide(choice.title);
    std::wstring extension = Utf8ToWide(choice.defaultExtension);
    std::wstring folder;
    if (choice.startInCurrentFolder)
        folder = CurrentDirectory();

    // Room for the longest path the system can name.
    std::vector<wchar_t> file(32768, L'\0');

    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = Handle(choice.owner);
    ofn.lpstrFilter = choice.filters.empty() ? nullptr : filter.c_str();
    ofn.nFilterIndex = 1;
    ofn.lpstrFile = file.data();
    ofn.nMaxFile = static_cast<DWORD>(file.size());
    ofn.lpstrInitialDir = folder.empty() ? nullptr : folder.c_str();
    ofn.lpstrTitle = title.empty() ? nullptr : title.c_str();
    ofn.lpstrDefExt = extension.empty() ? nullptr : extension.c_str();
    ofn.Flags = OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_SHOWHELP;
    if (choice.overwritePrompt)
        ofn.Flags |= OFN_OVERWRITEPROMPT;
    if (choice.readOnlyBox)
        ofn.Flags |= OFN_READONLY;

    const auto dialog = FileDialogFunction(choice.save ? "GetSaveFileNameW" : "GetOpenFileNameW");
    const BOOL chosen = dialog && dialog(&ofn);
    if (!chosen || file[0] == L'\0')
        return std::nullopt;
    return WideToUtf8(file.data());
}

// ---------------------------------------------------------------------------
// The two secondary dialogs: modal, with no owner, so the main dialog stays
// usable while they are up.

void Win32DialogPort::RunDialog(Window dialog)
{
    switch (dialog) {
    case Window::Identity:
        Run(identityDialog_);
        break;
    case Window::Help:
        Run(helpDialog_);
        break;
    case Window::Main:
    case Window::None:
        break;
    }
}

void Win32DialogPort::Run(const ModalDialog &dialog)
{
    DialogBoxParamW(instance_, MAKEINTRESOURCEW(dialog.templateId), nullptr, dialog.procedure, 0);
}

bool Win32DialogPort::IsShown(Window dialog)
{
    switch (dialog) {
    case Window::Main:
        return main_.load() != nullptr;
    case Window::Identity:
        for (const auto &shown : identity_)
            if ((!identityHandling_ || shown.hwnd == identityHandling_) && !shown.ended &&
                IsWindow(shown.hwnd))
                return true;
        return false;
    case Window::Help:
        for (const auto &shown : help_)
            if (!shown.ended && IsWindow(shown.hwnd))
                return true;
        return false;
    case Window::None:
        break;
    }
    return false;
}

void Win32DialogPort::EndDialog(Window dialog, int code)
{
    switch (dialog) {
    case Window::Main:
        if (HWND main = main_.load())
            ::EndDialog(main, code);
        break;
    case Window::Identity:
        // From an identity dialog's own handler only that one goes; from
        // elsewhere (the close) every one still up.
        for (auto &shown : identity_) {
            if ((!identityHandling_ || shown.hwnd == identityHandling_) && !shown.ended) {
                shown.ended = true;
                ::EndDialog(shown.hwnd, code);
            }
        }
        break;
    case Window::Help:
        // Every help dialog still up goes: after this call none is shown.
        for (auto &shown : help_) {
            if (!shown.ended) {
                shown.ended = true;
                ::EndDialog(shown.hwnd, code);
            }
        }
        break;
    case Window::None:
        break;
    }
}

void Win32DialogPort::EndHelpDialog(HWND hwnd, int code)
{
    for (auto &shown : help_)
        if (shown.hwnd == hwnd)
            shown.ended = true;
    ::EndDialog(hwnd, code);
}

void Win32DialogPort::Sleep(unsigned milliseconds)
{
    ::Sleep(milliseconds);
}

void Win32DialogPort::PostInterruptCount()
{
    if (HWND main = main_.load())
        PostMessageW(main, WM_TZ_INTERRUPT_COUNT, 0, 0);
}

// ---------------------------------------------------------------------------
// Files

FilePort::ReadResult Win32FilePort::ReadWholeFile(const std::string &path, std::size_t maxSize,
                                                  std::vector<std::uint8_t> &data)
{
    switch (::ReadWholeFile(path, maxSize, data)) {
    case ReadOutcome::Ok:
        return ReadResult::Ok;
    case ReadOutcome::OpenFailed:
        return ReadResult::OpenFailed;
    case ReadOutcome::SizeFailed:
        return ReadResult::SizeFailed;
    case ReadOutcome::TooLarge:
        return ReadResult::TooLarge;
    case ReadOutcome::AllocFailed:
        return ReadResult::AllocFailed;
    case ReadOutcome::ReadFailed:
        break;
    }
    return ReadResult::ReadFailed;
}

FilePort::WriteResult Win32FilePort::ReplaceFile(const std::string &path, const std::uint8_t *data,
                                                 std::size_t size)
{
    switch (ReplaceWholeFile(path, data, size)) {
    case ReplaceOutcome::Ok:
        return WriteResult::Ok;
    case ReplaceOutcome::CreateFailed:
        return WriteResult::CreateFailed;
    case ReplaceOutcome::WriteFailed:
        break;
    }
    return WriteResult::WriteFailed;
}
