#include "dialogs.h"

#include "device_library.h"
#include "help_text.h"
#include "main_dialog.h"
#include "panels.h"
#include "resource.h"

static_assert(kDialogOk == IDOK && kDialogCancel == IDCANCEL,
              "the portable code names the system's dialog commands");

static Win32DialogPort *g_port = nullptr;
static Session *g_session = nullptr;

namespace {

// Marks which identity dialog (none for the other dialogs) is handling the
// current message, for as long as its procedure runs.
class Handling {
  public:
    explicit Handling(HWND identity) : previous_(g_port->EnterHandler(identity))
    {
    }

    ~Handling()
    {
        g_port->LeaveHandler(previous_);
    }

    Handling(const Handling &) = delete;
    Handling &operator=(const Handling &) = delete;

  private:
    HWND previous_;
};

}  // namespace

void AttachSession(Win32DialogPort &port, Session &session)
{
    g_port = &port;
    g_session = &session;
}

// ---------------------------------------------------------------------------
// Main dialog (template 101)

INT_PTR CALLBACK MainDialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM)
{
    Handling handling(nullptr);
    switch (message) {
    case WM_INITDIALOG:
        g_port->Attach(Window::Main, hwnd);
        // On failure the message has been shown and the dialog ended (129).
        InitialiseMainDialog(*g_session, LoadDeviceLibrary);
        return TRUE;  // focus to the first tab stop
    case WM_COMMAND:
        // Only the control identifier counts, not the notification code.
        return DispatchCommand(*g_session, LOWORD(wParam)) ? TRUE : FALSE;
    case WM_TZ_INTERRUPT_COUNT:
        OnInterruptCountMessage(*g_session);
        return TRUE;
    case WM_DESTROY:
        g_port->Detach(Window::Main, hwnd);
        return FALSE;
    default:
        return FALSE;
    }
}

// ---------------------------------------------------------------------------
// Identity EEPROM dialog (template 103)

INT_PTR CALLBACK IdentityDialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM)
{
    Handling handling(hwnd);
    switch (message) {
    case WM_INITDIALOG:
        g_port->Attach(Window::Identity, hwnd);
        // May end the dialog already, when the first read fails.
        IdentityDialogInit(*g_session);
        return TRUE;  // focus to the first tab stop, the write button
    case WM_COMMAND:
        return IdentityDialogCommand(*g_session, LOWORD(wParam)) ? TRUE : FALSE;
    case WM_DESTROY:
        g_port->Detach(Window::Identity, hwnd);
        return FALSE;
    default:
        return FALSE;
    }
}

// ---------------------------------------------------------------------------
// Help dialog (template 105)
//
// The text is to open at its first line, with nothing selected and no caret.
// Keeping the focus away from the edit box is not enough: activating the
// dialog hands the focus to its only tab stop, the edit box, and selects
// the whole text, which scrolls it to the end. So the edit box is allowed
// to take the focus (the keys then scroll the text and Esc still closes the
// dialog), and when it first does, the selection is dropped and the text
// put back at the top; the caret stays hidden whenever it has the focus.

// DWLP_USER of the help dialog: 1 until the text has first been placed.
static const LONG_PTR kHelpTextNotPlaced = 1;

static void PlaceHelpTextAtTop(HWND edit)
{
    SendMessageW(edit, EM_SETSEL, 0, 0);
    SendMessageW(edit, WM_VSCROLL, SB_TOP, 0);
    SendMessageW(edit, WM_HSCROLL, SB_LEFT, 0);
}

INT_PTR CALLBACK HelpDialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM)
{
    Handling handling(nullptr);
    switch (message) {
    case WM_INITDIALOG: {
        g_port->Attach(Window::Help, hwnd);
        HWND edit = GetDlgItem(hwnd, IDC_HELP_TEXT);
        SetWindowTextW(edit, Utf8ToWide(HelpText()).c_str());
        PlaceHelpTextAtTop(edit);
        SetWindowLongPtrW(hwnd, DWLP_USER, kHelpTextNotPlaced);
        SetFocus(nullptr);
        return FALSE;  // the focus has been placed (nowhere)
    }
    case WM_COMMAND:
        if (LOWORD(wParam) == IDCANCEL) {
            g_port->EndHelpDialog(hwnd, 1);
            return TRUE;
        }
        if (LOWORD(wParam) == IDC_HELP_TEXT && HIWORD(wParam) == EN_SETFOCUS) {
            HWND edit = GetDlgItem(hwnd, IDC_HELP_TEXT);
            if (GetWindowLongPtrW(hwnd, DWLP_USER) == kHelpTextNotPlaced) {
                SetWindowLongPtrW(hwnd, DWLP_USER, 0);
                PlaceHelpTextAtTop(edit);
            }
            // The edit box makes a new caret each time it gains the focus.
            HideCaret(edit);
        }
        return FALSE;  // no other command does anything here
    case WM_DESTROY:
        g_port->Detach(Window::Help, hwnd);
        return FALSE;
    default:
        return FALSE;
    }
}
