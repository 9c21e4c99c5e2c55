// The standard output and error streams, which may be a console window, a
// file or a pipe.
#pragma once

#include <string>

enum class StdStream {
    Out,
    Err
};

bool IsConsole(StdStream stream);
// Writes UTF-8 text: a console gets it as UTF-16, a file or a pipe the bytes
// as they are. False when any of it could not be written.
bool WriteStd(StdStream stream, const std::string &text);
