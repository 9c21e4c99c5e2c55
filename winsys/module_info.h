// Which file a loaded module came from and what its version block says, so a
// program can tell which library it bound.
#pragma once

#include <string>

// The full path (UTF-8) of the module of this name loaded in the process
// (nullptr: the program itself); empty when none is.
std::string LoadedModulePath(const wchar_t *name);

struct VersionBlock {
    std::string fileVersion;  // "1.0.3.0"
    std::string productName;  // the StringFileInfo's ProductName
};

// The version block of the file at this UTF-8 path; empty fields for a file
// without one, or without that value.
VersionBlock ReadVersionBlock(const std::string &path);
