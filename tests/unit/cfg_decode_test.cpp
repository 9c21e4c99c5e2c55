// cfg decode against Debian's lspci reading cfg dump's output of the same
// card, an independent decoder; and the capability walk's guards.
#include <gtest/gtest.h>
#include <cstdio>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <unistd.h>
#include "cfg_decode.h"
#include "config_space.h"
#include "dumps.h"
#include "sim_control.h"
#include "tzctl.h"
#include "../fake_cli_host.h"

namespace {
using board::CapabilityList;

std::string Tzctl(FakeHost &host, const std::vector<std::string> &args)
{
    host.out.clear();
    EXPECT_EQ(RunTzctl(args, host), 0) << host.err;
    return host.out;
}

std::string Lspci(const std::string &dump)
{
    const std::string path = testing::TempDir() + "cfg_decode_dump.txt";
    std::ofstream(path) << dump;
    std::string text;
    FILE *p = popen(("lspci -F " + path + " -vv 2>/dev/null").c_str(), "r");
    for (char buf[256]; p && std::fgets(buf, sizeof buf, p);)
        text += buf;
    if (p)
        pclose(p);
    return text;
}

// Our lines without the sizes, which lspci cannot know from a dump.
std::string WithoutSizes(std::string text)
{
    for (std::size_t at; (at = text.find(" [size=")) != std::string::npos;)
        text.erase(at, text.find(']', at) - at + 1);
    return text;
}

// Each line lspci prints of the device, but the capabilities it takes
// further apart, is one of ours.
void ExpectLspciLines(const std::string &lspci, const std::string &decoded)
{
    std::istringstream lines(lspci);
    int compared = 0;
    for (std::string line; std::getline(lines, line) && !line.empty(); ++compared) {
        if (line.rfind("\tCapabilities", 0) != 0 && line.rfind("\t\t", 0) != 0) {
            EXPECT_NE(decoded.find("\n" + line + "\n"), std::string::npos) << line << "\nin\n"
                                                                           << decoded;
        }
    }
    EXPECT_GE(compared, 6) << lspci;
}

struct LspciCase {
    const char *card, *config;
    std::vector<std::vector<std::string>> before;  // commands run first
};

const LspciCase kLspciCases[] = {
    {"0", "", {}},
    {"1", "", {}},
    {"0", "", {{"cfg", "set", "4", "07", "05"}}},
    {"1", "io_base 1 = 0x100\nint_line 1 = 0\n", {{"--card", "1", "cfg", "set", "4", "00"}}},
    {"0", "", {{"cfg", "set", "4", "04"}, {"cfg", "set", "c", "00", "40"}}},
};

TEST(CfgDecode, SaysWhatLspciSaysOfTheDump)
{
    for (const LspciCase &c : kLspciCases) {
        SCOPED_TRACE(std::string("card ") + c.card + ", " + c.config);
        tzsim::Reset(c.config);
        FakeHost host;
        for (const std::vector<std::string> &command : c.before)
            Tzctl(host, command);
        const std::string lspci = Lspci(Tzctl(host, {"--card", c.card, "cfg", "dump"}));
        const std::string decoded =
            "\n" + WithoutSizes(Tzctl(host, {"--card", c.card, "cfg", "decode"}));
        ExpectLspciLines(lspci, decoded);
    }
}

// Bytes laid over card 0's configuration space: what the simulated card
// never shows.
struct Patch {
    std::size_t at;
    std::vector<std::uint8_t> bytes;
};

const std::vector<Patch> kPatchRows[] = {
    {{0x04, {0xff, 0x07}}},
    {{0x06, {0xf8, 0xff}}},
    {{0x06, {0x00, 0x04}}},
    {{0x06, {0x01, 0x00}}},
    {{0x04, {0x04}}, {0x09, {0x01}}, {0x3e, {0x03, 0x04}}},
    {{0x04, {0x04}}, {0x3e, {0x00, 0x04}}, {0x3d, {0x00}}},
    {{0x14, {0x08, 0x00, 0xb0, 0xfe}}, {0x18, {0x0c, 0, 0, 0xe0, 0, 0, 0, 0}}},
    {{0x0a, {0x01, 0xee}}},
};

TEST(CfgDecode, SaysWhatLspciSaysOfOtherHeaders)
{
    tzsim::Reset("");
    FakeHost host;
    Tzctl(host, {"--json", "cfg", "dump"});
    const std::vector<std::uint8_t> sim = nlohmann::json::parse(host.out)["bytes"];
    for (const std::vector<Patch> &patches : kPatchRows) {
        std::vector<std::uint8_t> bytes = sim;
        for (const Patch &p : patches)
            std::copy(p.bytes.begin(), p.bytes.end(), bytes.begin() + p.at);
        SCOPED_TRACE(tzctl::ConfigDump(bytes));
        const std::string line = tzctl::PciDeviceLine(0, bytes);
        const board::ConfigHeader h = board::DecodeConfigSpace(bytes, board::Chip::TZ820);
        ExpectLspciLines(Lspci(line + tzctl::ConfigDump(bytes)),
                         "\n" + WithoutSizes(tzctl::DecodedText(h, line, "")));
    }
}

TEST(CfgDecode, JsonNamesTheCapabilityList)
{
    tzsim::Reset("");
    FakeHost host;
    const nlohmann::json decoded = nlohmann::json::parse(Tzctl(host, {"--json", "cfg", "decode"}));
    EXPECT_EQ(decoded["capabilities"], nlohmann::json::array()) << decoded;
    EXPECT_EQ(decoded["capability_list"], "absent") << decoded;
}

struct WalkRow {
    UCHAR status, start;
    std::vector<std::pair<UCHAR, UCHAR>> links;  // capability offset, its next pointer
    CapabilityList::End end;
    UCHAR stop;
    std::size_t entries;
    const char *text;
};

// clang-format off
const WalkRow kWalkRows[] = {
    {0x10, 0x40, {{0x40, 0x50}, {0x50, 0x00}}, CapabilityList::Complete, 0x00, 2, "\tCapabilities: [40] ID 07\n\tCapabilities: [50] ID 07\n"},
    {0x10, 0x40, {{0x40, 0x50}, {0x50, 0x40}}, CapabilityList::Looped, 0x40, 2, "\tCapabilities: [40] ID 07\n\tCapabilities: [50] ID 07\n\tCapabilities: [40] <chain looped>\n"},
    {0x10, 0xfc, {{0xfc, 0xfc}}, CapabilityList::Looped, 0xfc, 1, "\tCapabilities: [fc] ID 07\n\tCapabilities: [fc] <chain looped>\n"},
    {0x10, 0x38, {}, CapabilityList::BelowHeader, 0x38, 0, "\tCapabilities: <pointer 38 below 0x40; the list stops>\n"},
    {0x10, 0x40, {{0x40, 0x3c}}, CapabilityList::BelowHeader, 0x3c, 1, "\tCapabilities: [40] ID 07\n\tCapabilities: <pointer 3c below 0x40; the list stops>\n"},
    {0x10, 0x40, {{0x40, 0xff}}, CapabilityList::Unaligned, 0xff, 1, "\tCapabilities: [40] ID 07\n\tCapabilities: <pointer ff not dword aligned; the list stops>\n"},
    {0x10, 0x42, {}, CapabilityList::Unaligned, 0x42, 0, "\tCapabilities: <pointer 42 not dword aligned; the list stops>\n"},
    {0x00, 0x40, {{0x40, 0x00}}, CapabilityList::Absent, 0x00, 0, "\tCapabilities: <none>\n"},
};

// clang-format on

TEST(CfgDecode, CapabilityWalkStopsAtABadList)
{
    for (const WalkRow &row : kWalkRows) {
        SCOPED_TRACE(row.start);
        std::vector<std::uint8_t> bytes(0x100);
        bytes[0x06] = row.status;
        bytes[0x34] = row.start;
        for (const auto &[at, next] : row.links) {
            bytes[at] = 0x07;
            bytes[at + 1] = next;
        }
        const CapabilityList list = board::WalkCapabilities(bytes);
        EXPECT_EQ(list.end, row.end);
        EXPECT_EQ(list.pointer, row.stop);
        EXPECT_EQ(list.entries.size(), row.entries);
        EXPECT_EQ(tzctl::CapabilitiesText(list), row.text);
    }
}

}  // namespace
