// tzctl selftest: the bring-up self-test of one card or all of them, and
// the forms its report takes for people (text) and test stations (JSON,
// JUnit XML).
#pragma once

#include <string>
#include <vector>

#include "selftest.h"
#include "tzctl.h"

namespace CLI {
class App;
}

struct SelftestArgs {
    std::vector<std::string> only, skip;
    std::string junit;
    bool irq = false;
    bool destructive = false;
};

CLI::App *AddSelftestCommand(CLI::App &app, SelftestArgs &args);

// card: the one to test, or -1 for every card that answers.
int RunSelftestCommand(CliHost &host, const DeviceLibrary &lib, int card, bool asJson,
                       const SelftestArgs &args);

// One card's section of the text report, closed by its summary line.
std::string SelftestText(const board::SelftestReport &report);
// One card as one JSON object on one line.
std::string SelftestJson(const board::SelftestReport &report);
// Every card as a testsuite of one JUnit XML document.
std::string SelftestJunit(const std::vector<board::SelftestReport> &reports);
