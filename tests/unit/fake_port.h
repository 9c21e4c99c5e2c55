// In-memory dialog and file ports; controls appear on first touch, enabled and empty.
#pragma once
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>
#include "dialog_port.h"
#include "file_port.h"

struct FakeMessage {
    Window owner;
    std::string text;
    Icon icon;
};

class FakePort : public DialogPort {
  public:
    struct Control {
        std::string text;
        bool enabled = true;
        bool checked = false;
        bool hexFilter = false;
        int limit = 0;
        int selection = -1;
        std::vector<std::string> entries;
    };

    std::map<int, Control> controls;
    std::vector<FakeMessage> messages;
    std::vector<Window> dialogsRun;
    std::map<Window, bool> shown;
    std::vector<std::pair<Window, int>> ended;
    std::vector<unsigned> sleeps;
    int postedCounts = 0;
    bool failSetText = false;
    std::deque<std::optional<std::string>> fileAnswers;  // for ChooseFile in order; empty: cancel
    std::vector<FileChoice> fileChoices;
    std::function<void(Window)> onRunDialog;             // runs "in" a dialog's modal loop
    std::function<void(const FakeMessage &)> onMessage;  // runs while a message box is up

    std::string Text(int id) override
    {
        return controls[id].text;
    }

    bool SetText(int id, const std::string &t) override
    {
        if (!failSetText)
            controls[id].text = t;
        return !failSetText;
    }

    void Enable(int id, bool on) override
    {
        controls[id].enabled = on;
    }

    void SetTextLimit(int id, int n) override
    {
        controls[id].limit = n;
    }

    void InstallHexFilter(int id) override
    {
        controls[id].hexFilter = true;
    }

    void AddComboEntry(int id, const std::string &t) override
    {
        controls[id].entries.push_back(t);
    }

    void InsertComboEntry(int id, int pos, const std::string &t) override
    {
        auto &e = controls[id].entries;
        if (pos >= 0 && pos <= static_cast<int>(e.size()))
            e.insert(e.begin() + pos, t);
    }

    void DeleteComboEntry(int id, int pos) override
    {
        auto &ctl = controls[id];
        if (pos < 0 || pos >= static_cast<int>(ctl.entries.size()))
            return;
        ctl.entries.erase(ctl.entries.begin() + pos);
        ctl.selection = ctl.selection == pos ? -1 : ctl.selection - (ctl.selection > pos);
    }

    int ComboSelection(int id) override
    {
        return controls[id].selection;
    }

    void SelectComboEntry(int id, int pos) override
    {
        auto &ctl = controls[id];
        ctl.selection = (pos >= 0 && pos < static_cast<int>(ctl.entries.size())) ? pos : -1;
    }

    bool IsChecked(int id) override
    {
        return controls[id].checked;
    }

    void SetChecked(int id, bool on) override
    {
        controls[id].checked = on;
    }

    void ShowMessage(Window owner, const std::string &t, Icon icon) override
    {
        messages.push_back({owner, t, icon});
        if (onMessage)
            onMessage(messages.back());
    }

    std::optional<std::string> ChooseFile(const FileChoice &choice) override
    {
        fileChoices.push_back(choice);
        std::optional<std::string> answer =
            fileAnswers.empty() ? std::nullopt : fileAnswers.front();
        if (!fileAnswers.empty())
            fileAnswers.pop_front();
        return answer;
    }

    void RunDialog(Window w) override
    {
        dialogsRun.push_back(w);
        shown[w] = true;
        if (onRunDialog)
            onRunDialog(w);
        shown[w] = false;
    }

    bool IsShown(Window w) override
    {
        return shown[w];
    }

    void EndDialog(Window w, int code) override
    {
        ended.push_back({w, code});
        shown[w] = false;
    }

    void Sleep(unsigned ms) override
    {
        sleeps.push_back(ms);
    }

    void PostInterruptCount() override
    {
        ++postedCounts;
    }
};

class FakeFiles : public FilePort {
  public:
    std::map<std::string, std::vector<std::uint8_t>> files;
    std::optional<ReadResult> forceRead;
    std::optional<WriteResult> forceWrite;

    ReadResult ReadWholeFile(const std::string &path, std::size_t maxSize,
                             std::vector<std::uint8_t> &data) override
    {
        auto it = files.find(path);
        if (forceRead || it == files.end())
            return forceRead.value_or(ReadResult::OpenFailed);
        if (it->second.size() > maxSize)
            return ReadResult::TooLarge;
        data = it->second;
        return ReadResult::Ok;
    }

    WriteResult ReplaceFile(const std::string &path, const std::uint8_t *data,
                            std::size_t size) override
    {
        if (!forceWrite)
            files[path].assign(data, data + size);
        return forceWrite.value_or(WriteResult::Ok);
    }
};
