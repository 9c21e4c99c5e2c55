#include "files.h"

#include <windows.h>

#include <algorithm>
#include <new>

#include "read_exactly.h"
#include "text.h"

namespace {

std::wstring SystemPath(const std::string &utf8)
{
    std::wstring path = Utf8ToWide(utf8);
    if (path.size() < MAX_PATH - 14 || path.rfind(L"\\\\?\\", 0) == 0)
        return path;
    DWORD needed = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (needed == 0)
        return path;
    std::wstring full(needed, L'\0');
    DWORD got = GetFullPathNameW(path.c_str(), needed, &full[0], nullptr);
    if (got == 0 || got >= needed)
        return path;
    full.resize(got);
    for (auto &c : full)
        if (c == L'/')
            c = L'\\';
    if (full.rfind(L"\\\\", 0) == 0)
        return L"\\\\?\\UNC\\" + full.substr(2);
    return L"\\\\?\\" + full;
}

// Writes the whole of data and flushes it; false on any failure.
bool WriteAll(HANDLE file, const std::uint8_t *data, std::size_t size)
{
    std::size_t done = 0;
    bool ok = true;
    while (ok && done < size) {
        DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(size - done, 1u << 20));
        DWORD written = 0;
        ok = WriteFile(file, data + done, chunk, &written, nullptr) && written == chunk;
        done += written;
    }
    return ok && done == size && FlushFileBuffers(file);
}

}  // namespace

ReadOutcome ReadWholeFile(const std::string &path, std::size_t maxSize,
                          std::vector<std::uint8_t> &data)
{
    HANDLE file =
        CreateFileW(SystemPath(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return ReadOutcome::OpenFailed;

    LARGE_INTEGER size;
    if (!GetFileSizeEx(file, &size) || size.QuadPart < 0) {
        CloseHandle(file);
        return ReadOutcome::SizeFailed;
    }
    if (static_cast<unsigned long long>(size.QuadPart) > maxSize) {
        CloseHandle(file);
        return ReadOutcome::TooLarge;
    }

    std::vector<std::uint8_t> buffer;
    try {
        buffer.assign(static_cast<std::size_t>(size.QuadPart), 0);
    } catch (const std::bad_alloc &) {
        CloseHandle(file);
        return ReadOutcome::AllocFailed;
    }

    const bool whole = ReadExactly(
        buffer.data(), buffer.size(), [file](std::uint8_t *to, std::size_t most, std::size_t &got) {
            DWORD read = 0;
            const BOOL ok = ReadFile(file, to, static_cast<DWORD>(most), &read, nullptr);
            got = read;
            return ok != FALSE;
        });
    CloseHandle(file);
    if (!whole)
        return ReadOutcome::ReadFailed;
    data.swap(buffer);
    return ReadOutcome::Ok;
}

ReplaceOutcome ReplaceWholeFile(const std::string &path, const std::uint8_t *data, std::size_t size)
{
    const std::wstring target = SystemPath(path);

    // The temporary file sits beside the target, so the final move stays
    // within one folder and one volume. It has a short name of its own: the
    // target's name may already be as long as a name can be, and a file of
    // the user's may already bear the target's name with an ending added.
    const std::size_t slash = path.find_last_of("\\/");
    const std::string folder =
        slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    static unsigned counter = 0;
    std::wstring temporary;
    HANDLE file = INVALID_HANDLE_VALUE;
    for (int attempt = 0; attempt < 100 && file == INVALID_HANDLE_VALUE; ++attempt) {
        char name[40];
        wsprintfA(name, "~tz%lx-%x.tmp", GetCurrentProcessId(), ++counter);
        temporary = SystemPath(folder + name);
        file = CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            DWORD error = GetLastError();
            if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS)
                break;
        }
    }

    if (file != INVALID_HANDLE_VALUE) {
        bool ok = WriteAll(file, data, size);
        if (!CloseHandle(file))
            ok = false;
        if (ok && MoveFileExW(temporary.c_str(), target.c_str(),
                              MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
            return ReplaceOutcome::Ok;
        DeleteFileW(temporary.c_str());
        if (!ok)
            return ReplaceOutcome::WriteFailed;
    }

    // No temporary could be made or moved there (a folder where existing
    // files may be changed but none created, say). The whole content is in
    // memory, so the target itself is written rather than the content lost.
    file = CreateFileW(target.c_str(), GENERIC_READ | GENERIC_WRITE,
                       FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, CREATE_ALWAYS,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return ReplaceOutcome::CreateFailed;
    bool ok = WriteAll(file, data, size);
    if (!CloseHandle(file))
        ok = false;
    return ok ? ReplaceOutcome::Ok : ReplaceOutcome::WriteFailed;
}
