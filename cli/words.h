// The few ways tzctl words its text.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace tzctl {

// printf into a string as long as the text needs.
std::string Format(const char *format, ...);
// Edits (insert, delete, change, swap two neighbours) from one word to the
// other: "lsit" is one from "list".
std::size_t Distance(const std::string &a, const std::string &b);
// "1 byte", "2 bytes".
std::string Counted(std::size_t n, const std::string &noun);
// "1 byte differs", "2 bytes differ".
std::string BytesDiffer(std::size_t n);
// "a, b, c".
std::string Join(const std::vector<std::string> &parts);

}  // namespace tzctl
