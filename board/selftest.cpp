// The self-test's runner and its checks of configuration space, the identity
// block, the pulse register, the EEPROM and the flash. Each check puts back
// what it changed on every path, and says so when it cannot.
#include "selftest.h"

#include <chrono>
#include <cstdio>

namespace board {

namespace {

using Clock = std::chrono::steady_clock;
using Bytes = std::vector<std::uint8_t>;

constexpr std::uint8_t kEepromTestByte = 0xFF;  // past the identity block, rarely used

double Since(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

std::string Describe(const Outcome &o)
{
    if (o.kind == Outcome::CallFailed)
        return std::string(o.call) + " failed at 0x" + HexText(o.address, 0);
    return std::to_string(o.count) + " bytes differ from 0x" + HexText(o.address, 0);
}

// ------------------------------------------------------------- config

void CheckConfig(CheckRun &run)
{
    Bytes id;
    if (!ReadBytes(run.lib, run.card.index, ByteSpace::Config, 0, 4, id).ok())
        return run.Fail("VID and DID cannot be read");
    const unsigned vid = id[0] | id[1] << 8, did = id[2] | id[3] << 8;
    run.Fact("vid", HexText(vid, 4));
    run.Fact("did", HexText(did, 4));
    std::vector<std::string> wrong;
    if (vid == 0xFFFF)
        wrong.push_back("VID reads ffff");
    if (ChipFromDeviceIdByte(id[2]) != run.card.chip)
        wrong.push_back("DID does not name the chip detected");
    ULONG io = 0, mem = 0, line = 0;
    run.lib.TZ810mGetIoBaseAddr(run.card.index, &io);
    run.Fact("io_base", HexText(io, 4));
    if (io == 0)
        wrong.push_back("no I/O base");
    std::string text = std::string(ChipName(run.card.chip)) + " " + HexText(vid, 4) + ":" +
                       HexText(did, 4) + ", I/O " + HexText(io, 4);
    if (run.card.chip == Chip::TZ820) {
        run.lib.TZ820mGetMemBaseAddr(run.card.index, &mem);
        run.Fact("mem_base", HexText(mem, 8));
        text += ", MEM " + HexText(mem, 8);
        if (mem == 0)
            wrong.push_back("no MEM base");
    }
    run.lib.TZ810mGetIntLine(run.card.index, &line);
    run.Fact("int_line", std::to_string(line));
    if (line < 1 || line > 254)
        wrong.push_back("interrupt line " + std::to_string(line) + " outside 1-254");
    run.result.finding = text + ", interrupt line " + std::to_string(line);
    if (!wrong.empty())
        run.Fail(Join(wrong));
}

// ------------------------------------------------------------ identity

void CheckIdentity(CheckRun &run)
{
    IdentityBlock block;
    Identity now;
    if (!ReadIdentityBlock(run.lib, run.card.index, block).ok())
        return run.Fail("the EEPROM does not answer at I2C address 0x50");
    run.Fact("header", HexText(block[0], 2));
    if (!HasIdentityHeader(block))
        return run.Fail("identity block header " + HexText(block[0], 2) +
                        ", not 78: the card runs on its chip's defaults");
    if (!ReadConfigIdentity(run.lib, run.card.index, now).ok())
        return run.Fail("configuration space cannot be read");
    const Identity stored = DecodeIdentity(block);

    const struct {
        const char *name, *key;
        unsigned inBlock, inConfig;
        int digits;
    } fields[] = {{"VID", "vid", stored.vid, now.vid, 4},
                  {"DID", "did", stored.did, now.did, 4},
                  {"RID", "rid", stored.rid, now.rid, 2},
                  {"SVID", "svid", stored.svid, now.svid, 4},
                  {"SID", "sid", stored.sid, now.sid, 4}};

    std::vector<std::string> differ;
    for (const auto &f : fields) {
        run.Fact(f.key, HexText(f.inBlock, f.digits));
        if (f.inBlock != f.inConfig)
            differ.push_back(std::string(f.name) + " " + HexText(f.inBlock, f.digits) +
                             " in the EEPROM, " + HexText(f.inConfig, f.digits) + " in use");
    }
    run.result.finding = "header 78, values as in configuration space";
    if (!differ.empty())
        run.Fail(Join(differ) + ": the card loads its identity at power-up");
}

// ------------------------------------------------------ pulse register

void CheckPulse(CheckRun &run)
{
    const ULONG at = run.ioBase + TZ_REG_PULSE;
    UCHAR original = 0;
    if (!run.lib.TZ810mReadIoByte(run.card.index, at, &original))
        return run.Fail("the pulse register cannot be read");
    run.Fact("pulse", HexText(original, 2));
    std::vector<std::pair<std::uint32_t, std::uint32_t>> written;
    bool wrong = false;
    for (UCHAR code = 0; code <= kPulseCodeMask; ++code) {
        const UCHAR value = static_cast<UCHAR>((original & k32BitIo) | code);
        UCHAR back = 0;
        run.lib.TZ810mWriteIoByte(run.card.index, at, value);
        run.lib.TZ810mReadIoByte(run.card.index, at, &back);
        written.emplace_back(value, back);
        wrong = wrong || back != value;
    }
    UCHAR back = 0;
    run.lib.TZ810mWriteIoByte(run.card.index, at, original);
    run.lib.TZ810mReadIoByte(run.card.index, at, &back);
    if (back != original)
        run.notRestored.push_back("pulse register reads " + HexText(back, 2) + ", was " +
                                  HexText(original, 2));
    run.result.finding = "16 codes read back; it held " + HexText(original, 2);
    if (wrong)
        run.Fail("pulse register " +
                 Join(NameStuckLines(written, kPulseCodeMask | k32BitIo, "bit ")));
}

// -------------------------------------------------------------- EEPROM

void CheckEeprom(CheckRun &run)
{
    Bytes original;
    if (!ReadBytes(run.lib, run.card.index, ByteSpace::Eeprom, kEepromTestByte, 1, original).ok())
        return run.Fail("the EEPROM does not answer at I2C address 0x50");
    run.Fact("byte_ff", HexText(original[0], 2));
    run.result.finding = "byte ff took 55 and aa";
    for (std::uint8_t value : {0x55, 0xAA}) {
        const Outcome o = WriteBytesChecked(run.lib, run.card.index, ByteSpace::Eeprom,
                                            kEepromTestByte, {value}, run.options.pause);
        if (!o.ok()) {
            run.Fail("byte ff did not take " + HexText(value, 2) +
                     ": is the EEPROM write-protected (WP high)?");
            break;
        }
    }
    if (!WriteBytesChecked(run.lib, run.card.index, ByteSpace::Eeprom, kEepromTestByte, original,
                           run.options.pause)
             .ok())
        run.notRestored.push_back("EEPROM byte ff not restored to " + HexText(original[0], 2));
}

// --------------------------------------------------------------- flash

void CheckFlash(CheckRun &run)
{
    const FlashId id = IdentifyFlash(run.lib, run.card.index);
    std::string reply;
    for (UCHAR b : id.reply)
        reply += (reply.empty() ? "" : " ") + HexText(b, 2);
    run.Fact("id", reply);
    if (!id.identified)
        return run.Fail("no flash answers its id (reply " + reply + ", a 25VF512 says bf 48)");
    Bytes image;
    Outcome o = ReadFlash(run.lib, image);
    if (o.ok())
        o = VerifyFlash(run.lib, image);
    if (!o.ok())
        return run.Fail("two reads of the flash: " + Describe(o));
    run.result.finding = "25VF512, two reads agree";
    if (!run.options.destructive)
        return;

    // The original image goes back whatever happens from here on.
    struct Restore {
        CheckRun &run;
        const Bytes &image;

        ~Restore()
        {
            const Outcome o = WriteFlash(run.lib, image);
            if (!o.ok())
                run.notRestored.push_back("flash image not restored: " + Describe(o));
        }
    } restore{run, image};

    if (!(o = EraseFlash(run.lib, true)).ok())
        return run.Fail("chip erase: " + Describe(o));
    Bytes pattern(kFlashSize);
    for (std::size_t i = 0; i < pattern.size(); ++i)
        pattern[i] = static_cast<std::uint8_t>(i ^ i >> 8);
    if (!(o = WriteFlash(run.lib, pattern)).ok())
        return run.Fail("pattern: " + Describe(o));
    run.result.finding += "; erased blank, pattern written and verified";
}

using Check = void (*)(CheckRun &);

const struct {
    const char *name;
    Check check;
} kChecks[] = {
    {"config", CheckConfig},
    {"identity", CheckIdentity},
    {"pulse", CheckPulse},
    {"mem", CheckMemWindow},
    {"eeprom", CheckEeprom},
    {"flash", CheckFlash},
    {"level-irq",
     [](CheckRun &run) {
         CheckInterrupt(run, Trigger::Level);
     }},
    {"edge-irq",
     [](CheckRun &run) {
         CheckInterrupt(run, Trigger::Edge);
     }},
};

// Why a check does not run on this card with these options; empty if it runs.
std::string SkipReason(const std::string &name, const Card &card, const SelftestOptions &options)
{
    bool chosen = false;
    for (const std::string &c : options.checks)
        chosen = chosen || c == name;
    if (!chosen)
        return "not selected";
    if (name == "mem" && card.chip != Chip::TZ820)
        return "a TZ810 has no MEM window";
    if (name.find("irq") != std::string::npos && !options.irq)
        return "needs --irq, with pin A15 joined to INT#";
    return "";
}

}  // namespace

std::string Join(const std::vector<std::string> &parts)
{
    std::string text;
    for (const std::string &p : parts)
        text += (text.empty() ? "" : ", ") + p;
    return text;
}

std::string HexText(unsigned value, int digits)
{
    char text[16];
    std::snprintf(text, sizeof text, "%0*x", digits, value);
    return text;
}

void CheckRun::Fact(const std::string &key, const std::string &value)
{
    result.facts.emplace_back(key, value);
}

void CheckRun::Fail(const std::string &finding)
{
    result.verdict = Verdict::Fail;
    result.finding = finding;
}

const std::vector<std::string> &CheckNames()
{
    static const std::vector<std::string> names = [] {
        std::vector<std::string> n;
        for (const auto &c : kChecks)
            n.push_back(c.name);
        return n;
    }();
    return names;
}

unsigned SelftestReport::Count(Verdict verdict) const
{
    unsigned n = 0;
    for (const CheckResult &c : checks)
        n += c.verdict == verdict;
    return n;
}

SelftestReport RunSelftest(const DeviceLibrary &lib, const Card &card,
                           const SelftestOptions &options)
{
    const Clock::time_point start = Clock::now();
    SelftestReport report;
    report.card = card;
    ULONG ioBase = 0;
    lib.TZ810mGetIoBaseAddr(card.index, &ioBase);
    for (const auto &c : kChecks) {
        const Clock::time_point begun = Clock::now();
        CheckResult result;
        result.name = c.name;
        CheckRun run{lib, card, options, result, report.notRestored, ioBase};
        result.finding = SkipReason(c.name, card, options);
        if (!result.finding.empty())
            result.verdict = Verdict::Skip;
        else
            c.check(run);
        result.seconds = Since(begun);
        report.checks.push_back(std::move(result));
    }
    report.seconds = Since(start);
    return report;
}

}  // namespace board
