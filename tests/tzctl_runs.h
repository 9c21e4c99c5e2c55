// tzctl command lines as a script runs them, one after another, and how a
// table row judges the last: the same for the commands run in process on the
// host and for tzctl.exe run as a process under Wine.
#pragma once

#include <gtest/gtest.h>
#include <string>

namespace tzctl_runs {

struct Run {
    int exit = -1;
    std::string out, err;
};

// commands: " ; " between runs, all but the last succeed; runOne runs one
// command line and answers with its Run. The last run is returned.
template <class RunOne> Run RunAll(const std::string &commands, RunOne runOne)
{
    Run run{0, "", ""};
    for (std::size_t from = 0, semi = 0; semi != std::string::npos; from = semi + 3) {
        if (run.exit != 0) {
            ADD_FAILURE() << "an earlier command failed: " << run.err;
            return run;
        }
        semi = commands.find(" ; ", from);
        run = runOne(commands.substr(from, semi - from));
    }
    return run;
}

// text: how stdout starts (or is found in it, when text starts with a
// newline) on success, else stderr whole; with --json an error is also one
// object on stdout, its message without "tzctl: ".
inline void ExpectRun(const Run &run, const std::string &commands, int exit,
                      const std::string &text)
{
    EXPECT_EQ(run.exit, exit);
    EXPECT_EQ(run.err, exit ? text : "");
    // selftest's report goes to stdout whatever its checks found.
    if (exit && commands.find("selftest") != std::string::npos)
        return;
    if (exit) {
        const bool json = commands.find("--json") != std::string::npos;
        const std::string message = text.substr(7, text.size() - 8);
        EXPECT_EQ(run.out, json ? "{\"error\":{\"code\":" + std::to_string(exit) +
                                      ",\"message\":\"" + message + "\"}}\n"
                                : "");
        return;
    }
    const std::size_t at = run.out.find(text);
    EXPECT_TRUE(text[0] == '\n' ? at != std::string::npos : at == 0) << run.out;
    // A JSON answer is one whole line, as a station reads it.
    const std::size_t last = commands.rfind(" ; ");
    if (commands.find("--json", last == std::string::npos ? 0 : last) != std::string::npos) {
        EXPECT_EQ(run.out.find('\n'), run.out.size() - 1) << run.out;
    }
}

}  // namespace tzctl_runs
