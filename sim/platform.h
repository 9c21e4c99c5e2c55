// The few things that differ between the Windows library and the host build:
// environment, the folder of the library, files and atomic replacement.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

namespace tzsim {

// The variable's value as a path; empty when unset or empty.
std::filesystem::path EnvPath(const char *name);

// Folder of the module holding this code (TZ810DLL.DLL on Windows); empty on
// the host, where no file is looked for beside the library.
std::filesystem::path ModuleDir();

// Where the bench keeps its state unless told otherwise: a file of the
// user's own (%LOCALAPPDATA%\tzsim\bench.state on Windows), so every
// program started by that user finds the bench as the last one left it.
// Empty on the host, whose tests never share a bench.
std::filesystem::path UserStatePath();

bool ReadWholeFile(const std::filesystem::path &path, std::string &text);
// At most the first n bytes of the file.
bool ReadFilePrefix(const std::filesystem::path &path, std::size_t n, std::string &text);

// Writes the text to a temporary file in the same folder (made as needed),
// flushes it to the disk and only then moves it over the target in one
// step, so a reader never sees half a file and a failed write leaves the
// old one as it was.
bool WriteFileAtomically(const std::filesystem::path &path, const std::string &text);

// Renames the file, failing rather than replacing one that is already there.
bool RenameNoReplace(const std::filesystem::path &from, const std::filesystem::path &to);

// A file of exactly `size` bytes mapped for reading and writing, shared with
// every process that maps it: a write through one is seen by all at once.
class SharedMapping {
  public:
    // Null when the file cannot be opened or mapped, or has another size.
    static std::unique_ptr<SharedMapping> Map(const std::filesystem::path &path, std::size_t size);
    ~SharedMapping();
    SharedMapping(const SharedMapping &) = delete;
    SharedMapping &operator=(const SharedMapping &) = delete;

    void *Data() const
    {
        return data_;
    }

    // The bytes from `at` on, on the disk when it returns true.
    bool Flush(const void *at, std::size_t length);

  private:
    SharedMapping() = default;
    void *data_ = nullptr;
    std::size_t size_ = 0;
#if defined(_WIN32)
    void *file_ = nullptr, *section_ = nullptr;
#else
    int fd_ = -1;
#endif
};

// This process as no other, living or dead: its id and the moment it
// started, so that an id the system hands out again is not taken for it.
std::uint64_t ProcessIdentity();
// False once the process of that identity has ended.
bool ProcessAlive(std::uint64_t identity);

// A lock that every process naming the same file takes in turn (a named
// mutex on Windows, a lock file beside it on the host). A program that dies
// holding it lets the next one in.
class NamedLock {
  public:
    explicit NamedLock(const std::filesystem::path &path);
    ~NamedLock();
    NamedLock(const NamedLock &) = delete;
    NamedLock &operator=(const NamedLock &) = delete;
    void Lock();
    void Unlock();

  private:
#if defined(_WIN32)
    void *mutex_ = nullptr;
#else
    int fd_ = -1;
#endif
};

std::FILE *OpenForAppend(const std::filesystem::path &path);

// A diagnostic for whoever watches (the debugger output on Windows).
void DebugNote(const std::string &text);

// Something the user must hear of: on Windows a "tzsim: ..." line on the
// process's standard error when it has one or a console, else a message box
// captioned "tzsim". Nothing on the host, whose tests read Notices().
void TellUser(const std::string &text);

}  // namespace tzsim
