// Every failing library call, one at a time: each command that changes a card
// and puts it back, or claims a result, runs once for every call it makes with
// that one call failing, and must then either have done exactly what it meant
// or say it did not; and where the card is left otherwise than it was found,
// say "not restored" with exit 7. Its reports must still parse.
#include <gtest/gtest.h>
#include <functional>
#include <iterator>
#include <sstream>
#include <map>
#include <nlohmann/json.hpp>
#include <tinyxml2.h>
#include "card_session.h"
#include "panels.h"
#include "selftest.h"
#include "../fake_cli_host.h"

namespace {
using Bytes = std::vector<std::uint8_t>;
using Counts = std::map<std::string, std::size_t>;

Counts CallCounts()
{
    Counts counts;
    for (const tzsim::Call &call : tzsim::Calls())
        ++counts[call.name];
    return counts;
}

// Time passes only for the interrupt thread.
struct SweepHost : FakeHost {
    void Sleep(unsigned) override
    {
        tzsim::WaitForInterrupts(5);
    }
};

Bytes Image()
{
    Bytes image(0x10000);
    for (std::size_t i = 0; i < image.size(); ++i)
        image[i] = static_cast<std::uint8_t>(i * 7 + 1);
    return image;
}

// Where the snapshot holds the flash and card 0's EEPROM.
constexpr std::size_t kFlashAt = 0, kEepromAt = 0x10000 + 0x200;

// What i2c restore writes past the identity block, which it leaves as it is.
Bytes EepromTail()
{
    Bytes tail(0xE0);
    for (std::size_t i = 0; i < tail.size(); ++i)
        tail[i] = static_cast<std::uint8_t>(i ^ 0x5A);
    return tail;
}

// A command line, and what its success writes into the snapshot at `at`.
struct Command {
    std::string line;
    std::size_t at;
    Bytes meant;
};

// One run on a fresh bench: the exit code, and whether the bench is as it
// was found and as success leaves it.
struct Result {
    int exit;
    bool asFound, asMeant;
};

Result RunCommand(const Command &c, const std::string &fault, SweepHost &host)
{
    tzsim::Reset(fault);
    host = SweepHost();
    Bytes meant = tzsim::Snapshot();
    const Bytes before = meant, tail = EepromTail();
    Bytes eeprom(meant.begin() + kEepromAt, meant.begin() + kEepromAt + 0x20);
    eeprom.insert(eeprom.end(), tail.begin(), tail.end());
    host.files = {{"image.bin", Image()}, {"e.bin", eeprom}, {"s.bin", Bytes(0x1000, 0xA5)}};
    std::copy(c.meant.begin(), c.meant.end(), meant.begin() + c.at);
    std::istringstream words(c.line);
    const int exit = RunTzctl({std::istream_iterator<std::string>(words), {}}, host);
    const Bytes after = tzsim::Snapshot();
    return {exit, after == before, after == meant};
}

TEST(FaultSweep, Tzctl)
{
    std::vector<Command> commands = {
        {"flash write image.bin", kFlashAt, Image()},
        {"flash write s.bin --offset 3000", kFlashAt + 0x3000, Bytes(0x1000, 0xA5)},
        {"i2c restore e.bin", kEepromAt + 0x20, EepromTail()},
        {"identity set --sid 5", kEepromAt + 0x0E, {5, 0}}};
    for (const std::string &check : board::CheckNames())
        commands.push_back(
            {"--json selftest --destructive --irq --junit r.xml --only " + check, 0, {}});
    std::size_t runs = 0;
    SweepHost host;
    for (const Command &c : commands) {
        SCOPED_TRACE(c.line);
        ASSERT_EQ(RunCommand(c, "", host).exit, 0) << host.err;
        for (const auto &[function, count] : CallCounts()) {
            for (std::size_t n = 1; n <= count; ++n, ++runs) {
                const std::string fault = "fault " + function + " = call " + std::to_string(n);
                SCOPED_TRACE(fault);
                const Result run = RunCommand(c, fault, host);
                EXPECT_TRUE(run.exit != 0 || run.asMeant) << "exit 0, the bench not as meant";
                EXPECT_TRUE(run.exit == 0 || run.asFound || run.exit == 7) << host.err;
                EXPECT_EQ(run.exit == 7, host.err.find("not restored") != std::string::npos)
                    << host.err;
                EXPECT_NE(std::string("01457").find(char('0' + run.exit)), std::string::npos)
                    << run.exit;
                if (c.at || !c.meant.empty())
                    continue;
                EXPECT_TRUE(nlohmann::json::accept(host.out)) << host.out;
                const Bytes &report = host.files["r.xml"];
                tinyxml2::XMLDocument xml;
                EXPECT_EQ(xml.Parse(reinterpret_cast<const char *>(report.data()), report.size()),
                          tinyxml2::XML_SUCCESS);
            }
        }
    }
    std::cout << runs << " runs of tzctl with one failing call\n";
    tzsim::Reset();
}

// The dialog's two writes that claim a result: "done" only when the card
// holds what was written.
class DialogSweep : public cardtest::CardSession {
  protected:
    // The program started afresh on the bench, card 0 opened, then prepare.
    void Start(const std::string &config, const std::function<void()> &prepare)
    {
        port = FakePort();
        s.conn = Connection();
        tzsim::Reset(config);
        ASSERT_TRUE(InitialiseMainDialog(s, cardtest::BindSimulator));
        port.SelectComboEntry(IDC_DEVICE_COMBO, 0);
        Click(IDC_OPEN);
        prepare();
        port.messages.clear();
    }

    // act's every call failing in turn; done: its message of success, which
    // must mean the snapshot holds `meant` at `at`.
    void Sweep(const std::function<void()> &prepare, const std::function<void()> &act,
               const std::string &done, std::size_t at, const Bytes &meant)
    {
        const auto asMeant = [&] {
            const Bytes now = tzsim::Snapshot();
            return std::equal(meant.begin(), meant.end(), now.begin() + at);
        };
        Start("", prepare);
        const Counts before = CallCounts();
        act();
        ASSERT_EQ(port.messages.size(), 1u);
        ASSERT_EQ(port.messages[0].text, done);
        EXPECT_TRUE(asMeant());
        for (const auto &[function, count] : CallCounts()) {
            for (std::size_t n = before.count(function) ? before.at(function) + 1 : 1; n <= count;
                 ++n) {
                const std::string fault = "fault " + function + " = call " + std::to_string(n);
                SCOPED_TRACE(fault);
                Start(fault, prepare);
                act();
                ASSERT_EQ(port.messages.size(), 1u);
                EXPECT_TRUE(port.messages[0].text != done || asMeant())
                    << "\"" << done << "\", but the card does not hold it";
            }
        }
    }
};

TEST_F(DialogSweep, FlashWrite)
{
    const Bytes image = Image();
    Sweep(
        [&] {
            files.files["image.bin"] = image;
            port.fileAnswers = {std::string("image.bin")};
        },
        [&] { Click(IDC_FLASH_WRITE); }, "写FLASH完成", kFlashAt, image);
}

TEST_F(DialogSweep, IdentityWrite)
{
    const std::pair<int, const char *> boxes[] = {
        {IDC_VID, "7A5D"}, {IDC_DID, "5834"}, {IDC_RID, "02"}, {IDC_SVID, "7A5D"}, {IDC_SID, "5"}};
    const board::IdentityBlock block = board::EncodeIdentity({0x7A5D, 0x5834, 2, 0x7A5D, 5});
    Sweep(
        [&] {
            IdentityDialogInit(s);
            for (const auto &[box, text] : boxes)
                Type(box, text);
        },
        [&] { IdentityDialogCommand(s, IDC_EEPROM_WRITE); }, "写EEPROM完成", kEepromAt,
        Bytes(block.begin(), block.end()));
}

}  // namespace
