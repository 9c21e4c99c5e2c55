// The SPI panel end to end, through the real common file dialogs: the flash
// read into a new and an existing file, a failed read that must leave files
// alone, the flash write with its size bound and remembered image, the
// erase, the SPI set-up, and paths too long for short buffers.
//
// A file dialog takes a few seconds to close under Wine, so each test walks
// through several steps of one run.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "driver.h"

namespace {

using e2e::Narrow;
using e2e::ReadWholeFile;
using e2e::TraceCall;
using e2e::Widen;

const wchar_t kSaveTitle[] = L"\u4fdd\u5b58\u6587\u4ef6";  // 保存文件
const wchar_t kOpenTitle[] =                                // 选择即将写入的目标文件
    L"\u9009\u62e9\u5373\u5c06\u5199\u5165\u7684\u76ee\u6807\u6587\u4ef6";
const int kFileNameBox = 0x47C;
constexpr size_t kFlashSize = 0x10000;

bool WriteBytes(const std::wstring &path, const std::string &content)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    BOOL ok = WriteFile(file, content.data(), DWORD(content.size()), &written, nullptr);
    CloseHandle(file);
    return ok && written == content.size();
}

bool Exists(const std::wstring &path)
{
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Names in a folder, "." and ".." left out.
std::vector<std::wstring> FolderNames(const std::wstring &folder)
{
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE)
        return names;
    do {
        std::wstring name = data.cFileName;
        if (name != L"." && name != L"..")
            names.push_back(name);
    } while (FindNextFileW(find, &data));
    FindClose(find);
    return names;
}

// A flash content no erased or zeroed flash has by chance.
std::string FlashPattern()
{
    std::string bytes(kFlashSize, '\0');
    for (size_t i = 0; i < kFlashSize; ++i)
        bytes[i] = char((i * 13 + (i >> 8) * 7 + 5) & 0xFF);
    return bytes;
}

std::string Hex(const std::string &bytes)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char b : bytes) {
        out += digits[b >> 4];
        out += digits[b & 0x0F];
    }
    return out;
}

std::string Upper(std::string s)
{
    for (char &c : s)
        c = char(toupper(static_cast<unsigned char>(c)));
    return s;
}

class Flash : public testing::Test {
protected:
    e2e::TzDebug app;

    std::wstring Path(const std::wstring &name) const { return app.Folder() + L"\\" + name; }

    // The simulator's state file is where the flash content survives; it is
    // read when the library loads.
    void SeedFlash(const std::string &bytes)
    {
        ASSERT_TRUE(WriteBytes(Path(L"state.bin"), "tzsim-state 1\nflash " + Hex(bytes) + "\n"));
    }

    // Starts the program and opens device 0 (a TZ820 on the default bench).
    void StartOpen(const std::string &config = "")
    {
        ASSERT_TRUE(app.Launch(config)) << app.Error();
        app.Select(1074, 0);
        app.Click(1140);
        ASSERT_TRUE(app.Settle());
        ASSERT_TRUE(app.MessageBoxes().empty()) << "a box came up while opening";
        ASSERT_TRUE(app.Enabled(1064));
    }

    void ExpectBox(const std::string &text, bool icon)
    {
        e2e::MessageBoxInfo box = app.WaitMessageBox();
        ASSERT_TRUE(box) << "no message box appeared; expected \"" << text << "\"";
        EXPECT_EQ(Narrow(box.text), text);
        EXPECT_EQ(box.hasIcon, icon) << "icon of \"" << text << "\"";
        EXPECT_EQ(box.owner, app.Main()) << "owner of \"" << text << "\"";
        ASSERT_TRUE(app.PressOk(box)) << "the box did not close";
    }

    void ExpectNoBox(const char *after)
    {
        ASSERT_TRUE(app.Settle()) << "the program stopped answering after " << after;
        std::vector<HWND> boxes = app.MessageBoxes();
        EXPECT_TRUE(boxes.empty()) << "unexpected message box after " << after;
        for (HWND box : boxes)
            PostMessageW(box, WM_COMMAND, IDOK, 0);
    }

    // The file dialog with this title, checked for its owner.
    HWND WaitFileDialog(const wchar_t *title, HWND owner)
    {
        HWND dialog = app.WaitDialog(title);
        EXPECT_TRUE(dialog) << "no file dialog " << Narrow(title);
        if (dialog) {
            EXPECT_EQ(GetWindow(dialog, GW_OWNER), owner) << "owner of " << Narrow(title);
        }
        return dialog;
    }

    // Types a name and presses OK; with `overwrite` the save dialog's
    // question is answered yes.
    void ChooseFile(HWND dialog, const wchar_t *title, const std::wstring &path,
                    bool overwrite = false)
    {
        ASSERT_TRUE(dialog);
        HWND nameBox = GetDlgItem(dialog, kFileNameBox);
        ASSERT_TRUE(nameBox) << "no file-name box in " << Narrow(title);
        e2e::TzDebug::SetTextOf(nameBox, path);
        PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDOK)));
        if (overwrite) {
            HWND question = WaitOwnedBy(title, dialog);
            ASSERT_TRUE(question) << "no overwrite question";
            PostMessageW(question, WM_COMMAND, IDYES, 0);
        }
        ASSERT_TRUE(app.WaitDialogGone(title)) << Narrow(title) << " did not close";
    }

    void Cancel(HWND dialog, const wchar_t *title)
    {
        ASSERT_TRUE(dialog);
        PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDCANCEL)));
        ASSERT_TRUE(app.WaitDialogGone(title)) << Narrow(title) << " did not close";
    }

    HWND WaitOwnedBy(const wchar_t *caption, HWND owner)
    {
        DWORD start = GetTickCount();
        while (GetTickCount() - start < e2e::kWait) {
            for (HWND h : app.Dialogs(caption))
                if (GetWindow(h, GW_OWNER) == owner)
                    return h;
            Sleep(20);
        }
        return nullptr;
    }

    // Flash read into `path` (overwriting an existing file when asked).
    void ReadFlashInto(const std::wstring &path, bool overwrite = false)
    {
        app.Click(1064);
        HWND dialog = WaitFileDialog(kSaveTitle, nullptr);
        ChooseFile(dialog, kSaveTitle, path, overwrite);
    }

    // Flash write: choose `path`, or cancel the open dialog when empty.
    void WriteFlashFrom(const std::wstring &path)
    {
        app.Click(1061);
        HWND dialog = WaitFileDialog(kOpenTitle, app.Main());
        if (path.empty())
            Cancel(dialog, kOpenTitle);
        else
            ChooseFile(dialog, kOpenTitle, path);
    }

    std::vector<TraceCall> Calls(const char *name, size_t from = 0) const
    {
        return e2e::CallsNamed(app.Trace(), name, from);
    }
};

TEST_F(Flash, ReadSavesTheWholeFlashToANewAndAnExistingFile)
{
    const std::string flash = FlashPattern();
    SeedFlash(flash);
    StartOpen();
    EXPECT_EQ(Narrow(app.Text(1168)), "FLASH状态正常");

    // A bare name gets the default extension, in the program's folder.
    ReadFlashInto(L"image");
    ExpectBox("读FLASH成功", false);
    std::string saved = ReadWholeFile(Path(L"image.txt"));
    EXPECT_EQ(saved.size(), kFlashSize);
    EXPECT_TRUE(saved == flash) << "the file differs from the flash";

    std::vector<TraceCall> reads = Calls("TZ780mReadFlash");
    ASSERT_EQ(reads.size(), 16u);
    for (uint32_t k = 0; k < 16; ++k) {
        EXPECT_EQ(reads[k].Arg(0), 0u);
        EXPECT_EQ(reads[k].Arg(1), k * 0x1000) << reads[k].line;
        EXPECT_EQ(reads[k].Arg(2), 0x1000u) << reads[k].line;
    }

    // An existing, longer file is replaced after the overwrite question.
    ASSERT_TRUE(WriteBytes(Path(L"old.bin"), std::string(kFlashSize + 100, 'x')));
    ReadFlashInto(Path(L"old.bin"), true);
    ExpectBox("读FLASH成功", false);
    EXPECT_TRUE(ReadWholeFile(Path(L"old.bin")) == flash);
    for (const std::wstring &name : FolderNames(app.Folder()))
        EXPECT_EQ(name.find(L".tmp"), std::wstring::npos) << "left behind: " << Narrow(name);
}

TEST_F(Flash, CancelledOrFailedReadLeavesFilesAlone)
{
    StartOpen("fault TZ780mReadFlash = from 5");
    std::vector<std::wstring> before = FolderNames(app.Folder());

    app.Click(1064);
    Cancel(WaitFileDialog(kSaveTitle, nullptr), kSaveTitle);
    ExpectNoBox("cancelling the save dialog");
    EXPECT_TRUE(Calls("TZ780mReadFlash").empty());

    // The fifth chunk fails: one box, the existing file untouched.
    ASSERT_TRUE(WriteBytes(Path(L"keep.txt"), "keep me"));
    ReadFlashInto(Path(L"keep.txt"), true);
    ExpectBox("读FLASH失败", true);
    ExpectNoBox("the failed read");
    EXPECT_EQ(Calls("TZ780mReadFlash").size(), 5u);
    EXPECT_EQ(ReadWholeFile(Path(L"keep.txt")), "keep me");

    // A new name is not created.
    ReadFlashInto(Path(L"new.txt"));
    ExpectBox("读FLASH失败", true);
    EXPECT_FALSE(Exists(Path(L"new.txt")));

    std::vector<std::wstring> after = FolderNames(app.Folder());
    for (const std::wstring &name : after)
        EXPECT_TRUE(name == L"keep.txt" || std::find(before.begin(), before.end(), name) != before.end())
            << "new in the folder: " << Narrow(name);
}

TEST_F(Flash, WriteTakesTheChosenOrRememberedFileUpToSixtyFourKilobytes)
{
    StartOpen();
    ASSERT_TRUE(WriteBytes(Path(L"abc.txt"), "abc"));
    // Starts as the earlier image, so it can be written over it unerased.
    ASSERT_TRUE(WriteBytes(Path(L"full.bin"), "abc" + std::string(kFlashSize - 3, '\x5A')));
    ASSERT_TRUE(WriteBytes(Path(L"over.bin"), std::string(kFlashSize + 1, '\x5A')));
    ASSERT_TRUE(WriteBytes(Path(L"empty.bin"), ""));

    // Nothing chosen yet.
    WriteFlashFrom(L"");
    ExpectBox("请打开文件", true);
    EXPECT_TRUE(Calls("TZ780mWriteFlash").empty());

    WriteFlashFrom(Path(L"abc.txt"));
    ExpectBox("写FLASH完成", false);
    std::vector<TraceCall> writes = Calls("TZ780mWriteFlash");
    ASSERT_EQ(writes.size(), 1u);
    EXPECT_EQ(writes[0].Arg(0), 0u);
    EXPECT_EQ(writes[0].Arg(1), 0u);
    EXPECT_EQ(writes[0].Arg(2), 3u);
    EXPECT_EQ(Upper(writes[0].data), "616263");
    EXPECT_TRUE(Calls("TZ780mEarseFlash").empty());

    // A cancel writes the earlier choice again.
    WriteFlashFrom(L"");
    ExpectBox("写FLASH完成", false);
    writes = Calls("TZ780mWriteFlash");
    ASSERT_EQ(writes.size(), 2u);
    EXPECT_EQ(Upper(writes[1].data), "616263");

    WriteFlashFrom(Path(L"full.bin"));
    ExpectBox("写FLASH完成", false);
    writes = Calls("TZ780mWriteFlash");
    ASSERT_EQ(writes.size(), 3u);
    EXPECT_EQ(writes[2].Arg(2), uint32_t(kFlashSize));

    WriteFlashFrom(Path(L"over.bin"));
    ExpectBox("只能打开小于64K的文件", true);
    EXPECT_EQ(Calls("TZ780mWriteFlash").size(), 3u);

    WriteFlashFrom(Path(L"empty.bin"));
    ExpectBox("写FLASH完成", false);
    writes = Calls("TZ780mWriteFlash");
    ASSERT_EQ(writes.size(), 4u);
    EXPECT_EQ(writes[3].Arg(2), 0u);

    // The erase: unlocked, then the whole flash.
    size_t mark = app.Trace().size();
    app.Click(1062);
    ExpectBox("擦除FLASH成功", false);
    std::vector<TraceCall> trace = app.Trace();
    std::vector<std::string> names;
    for (size_t i = mark; i < trace.size(); ++i)
        if (trace[i].name != "interrupt")
            names.push_back(trace[i].name);
    EXPECT_EQ(names, (std::vector<std::string>{"TZ780mLockFlash", "TZ780mEarseFlash"}))
        << e2e::DescribeTrace(trace, mark);
    std::vector<TraceCall> erase = Calls("TZ780mEarseFlash");
    ASSERT_EQ(erase.size(), 1u);
    EXPECT_EQ(erase[0].Arg(0), 0u);
    EXPECT_EQ(erase[0].Arg(1), 0u);
    EXPECT_EQ(erase[0].Arg(2), 0x10000u);
}

TEST_F(Flash, RefusedCallsAreReportedAndSpiSetUpAnswers)
{
    StartOpen("fault TZ780mWriteFlash = always\nfault TZ780mEarseFlash = always");
    ASSERT_TRUE(WriteBytes(Path(L"abc.txt"), "abc"));
    WriteFlashFrom(Path(L"abc.txt"));
    ExpectBox("写FLASH失败", true);

    app.Click(1062);
    ExpectBox("擦除FLASH失败", true);

    // SPI4 at 15.6 MHz is code 3.
    app.Select(1127, 1);
    app.Select(1128, 0);
    app.Click(1129);
    ExpectBox("设置SPI成功", false);
    std::vector<TraceCall> stream = Calls("TZ810SetStream");
    ASSERT_EQ(stream.size(), 1u);
    EXPECT_EQ(stream[0].Arg(0), 0u);
    EXPECT_EQ(stream[0].Arg(1), 3u);
}

TEST_F(Flash, LongPathsAreHeldWhole)
{
    // A file whose path has 245 characters: far longer than any short
    // buffer, still short enough to be named without the extended form,
    // and long enough that a temporary name beside it needs that form.
    std::wstring folder = app.Folder() + L"\\";
    folder += std::wstring(237 - folder.size(), L'd');
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr)) << Narrow(folder);
    const std::wstring image = folder + L"\\img.bin";
    ASSERT_EQ(image.size(), 245u);
    ASSERT_TRUE(WriteBytes(image, "old"));

    const std::string flash = FlashPattern();
    SeedFlash(flash);
    StartOpen();
    ReadFlashInto(image, true);
    ExpectBox("读FLASH成功", false);
    EXPECT_TRUE(ReadWholeFile(image) == flash) << "the long path was not written";

    // What the flash already holds, so that it reads back the same.
    ASSERT_TRUE(WriteBytes(image, flash.substr(0, 3)));
    WriteFlashFrom(image);
    ExpectBox("写FLASH完成", false);
    std::vector<TraceCall> writes = Calls("TZ780mWriteFlash");
    ASSERT_EQ(writes.size(), 1u);
    EXPECT_EQ(Upper(writes[0].data), Hex(flash.substr(0, 3)));

    // A name of 249 characters in a short folder: the temporary file beside
    // it must not take its name from it, or it would pass the 255 characters
    // one name may have.
    const std::wstring shortFolder = L"C:\\tzl";
    CreateDirectoryW(shortFolder.c_str(), nullptr);
    const std::wstring longName = shortFolder + L"\\" + std::wstring(245, L'n') + L".bin";
    ReadFlashInto(longName);
    ExpectBox("读FLASH成功", false);
    EXPECT_TRUE(ReadWholeFile(longName) == flash) << "the long name was not written";
    DeleteFileW(longName.c_str());
    RemoveDirectoryW(shortFolder.c_str());

    DeleteFileW(image.c_str());
    RemoveDirectoryW(folder.c_str());
}

} // namespace
