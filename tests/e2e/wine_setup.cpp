// Under Wine without a window manager (Xvfb), hiding or destroying a window
// the X11 driver "manages" waits two seconds for a window manager that never
// answers: every message box OK and every exit would cost 2 s. For the run
// of the tests, tzdebug.exe's windows are made unmanaged (an application
// default of the prefix, removed again afterwards if we added it).
#include <windows.h>

#include <gtest/gtest.h>

namespace {

const wchar_t kKey[] = L"Software\\Wine\\AppDefaults\\tzdebug.exe\\X11 Driver";
const wchar_t kParentKey[] = L"Software\\Wine\\AppDefaults\\tzdebug.exe";

bool UnderWine()
{
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version");
}

class UnmanagedWindows : public testing::Environment {
public:
    void SetUp() override
    {
        if (!UnderWine())
            return;
        HKEY key;
        if (RegOpenKeyExW(HKEY_CURRENT_USER, kParentKey, 0, KEY_READ, &key) == ERROR_SUCCESS) {
            RegCloseKey(key); // someone's own setting: leave it alone
            return;
        }
        if (RegCreateKeyExW(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                            nullptr) != ERROR_SUCCESS)
            return;
        RegSetValueExW(key, L"Managed", 0, REG_SZ, reinterpret_cast<const BYTE *>(L"N"),
                       2 * sizeof(wchar_t));
        RegCloseKey(key);
        added_ = true;
    }
    void TearDown() override
    {
        if (added_)
            RegDeleteTreeW(HKEY_CURRENT_USER, kParentKey);
    }

private:
    bool added_ = false;
};

testing::Environment *const unmanaged = testing::AddGlobalTestEnvironment(new UnmanagedWindows);

} // namespace
