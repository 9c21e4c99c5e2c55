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

struct Outcome {
    int exit;
    std::string err;
    Bytes before, after;
};

// A command as a station runs it; `intended` makes the bench what success
// leaves, from what it was.
struct Command {
    std::string line;
    std::function<void(Bytes &bench)> intended;
};

Bytes Image()
{
    Bytes image(0x10000);
    for (std::size_t i = 0; i < image.size(); ++i)
        image[i] = static_cast<std::uint8_t>(i * 7 + 1);
    return image;
}

Bytes EepromFile()
{
    Bytes e(0x100);
    for (std::size_t i = 0; i < e.size(); ++i)
        e[i] = static_cast<std::uint8_t>(i < 0x20 ? tzsim::EepromByte(0, unsigned(i)) : i ^ 0x5A);
    return e;
}

// Where the snapshot holds the flash and card 0's EEPROM.
constexpr std::size_t kFlashAt = 0, kEepromAt = 0x10000 + 0x200;

Outcome RunCommand(const Command &c, const std::string &fault, SweepHost &host)
{
    tzsim::Reset(fault);
    host = SweepHost();
    host.files = {{"image.bin", Image()}, {"e.bin", EepromFile()}};
    Outcome o;
    o.before = tzsim::Snapshot();
    std::istringstream words(c.line);
    std::vector<std::string> args{std::istream_iterator<std::string>(words), {}};
    o.exit = RunTzctl(args, host);
    o.err = host.err;
    o.after = tzsim::Snapshot();
    return o;
}

void Judge(const Command &c, const Outcome &o)
{
    Bytes meant = o.before;
    c.intended(meant);
    if (o.exit == 0)
        EXPECT_TRUE(o.after == meant) << "exit 0, but the bench is not as meant";
    EXPECT_TRUE(o.exit == 0 || o.exit == 1 || o.exit == 4 || o.exit == 5 || o.exit == 7)
        << "exit " << o.exit;
    if (o.exit != 0 && o.after != o.before)
        EXPECT_EQ(o.exit, 7) << o.err;
    if (o.exit == 7)
        EXPECT_NE(o.err.find("not restored"), std::string::npos) << o.err;
}

TEST(FaultSweep, Tzctl)
{
    const auto same = [](Bytes &) {
    };
    std::vector<Command> commands = {
        {"flash write image.bin",
         [](Bytes &b) {
             const Bytes image = Image();
             std::copy(image.begin(), image.end(), b.begin() + kFlashAt);
         }},
        {"i2c restore e.bin",
         [](Bytes &b) {
             const Bytes e = EepromFile();
             for (std::size_t i = 0; i < e.size(); ++i)
                 b[kEepromAt + i] = e[i];
         }},
        {"identity set --rid 2 --sid 5",
         [](Bytes &b) {
             b[kEepromAt + 0x08] = 0x02;
             b[kEepromAt + 0x0E] = 0x05;
             b[kEepromAt + 0x0F] = 0x00;
         }},
    };
    for (const std::string &check : board::CheckNames())
        commands.push_back(
            {"--json selftest --destructive --irq --junit r.xml --only " + check, same});
    std::size_t runs = 0;
    SweepHost host;
    for (const Command &c : commands) {
        SCOPED_TRACE(c.line);
        const Outcome clean = RunCommand(c, "", host);
        ASSERT_EQ(clean.exit, 0) << clean.err;
        Judge(c, clean);
        for (const auto &[function, count] : CallCounts()) {
            for (std::size_t n = 1; n <= count; ++n, ++runs) {
                const std::string fault = "fault " + function + " = call " + std::to_string(n);
                SCOPED_TRACE(fault);
                const Outcome o = RunCommand(c, fault, host);
                Judge(c, o);
                if (c.line.find("--json") == std::string::npos)
                    continue;
                EXPECT_TRUE(nlohmann::json::accept(host.out)) << host.out;
                tinyxml2::XMLDocument xml;
                const Bytes &report = host.files["r.xml"];
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

    // act's every call failing in turn; done: its message of success.
    void Sweep(const std::function<void()> &prepare, const std::function<void()> &act,
               const std::string &done, const std::function<bool()> &asMeant)
    {
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
                if (port.messages[0].text == done)
                    EXPECT_TRUE(asMeant()) << "\"" << done << "\", but the card does not hold it";
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
        [&] { Click(IDC_FLASH_WRITE); }, "写FLASH完成",
        [&] {
            const Bytes now = tzsim::Snapshot();
            return std::equal(image.begin(), image.end(), now.begin() + kFlashAt);
        });
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
        [&] { IdentityDialogCommand(s, IDC_EEPROM_WRITE); }, "写EEPROM完成",
        [&] {
            for (unsigned a = 0; a < block.size(); ++a)
                if (tzsim::EepromByte(0, a) != block[a])
                    return false;
            return true;
        });
}

}  // namespace
