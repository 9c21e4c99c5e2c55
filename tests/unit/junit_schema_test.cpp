// The JUnit report against the strict schema CI servers validate it by, and
// the schema itself rejecting a file it must, so the check can fail.
#include <gtest/gtest.h>
#include <libxml/xmlschemas.h>
#include <string>
#include "report.h"
#include "sim_control.h"

namespace {

bool Valid(const std::string &xml)
{
    xmlSchemaParserCtxtPtr parser = xmlSchemaNewParserCtxt(JUNIT_XSD);
    xmlSchemaPtr schema = xmlSchemaParse(parser);
    xmlSchemaValidCtxtPtr check = xmlSchemaNewValidCtxt(schema);
    xmlDocPtr doc = xmlReadMemory(xml.data(), static_cast<int>(xml.size()), "r.xml", nullptr, 0);
    const bool valid = schema && doc && xmlSchemaValidateDoc(check, doc) == 0;
    xmlFreeDoc(doc);
    xmlSchemaFreeValidCtxt(check);
    xmlSchemaFree(schema);
    xmlSchemaFreeParserCtxt(parser);
    return valid;
}

tzctl::RunFacts Facts(const char *serial)
{
    return {serial, "bench-1", "2026-12-08T17:58:03+01:00", "2026-12-08T17:58:04+01:00", {}};
}

TEST(JunitSchema, ReportsAreValid)
{
    board::SelftestReport report;
    for (const board::Verdict verdict :
         {board::Verdict::Pass, board::Verdict::Fail, board::Verdict::Skip}) {
        report.checks.emplace_back();
        report.checks.back().name = "check";
        report.checks.back().verdict = verdict;
    }
    const std::vector<tzctl::CardRun> cards = {{0, report, tzctl::kExitOk, ""},
                                               {1, std::nullopt, tzctl::kExitNoCard, "no card"}};

    const struct {
        std::string xml;
        bool valid;
    } kRows[] = {
        {tzctl::SelftestJunit(cards, "lib", Facts("SN7")), true},
        {tzctl::SelftestJunit(cards, "lib", Facts("")), true},
        {tzctl::SelftestJunit({}, "lib", Facts("")), true},
        {"<testsuites><testsuite tests=\"1\"/></testsuites>", false},
        {"<testsuites><testsuite name=\"a\" tests=\"1\" "
         "timestamp=\"2026-12-08T17:58:03+01:00\"/></testsuites>",
         false},
    };

    for (const auto &row : kRows)
        EXPECT_EQ(Valid(row.xml), row.valid) << row.xml;
}

}  // namespace
