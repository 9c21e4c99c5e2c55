// The Win32 side of the dialog port and the file port: real dialogs,
// controls, message boxes, common file dialogs and the wide file API.
#pragma once

#include <windows.h>

#include <atomic>
#include <string>
#include <vector>

#include "dialog_port.h"
#include "file_port.h"
#include "text.h"

// A dialog the port runs modally: its template and the procedure serving it.
struct ModalDialog {
    int templateId;
    DLGPROC procedure;
};

class Win32DialogPort : public DialogPort {
  public:
    // The secondary dialogs are handed in, so that the port does not depend
    // on the procedures that work through it.
    Win32DialogPort(HINSTANCE instance, ModalDialog identity, ModalDialog help)
        : instance_(instance), identityDialog_(identity), helpDialog_(help)
    {
    }

    // Called by the dialog procedures as their windows come and go.
    void Attach(Window window, HWND hwnd);
    void Detach(Window window, HWND hwnd);
    // Window that owns the control with this identifier (0 when none).
    HWND WindowFor(int id) const;
    HWND Handle(Window window) const;

    std::string Text(int id) override;
    bool SetText(int id, const std::string &text) override;
    void Enable(int id, bool enabled) override;
    void SetTextLimit(int id, int characters) override;
    void InstallHexFilter(int id) override;

    void AddComboEntry(int id, const std::string &text) override;
    void InsertComboEntry(int id, int position, const std::string &text) override;
    void DeleteComboEntry(int id, int position) override;
    int ComboSelection(int id) override;
    void SelectComboEntry(int id, int position) override;

    bool IsChecked(int id) override;
    void SetChecked(int id, bool checked) override;

    void ShowMessage(Window owner, const std::string &text, Icon icon) override;
    std::optional<std::string> ChooseFile(const FileChoice &choice) override;

    void RunDialog(Window dialog) override;
    bool IsShown(Window dialog) override;
    void EndDialog(Window dialog, int code) override;

    void Sleep(unsigned milliseconds) override;
    void PostInterruptCount() override;

    // The help dialog's own cancel: ends that one dialog.
    void EndHelpDialog(HWND hwnd, int code);

    // Brackets the handling of one message by a dialog procedure. While an
    // identity dialog handles a message, "the identity dialog" is that
    // window; while any other dialog does (null), it is every one still up.
    // A handler can be left running under a message box whose loop handles
    // other windows' messages, hence the nesting.
    HWND EnterHandler(HWND identity);
    void LeaveHandler(HWND previous);

  private:
    struct Shown {
        HWND hwnd;
        bool ended;
    };

    HWND Control(int id) const;
    void Run(const ModalDialog &dialog);

    HINSTANCE instance_;
    ModalDialog identityDialog_;
    ModalDialog helpDialog_;
    // Read by the interrupt routine's thread when it posts the count message.
    std::atomic<HWND> main_{nullptr};
    // Identity dialogs in the order they were opened: a close can end one
    // while its failed-read box is still up and another opens meanwhile.
    std::vector<Shown> identity_;
    HWND identityHandling_ = nullptr;
    // Help dialogs in the order they were opened; more than one may be up.
    std::vector<Shown> help_;
};

class Win32FilePort : public FilePort {
  public:
    ReadResult ReadWholeFile(const std::string &path, std::size_t maxSize,
                             std::vector<std::uint8_t> &data) override;
    WriteResult ReplaceFile(const std::string &path, const std::uint8_t *data,
                            std::size_t size) override;
};
