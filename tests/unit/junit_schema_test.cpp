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

TEST(JunitSchema, ReportsAreValid)
{
    board::SelftestReport report;
    report.checks.resize(3);
    report.checks[1].verdict = board::Verdict::Fail;
    report.checks[2].verdict = board::Verdict::Skip;
    const std::vector<tzctl::CardRun> cards = {{0, report, tzctl::kExitOk, ""},
                                               {1, std::nullopt, tzctl::kExitNoCard, "no card"}};

    const tzctl::RunFacts facts = {"SN7", "bench-1", "2026-12-08T17:58:03+01:00", "", {}};

    const struct {
        std::string xml;
        bool valid;
    } kRows[] = {
        {tzctl::SelftestJunit(cards, "lib", facts), true},
        {tzctl::SelftestJunit(cards, "lib", {}), true},
        {"<testsuites><testsuite tests=\"1\"/></testsuites>", false},
        {"<testsuites><testsuite name=\"a\" tests=\"1\" "
         "timestamp=\"2026-12-08T17:58:03+01:00\"/></testsuites>",
         false},
    };

    for (const auto &row : kRows)
        EXPECT_EQ(Valid(row.xml), row.valid) << row.xml;
}

}  // namespace
