// tzctl: the bench from the command line. Everything but the process's own
// entry lives here, portable, so the commands run in host tests against the
// simulated library.
#pragma once

#include <string>
#include <vector>

#include "exit_code.h"
#include "host.h"

// Runs one command line (without the program name); returns the exit code.
// Nothing escapes it: an error is one "tzctl: ..." line on stderr and, with
// --json, {"error":{"code":N,"message":"..."}} on stdout.
int RunTzctl(const std::vector<std::string> &args, CliHost &host);
