// Under Wine without a window manager (Xvfb), hiding or destroying a window the X11 driver
// "manages" waits two seconds for a window manager that never answers. For the run of the tests,
// tzdebug.exe's windows are made unmanaged: an application default of the prefix, removed
// afterwards if we added it.
#include <windows.h>
#include <gtest/gtest.h>

namespace {
const wchar_t kKey[] = L"Software\\Wine\\AppDefaults\\tzdebug.exe";

class UnmanagedWindows : public testing::Environment {
    bool added_ = false;

  public:
    void SetUp() override
    {
        HKEY key;
        HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
        if (!GetProcAddress(ntdll, "wine_get_version") ||  // not under Wine
            RegOpenKeyExW(HKEY_CURRENT_USER, kKey, 0, KEY_READ, &key) ==
                ERROR_SUCCESS ||  // someone's own
            RegCreateKeyExW(HKEY_CURRENT_USER, (std::wstring(kKey) + L"\\X11 Driver").c_str(), 0,
                            nullptr, 0, KEY_WRITE, nullptr, &key, nullptr) != ERROR_SUCCESS)
            return;
        RegSetValueExW(key, L"Managed", 0, REG_SZ, reinterpret_cast<const BYTE *>(L"N"),
                       2 * sizeof(wchar_t));
        RegCloseKey(key);
        added_ = true;
    }

    void TearDown() override
    {
        if (added_)
            RegDeleteTreeW(HKEY_CURRENT_USER, kKey);
    }
};

testing::Environment *const unmanaged = testing::AddGlobalTestEnvironment(new UnmanagedWindows);
}  // namespace
