// What every host can answer alike about files.
#include "host.h"

#include <filesystem>

bool CliHost::CanCreate(const std::string &path)
{
    namespace fs = std::filesystem;
    const fs::path file = fs::u8path(path);
    const fs::path folder = file.has_parent_path() ? file.parent_path() : fs::path(".");
    std::error_code error;
    return fs::is_directory(folder, error) && !fs::is_directory(file, error);
}

bool CliHost::Exists(const std::string &path)
{
    std::error_code error;
    return std::filesystem::exists(std::filesystem::u8path(path), error);
}
