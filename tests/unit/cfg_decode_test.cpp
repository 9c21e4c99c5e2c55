// cfg decode against Debian's lspci reading cfg dump's output of the same
// card, an independent decoder; and the capability walk's guards.
#include <gtest/gtest.h>
#include <cstdio>
#include <sstream>
#include <unistd.h>
#include "config_space.h"
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
    char path[] = "/tmp/cfg_decode_XXXXXX";
    const int fd = mkstemp(path);
    EXPECT_EQ(write(fd, dump.data(), dump.size()), static_cast<ssize_t>(dump.size()));
    close(fd);
    std::string text;
    if (FILE *p = popen(("lspci -F " + std::string(path) + " -vv 2>/dev/null").c_str(), "r")) {
        char buf[256];
        while (std::fgets(buf, sizeof buf, p))
            text += buf;
        pclose(p);
    }
    unlink(path);
    return text;
}

// Our lines without the sizes, which lspci cannot know from a dump.
std::string WithoutSizes(std::string text)
{
    for (std::size_t at; (at = text.find(" [size=")) != std::string::npos;)
        text.erase(at, text.find(']', at) - at + 1);
    return text;
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
    if (system("lspci --version >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "lspci is not installed (scripts/setup-deps.sh installs pciutils)";
    for (const LspciCase &c : kLspciCases) {
        SCOPED_TRACE(std::string("card ") + c.card + ", " + c.config);
        tzsim::Reset(c.config);
        FakeHost host;
        for (const std::vector<std::string> &command : c.before)
            Tzctl(host, command);
        const std::string lspci = Lspci(Tzctl(host, {"--card", c.card, "cfg", "dump"}));
        const std::string decoded =
            "\n" + WithoutSizes(Tzctl(host, {"--card", c.card, "cfg", "decode"}));
        std::istringstream lines(lspci);
        int compared = 0;
        for (std::string line; std::getline(lines, line) && !line.empty(); ++compared)
            EXPECT_NE(decoded.find("\n" + line + "\n"), std::string::npos) << line << "\nin\n"
                                                                           << decoded;
        EXPECT_GE(compared, 6) << lspci;
    }
}

struct WalkRow {
    UCHAR start;
    std::vector<std::pair<UCHAR, UCHAR>> links;  // capability offset, its next pointer
    CapabilityList::End end;
    UCHAR stop;
    std::size_t entries;
};

const WalkRow kWalkRows[] = {
    {0x40, {{0x40, 0x50}, {0x50, 0x00}}, CapabilityList::Complete, 0x00, 2},
    {0x40, {{0x40, 0x50}, {0x50, 0x40}}, CapabilityList::Looped, 0x40, 2},
    {0xfc, {{0xfc, 0xfc}}, CapabilityList::Looped, 0xfc, 1},
    {0x38, {}, CapabilityList::BelowHeader, 0x38, 0},
    {0x40, {{0x40, 0x3c}}, CapabilityList::BelowHeader, 0x3c, 1},
    {0x40, {{0x40, 0xff}}, CapabilityList::Unaligned, 0xff, 1},
    {0x42, {}, CapabilityList::Unaligned, 0x42, 0},
};

TEST(CfgDecode, CapabilityWalkStopsAtABadList)
{
    for (const WalkRow &row : kWalkRows) {
        SCOPED_TRACE(row.start);
        std::vector<std::uint8_t> bytes(0x100);
        bytes[0x06] = 0x10;
        bytes[0x34] = row.start;
        for (const auto &[at, next] : row.links)
            bytes[at + 1] = next;
        const CapabilityList list = board::WalkCapabilities(bytes);
        EXPECT_EQ(list.end, row.end);
        EXPECT_EQ(list.pointer, row.stop);
        EXPECT_EQ(list.entries.size(), row.entries);
    }
}

TEST(CfgDecode, NoListWithoutTheStatusBit)
{
    std::vector<std::uint8_t> bytes(0x100);
    bytes[0x34] = 0x40;
    EXPECT_EQ(board::WalkCapabilities(bytes).end, CapabilityList::Absent);
}

}  // namespace
