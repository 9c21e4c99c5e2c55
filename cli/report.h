// tzctl selftest's report in the forms people (text) and test stations (JSON,
// JUnit XML) read.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "exit_code.h"
#include "host.h"
#include "selftest.h"

namespace tzctl {

// One card asked for: its report, or why it was not tested (the exit code
// that says so, and the words).
struct CardRun {
    ULONG index = 0;
    std::optional<board::SelftestReport> report;
    ExitCode code = kExitOk;
    std::string error;
};

// Which board was tested where and when, as the station's records keep it;
// serial empty: a run without one. Times are ISO 8601 with the UTC offset.
struct RunFacts {
    std::string serial, station, started, finished;
    CliHost::LibraryInfo library;
};

// The line beside the library's: "board SN at station NAME, started TIME".
std::string RunFactsText(const RunFacts &facts);
// One card and run as one line of the results log, its newline included.
std::string SelftestLogLine(const CardRun &card, const RunFacts &facts, int exitCode);

// One card's section of the text report, closed by its summary line.
std::string SelftestText(const board::SelftestReport &report);
// One card as one JSON object.
nlohmann::ordered_json SelftestJson(const CardRun &card);
// Every card asked for as a testsuite of one JUnit XML document, a card not
// tested as an error; library names the library the cards were reached by.
// No card at all is an error too, so the file never reads as a clean run.
std::string SelftestJunit(const std::vector<CardRun> &cards, const std::string &library,
                          const RunFacts &facts = {});

}  // namespace tzctl
