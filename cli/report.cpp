// The selftest's report in its three forms. Times are seconds with three
// decimals in every form, so they agree with one another.
#include <cstdio>

#include "report.h"

#include "context.h"

namespace tzctl {

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

nlohmann::ordered_json SelftestJson(const CardRun &c)
{
    using json = nlohmann::ordered_json;
    if (!c.report)
        return {{"card", c.index}, {"error", {{"code", c.code}, {"message", c.error}}}};
    const board::SelftestReport &r = *c.report;
    json checks = json::array();
    for (const board::CheckResult &check : r.checks) {
        json facts = json::object();
        for (const board::Fact &f : check.facts)
            facts[f.key] = f.kind == board::Fact::Text     ? json(f.text)
                           : f.kind == board::Fact::Number ? json(f.numbers.front())
                                                           : json(f.numbers);
        checks.push_back({{"name", check.name},
                          {"outcome", Outcome(check.verdict)},
                          {"finding", check.finding},
                          {"seconds", std::stod(Seconds(check.seconds))},
                          {"facts", facts}});
        if (check.loops) {
            checks.back()["loops"] = check.loops;
            checks.back()["failing_loops"] = check.failingLoops;
        }
    }
    return {{"card", r.card.index},
            {"chip", board::ChipName(r.card.chip)},
            {"passed", r.Count(board::Verdict::Pass)},
            {"failed", r.Count(board::Verdict::Fail)},
            {"skipped", r.Count(board::Verdict::Skip)},
            {"seconds", std::stod(Seconds(r.seconds))},
            {"interrupted", r.interrupted},
            {"not_restored", r.notRestored},
            {"checks", checks}};
}

std::string RunFactsText(const RunFacts &f)
{
    return (f.serial.empty() ? "" : "board " + f.serial + " ") + "at station " + f.station +
           ", started " + f.started + "\n";
}

std::string SelftestLogLine(const CardRun &c, const RunFacts &f, int exitCode)
{
    using json = nlohmann::ordered_json;
    const board::SelftestReport *r = c.report ? &*c.report : nullptr;
    const bool error = !r || r->interrupted || !r->notRestored.empty();
    json failed = json::array();
    for (const board::CheckResult &check : r ? r->checks : std::vector<board::CheckResult>())
        if (check.verdict == board::Verdict::Fail)
            failed.push_back({{"check", check.name}, {"finding", check.finding}});
    json line = {{"serial", f.serial},
                 {"station", f.station},
                 {"started", f.started},
                 {"finished", f.finished},
                 {"outcome", error            ? "ERROR"
                             : failed.empty() ? "PASS"
                                              : "FAIL"},
                 {"failed", failed},
                 {"error", r ? "" : c.error},
                 {"not_restored", r ? r->notRestored : std::vector<std::string>()},
                 {"exit_code", exitCode},
                 {"tool_version", TZCTL_VERSION},
                 {"library_version", f.library.version},
                 {"simulated", f.library.simulated},
                 {"card", c.index},
                 {"chip", r ? board::ChipName(r->card.chip) : ""}};
    return JsonLine(line);
}

namespace {

std::string Attribute(const char *name, const std::string &value)
{
    return std::string(" ") + name + "=\"" + Escaped(value) + "\"";
}

std::string Case(const std::string &classname, const std::string &name, const std::string &time,
                 const char *outcome = nullptr, const std::string &message = "")
{
    std::string xml = "    <testcase" + Attribute("classname", classname) +
                      Attribute("name", name) + Attribute("time", time);
    if (!outcome)
        return xml + "/>\n";
    return xml + ">\n      <" + outcome + Attribute("message", message) + "/>\n    </testcase>\n";
}

std::string Property(const std::string &name, const std::string &value)
{
    return "      <property" + Attribute("name", name) + Attribute("value", value) + "/>\n";
}

// What the station keeps of the board beside the results: the identity as
// the checks read it, and what tested it.
std::string Properties(const CardRun *c, const std::string &library, const RunFacts &f)
{
    if (f.serial.empty())
        return "    <properties>\n" + Property("library", library) + "    </properties>\n";
    std::string xml =
        "    <properties>\n" + Property("serial", f.serial) + Property("station", f.station);
    if (c)
        xml += Property("card", std::to_string(c->index));
    if (c && c->report) {
        xml += Property("chip", board::ChipName(c->report->card.chip));
        for (const char *key : {"vid", "did", "svid", "sid"})
            for (const board::CheckResult &check : c->report->checks)
                for (const board::Fact &f : check.facts)
                    if (f.key == key && xml.find("\"" + f.key + "\"") == std::string::npos)
                        xml += Property(key, f.text);
    }
    return xml + Property("tool_version", TZCTL_VERSION) + Property("library", library) +
           Property("library_path", f.library.path) +
           Property("library_version", f.library.version) + "    </properties>\n";
}

}  // namespace

std::string SelftestJunit(const std::vector<CardRun> &cards, const std::string &library,
                          const RunFacts &f)
{
    std::string suites;
    unsigned tests = 0, failures = 0, errors = 0;
    double seconds = 0;
    const CardRun *current = nullptr;
    // The strict form of a timestamp has no zone.
    const std::string stamp = f.started.substr(0, 19);
    auto suite = [&](const std::string &name, unsigned cases, unsigned failed, unsigned error,
                     unsigned skip, double time, const std::string &body) {
        suites += "  <testsuite" +
                  Attribute("name", f.serial.empty() || !current
                                        ? name
                                        : f.serial + " card " + std::to_string(current->index)) +
                  Attribute("tests", std::to_string(cases)) +
                  Attribute("failures", std::to_string(failed)) +
                  Attribute("errors", std::to_string(error)) +
                  Attribute("skipped", std::to_string(skip)) + Attribute("time", Seconds(time)) +
                  (stamp.empty() ? "" : Attribute("timestamp", stamp)) +
                  (f.station.empty() ? "" : Attribute("hostname", f.station)) + ">\n" +
                  Properties(current, library, f) + body + "  </testsuite>\n";
        tests += cases;
        failures += failed;
        errors += error;
        seconds += time;
    };
    if (cards.empty())
        suite("selftest", 1, 0, 1, 0, 0,
              Case("selftest", "cards", "0.000", "error", "no card answers"));
    for (const CardRun &c : cards) {
        current = &c;
        const std::string classname =
            "selftest." + (f.serial.empty() ? "card" + std::to_string(c.index) : f.serial);
        if (!c.report) {
            suite("card " + std::to_string(c.index), 1, 0, 1, 0, 0,
                  Case(classname, "open", "0.000", "error", c.error));
            continue;
        }
        const board::SelftestReport &r = *c.report;
        std::string body;
        for (const board::CheckResult &check : r.checks) {
            const char *outcome = check.verdict == board::Verdict::Pass   ? nullptr
                                  : check.verdict == board::Verdict::Fail ? "failure"
                                                                          : "skipped";
            body += Case(classname, check.name, Seconds(check.seconds), outcome, check.finding);
        }
        // Something left changed is a failure a test station must not miss.
        std::string lost;
        for (const std::string &what : r.notRestored)
            lost += (lost.empty() ? "" : "; ") + what;
        if (!lost.empty())
            body += Case(classname, "restore", "0.000", "failure", lost);
        suite(CardName(r), static_cast<unsigned>(r.checks.size() + !lost.empty()),
              r.Count(board::Verdict::Fail) + !lost.empty(), 0, r.Count(board::Verdict::Skip),
              r.seconds, body);
    }
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<testsuites name=\"tzctl selftest\"" +
           Attribute("tests", std::to_string(tests)) +
           Attribute("failures", std::to_string(failures)) +
           Attribute("errors", std::to_string(errors)) + Attribute("time", Seconds(seconds)) +
           ">\n" + suites + "</testsuites>\n";
}

}  // namespace tzctl
