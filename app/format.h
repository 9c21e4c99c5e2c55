// printf-style formatting into a std::string, for the texts the dialog shows.
#pragma once

#include <string>

std::string Format(const char *format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;
