// The selftest's report in its three forms. Times are seconds with three
// decimals in every form, so they agree with one another.
#include <cstdio>

#include <nlohmann/json.hpp>

#include "report.h"

namespace {

const char *Outcome(board::Verdict v)
{
    return v == board::Verdict::Pass ? "PASS" : v == board::Verdict::Fail ? "FAIL" : "SKIP";
}

std::string Seconds(double s)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", s);
    return text;
}

std::string CardName(const board::SelftestReport &r)
{
    return "card " + std::to_string(r.card.index) + " " + board::ChipName(r.card.chip);
}

// Attribute values: the five characters XML reserves, and control
// characters XML 1.0 cannot carry at all.
std::string Escaped(const std::string &text)
{
    std::string out;
    for (char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        case '\'':
            out += "&apos;";
            break;
        default:
            out += static_cast<unsigned char>(c) < 0x20 ? ' ' : c;
        }
    }
    return out;
}

}  // namespace

std::string SelftestText(const board::SelftestReport &r)
{
    std::string text;
    for (const std::string &what : r.notRestored)
        text += "NOT RESTORED: " + what + "\n";
    for (const board::CheckResult &c : r.checks) {
        char line[64];
        std::snprintf(line, sizeof line, "%-10s %s %7s s  ", c.name.c_str(), Outcome(c.verdict),
                      Seconds(c.seconds).c_str());
        text += line + c.finding + "\n";
    }
    return text + CardName(r) + ": " + std::to_string(r.Count(board::Verdict::Pass)) + " passed, " +
           std::to_string(r.Count(board::Verdict::Fail)) + " failed, " +
           std::to_string(r.Count(board::Verdict::Skip)) + " skipped in " + Seconds(r.seconds) +
           " s\n";
}

std::string SelftestJson(const board::SelftestReport &r)
{
    using json = nlohmann::ordered_json;
    json checks = json::array();
    for (const board::CheckResult &c : r.checks) {
        json facts = json::object();
        for (const auto &[key, value] : c.facts)
            facts[key] = value;
        checks.push_back({{"name", c.name},
                          {"outcome", Outcome(c.verdict)},
                          {"finding", c.finding},
                          {"seconds", std::stod(Seconds(c.seconds))},
                          {"facts", facts}});
    }
    const json card = {{"card", r.card.index},
                       {"chip", board::ChipName(r.card.chip)},
                       {"passed", r.Count(board::Verdict::Pass)},
                       {"failed", r.Count(board::Verdict::Fail)},
                       {"skipped", r.Count(board::Verdict::Skip)},
                       {"seconds", std::stod(Seconds(r.seconds))},
                       {"not_restored", r.notRestored},
                       {"checks", checks}};
    return card.dump() + "\n";
}

std::string SelftestJunit(const std::vector<board::SelftestReport> &reports)
{
    std::string suites;
    unsigned tests = 0, failures = 0, skipped = 0;
    double seconds = 0;
    for (const board::SelftestReport &r : reports) {
        // Something left changed is a failure a test station must not miss.
        const unsigned cases = static_cast<unsigned>(r.checks.size() + !r.notRestored.empty());
        const unsigned failed = r.Count(board::Verdict::Fail) + !r.notRestored.empty();
        const std::string classname = "selftest.card" + std::to_string(r.card.index);
        suites += "  <testsuite name=\"" + CardName(r) + "\" tests=\"" + std::to_string(cases) +
                  "\" failures=\"" + std::to_string(failed) + "\" errors=\"0\" skipped=\"" +
                  std::to_string(r.Count(board::Verdict::Skip)) + "\" time=\"" +
                  Seconds(r.seconds) + "\">\n";
        for (const board::CheckResult &c : r.checks) {
            suites += "    <testcase classname=\"" + classname + "\" name=\"" + c.name +
                      "\" time=\"" + Seconds(c.seconds) + "\"";
            if (c.verdict == board::Verdict::Pass)
                suites += "/>\n";
            else
                suites += std::string(">\n      <") +
                          (c.verdict == board::Verdict::Fail ? "failure" : "skipped") +
                          " message=\"" + Escaped(c.finding) + "\"/>\n    </testcase>\n";
        }
        std::string lost;
        for (const std::string &what : r.notRestored)
            lost += (lost.empty() ? "" : "; ") + what;
        if (!lost.empty())
            suites += "    <testcase classname=\"" + classname +
                      "\" name=\"restore\" time=\"0.000\">\n      <failure message=\"" +
                      Escaped(lost) + "\"/>\n    </testcase>\n";
        suites += "  </testsuite>\n";
        tests += cases;
        failures += failed;
        skipped += r.Count(board::Verdict::Skip);
        seconds += r.seconds;
    }
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<testsuites name=\"tzctl selftest\" "
           "tests=\"" +
           std::to_string(tests) + "\" failures=\"" + std::to_string(failures) +
           "\" errors=\"0\" skipped=\"" + std::to_string(skipped) + "\" time=\"" +
           Seconds(seconds) + "\">\n" + suites + "</testsuites>\n";
}
