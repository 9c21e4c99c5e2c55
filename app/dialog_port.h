// The small surface through which the logic talks to the screen. The Win32
// front end maps it onto real dialogs and controls; host tests use a fake.
// Control identifiers are unique across the three dialog templates, so a
// control is named by its identifier alone. All texts are UTF-8.
#pragma once

#include <optional>
#include <string>
#include <vector>

enum class Window {
    None,
    Main,
    Identity,
    Help
};
// What a dialog is told by the system rather than by a control of its own,
// and what it ends with: Enter (IDOK), and Esc or the caption's close box
// (IDCANCEL).
constexpr int kDialogOk = 1;
constexpr int kDialogCancel = 2;

enum class Icon {
    None,
    Error
};

// How a common file dialog is to be set up.
struct FileChoice {
    bool save = false;  // save dialog (else open dialog)
    Window owner = Window::None;
    std::string title;
    // Filter pairs: shown name, pattern.
    std::vector<std::pair<std::string, std::string>> filters;
    std::string defaultExtension;       // empty: none
    bool startInCurrentFolder = false;  // else the system's default folder
    bool overwritePrompt = false;       // OFN_OVERWRITEPROMPT
    bool readOnlyBox = false;           // OFN_READONLY
};

class DialogPort {
  public:
    virtual ~DialogPort() = default;

    virtual std::string Text(int id) = 0;
    // False when the control did not take the text.
    virtual bool SetText(int id, const std::string &text) = 0;
    virtual void Enable(int id, bool enabled) = 0;
    virtual void SetTextLimit(int id, int characters) = 0;
    virtual void InstallHexFilter(int id) = 0;

    // Combo boxes: positions, -1 for no selection.
    virtual void AddComboEntry(int id, const std::string &text) = 0;
    virtual void InsertComboEntry(int id, int position, const std::string &text) = 0;
    virtual void DeleteComboEntry(int id, int position) = 0;
    virtual int ComboSelection(int id) = 0;
    virtual void SelectComboEntry(int id, int position) = 0;

    virtual bool IsChecked(int id) = 0;
    virtual void SetChecked(int id, bool checked) = 0;

    // Modal message box with the caption "提示" and the OK button.
    virtual void ShowMessage(Window owner, const std::string &text, Icon icon) = 0;
    // Common file dialog; nothing when cancelled or failed.
    virtual std::optional<std::string> ChooseFile(const FileChoice &choice) = 0;

    // Runs the identity EEPROM or help dialog modally, with no owner window;
    // returns when it ends.
    virtual void RunDialog(Window dialog) = 0;
    virtual bool IsShown(Window dialog) = 0;
    virtual void EndDialog(Window dialog, int code) = 0;

    virtual void Sleep(unsigned milliseconds) = 0;
    // Posts the interrupt count message to the main dialog. Safe to call from
    // any thread.
    virtual void PostInterruptCount() = 0;
};
