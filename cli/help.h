// tzctl's own words around the command line: help laid out as the README
// names each argument, and every mistake CLI11 finds told as one line that
// says what to type instead.
#pragma once

#include <memory>
#include <string>

#include <CLI/CLI.hpp>

namespace tzctl {

// Set on the top app before any command is added, which each inherits.
std::shared_ptr<CLI::FormatterBase> HelpFormat();
// The word help shows for an option's value: its choices as "byte|word|dword",
// else the name the command gave it (every option with a value names it as
// the README does, so that no CLI11 "TEXT" shows).
std::string ValueName(const CLI::Option &option);
// The line for a parse error (without "tzctl: "), read from the error's kind
// and from what `app` holds after the failed parse.
std::string ParseMistake(const CLI::App &app, const CLI::ParseError &error);

}  // namespace tzctl
