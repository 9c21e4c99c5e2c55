// The self-test's runner and its checks of configuration space, the identity
// block, the pulse register, the EEPROM and the flash. Each check puts back
// what it changed on every path, and says so when it cannot.
#include "selftest.h"

#include <chrono>
#include <cstdio>
#include <optional>

namespace board {

namespace {

using Clock = std::chrono::steady_clock;
using Bytes = std::vector<std::uint8_t>;

constexpr std::uint8_t kEepromTestByte = 0xFF;  // past the identity block, rarely used

double Since(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// ------------------------------------------------------------- config

void CheckConfig(CheckRun &run)
{
    Bytes id;
    if (!ReadBytes(run.card, ByteSpace::Config, 0, 4, id).ok())
        return run.Fail("VID and DID cannot be read");
    const unsigned vid = id[0] | id[1] << 8, did = id[2] | id[3] << 8;
    run.Fact("vid", vid, 4);
    run.Fact("did", did, 4);
    const Card &card = run.card;
    std::vector<std::string> wrong;
    if (vid == 0xFFFF)
        wrong.push_back("VID reads ffff");
    if (ChipFromDeviceIdByte(id[2]) != card.chip)
        wrong.push_back("DID does not name the chip detected");
    // The bases as the open read them.
    if (!card.ioBaseKnown)
        wrong.push_back("TZ810mGetIoBaseAddr failed");
    else if (card.ioBase == 0)
        wrong.push_back("no I/O base");
    run.Fact("io_base", card.ioBase, 4);
    std::string text = std::string(ChipName(card.chip)) + " " + HexText(vid, 4) + ":" +
                       HexText(did, 4) + ", I/O " + HexText(card.ioBase, 4);
    if (card.chip == Chip::TZ820) {
        if (!card.memBaseKnown)
            wrong.push_back("TZ820mGetMemBaseAddr failed");
        else if (card.memBase == 0)
            wrong.push_back("no MEM base");
        run.Fact("mem_base", card.memBase, 8);
        text += ", MEM " + HexText(card.memBase, 8);
    }
    ULONG line = 0;
    if (!card.lib->TZ810mGetIntLine(card.index, &line))
        wrong.push_back("TZ810mGetIntLine failed");
    else if (line < 1 || line > 254)
        wrong.push_back("interrupt line " + HexText(line, 2) + " outside 01-fe");
    run.Fact("int_line", line, 2);
    run.result.finding = text + ", interrupt line " + HexText(line, 2);
    if (!wrong.empty())
        run.Fail(Join(wrong));
}

// ------------------------------------------------------------ identity

void CheckIdentity(CheckRun &run)
{
    IdentityBlock block;
    Identity now;
    if (!ReadIdentityBlock(run.card, block).ok())
        return run.Fail("the EEPROM does not answer at I2C address 0x50");
    run.Fact("header", block[0], 2);
    if (!HasIdentityHeader(block))
        return run.Fail("identity block header " + HexText(block[0], 2) +
                        ", not 78: the card runs on its chip's defaults");
    if (!ReadConfigIdentity(run.card, now).ok())
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
        run.Fact(f.key, f.inBlock, f.digits);
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
    UCHAR original = 0;
    if (!run.Read(kRegPulse, original))
        return run.Fail("the pulse register cannot be read; nothing written");
    run.Fact("pulse", original, 2);
    // Bit 6 switches a TZ820's 32-bit I/O, so it is tried both ways there;
    // elsewhere it is kept as found.
    const bool tz820 = run.card.chip == Chip::TZ820;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> written;
    const char *failed = nullptr;
    for (unsigned pass = 0; pass < (tz820 ? 2u : 1u) && !failed; ++pass) {
        const UCHAR bit6 = tz820 ? (pass ? k32BitIo : 0) : (original & k32BitIo);
        for (UCHAR code = 0; code <= kPulseCodeMask && !failed; ++code) {
            const UCHAR value = static_cast<UCHAR>(bit6 | code);
            UCHAR back = 0;
            if (!run.Write(kRegPulse, value))
                failed = "TZ810mWriteIoByte";
            else if (!run.Read(kRegPulse, back))
                failed = "TZ810mReadIoByte";
            else
                written.emplace_back(value, back);
        }
    }
    run.PutBack(kRegPulse, original, "pulse register");
    run.result.finding = std::string(tz820 ? "16 codes with 32-bit I/O off and on" : "16 codes") +
                         " read back; it held " + HexText(original, 2);
    bool wrong = false;
    for (const auto &[value, back] : written)
        wrong = wrong || back != value;
    if (failed)
        run.Fail(std::string(failed) + " failed at the pulse register");
    else if (wrong)
        // Every bit is named, also those the codes never drive: one stuck at
        // 1 shows all the same.
        run.Fail("pulse register " + Join(NameStuckLines(written, 0xFF, "bit ")));
}

// -------------------------------------------------------------- EEPROM

void CheckEeprom(CheckRun &run)
{
    Bytes original;
    if (!ReadBytes(run.card, ByteSpace::Eeprom, kEepromTestByte, 1, original).ok())
        return run.Fail("the EEPROM does not answer at I2C address 0x50");
    run.Fact("byte_ff", original[0], 2);
    run.result.finding = "byte ff took 55 and aa";
    for (std::uint8_t value : {0x55, 0xAA}) {
        const Outcome o = WriteBytesChecked(run.card, ByteSpace::Eeprom, kEepromTestByte, {value},
                                            run.options.pause);
        if (o.kind == Outcome::Mismatch) {
            run.Fail("byte ff did not take " + HexText(value, 2) +
                     ": is the EEPROM write-protected (WP high)?");
            break;
        }
        if (!o.ok()) {
            run.Fail(Describe(o) + ", writing " + HexText(value, 2) + " to byte ff");
            break;
        }
    }
    const Restoration r =
        RestoreBytes(run.card, ByteSpace::Eeprom, kEepromTestByte, original, run.options.pause);
    if (r.kind == Restoration::NotRestored)
        run.notRestored.push_back("EEPROM byte ff not restored to " + HexText(original[0], 2) +
                                  ": " + Describe(r.outcome));
}

// --------------------------------------------------------------- flash

void CheckFlash(CheckRun &run)
{
    const FlashId id = IdentifyFlash(run.card);
    const DeviceLibrary &lib = *run.card.lib;
    std::string reply;
    for (UCHAR b : id.reply)
        reply += (reply.empty() ? "" : " ") + HexText(b, 2);
    run.Fact("id", std::vector<std::uint32_t>(id.reply.begin(), id.reply.end()), reply);
    if (!id.identified)
        return run.Fail("no flash answers its id (reply " + reply + ", a 25VF512 says bf 48)");
    Bytes image;
    Outcome o = ReadFlash(lib, image);
    if (o.ok())
        o = VerifyFlash(lib, image);
    if (!o.ok())
        return run.Fail("two reads of the flash: " + Describe(o));
    run.result.finding = "25VF512, two reads agree";
    if (!run.options.destructive)
        return;
    if (run.options.dryRun) {
        run.result.planned = "the flash image to a backup file, then a chip erase, a blank check "
                             "and a pattern written and verified, then the image put back";
        return;
    }
    const std::string kept = run.options.keepImage ? run.options.keepImage(image) : "";
    if (kept.empty())
        return run.Fail("the flash image could not be kept in a file; nothing erased");
    run.Fact("backup", kept);

    // The original image goes back whatever happens from here on; a chip
    // that still holds it is left alone.
    struct Restore {
        CheckRun &run;
        const Bytes &image;
        const std::string &kept;

        ~Restore()
        {
            const Restoration r = RestoreFlash(*run.card.lib, image);
            if (r.kind == Restoration::NotRestored)
                run.notRestored.push_back("flash image not restored: " + Describe(r.outcome) +
                                          "; the original is in " + kept);
        }
    } restore{run, image, kept};

    if (!(o = EraseFlash(lib, true)).ok())
        return run.Fail("chip erase: " + Describe(o));
    Bytes pattern(kFlashSize);
    for (std::size_t i = 0; i < pattern.size(); ++i)
        pattern[i] = static_cast<std::uint8_t>(i ^ i >> 8);
    if (!(o = WriteFlash(lib, pattern)).ok())
        return run.Fail("pattern: " + Describe(o));
    run.result.finding += "; erased blank, pattern written and verified; image kept in " + kept;
}

using Check = void (*)(CheckRun &);

// usesIo: the check reaches the chip's registers through the I/O window.
// writes: what it writes and puts back, for a dry run; none when it only
// reads (the flash check writes only when destructive, and says so itself).
struct CheckEntry {
    const char *name;
    Check check;
    bool usesIo;
    const char *writes;
};

const CheckEntry kChecks[] = {
    {"config", CheckConfig, false, nullptr},
    {"identity", CheckIdentity, false, nullptr},
    {"pulse", CheckPulse, true,
     "each of the 16 codes (a TZ820's with 32-bit I/O off, then on) to the pulse register (fa), "
     "each read back, then its value put back"},
    {"mem", CheckMemWindow, true,
     "data bus, address bus and cell patterns to the MEM window 0000-7fff, then its contents "
     "put back"},
    {"eeprom", CheckEeprom, false, "55, then aa, to EEPROM byte ff, then its value put back"},
    {"flash", CheckFlash, false, nullptr},
    {"level-irq", [](CheckRun &run) { CheckInterrupt(run, InterruptMode::Level); }, true,
     "the routine, GP0 (f1) high, e2 to the interrupt register (eb) and GP0 low to raise a "
     "level interrupt, then the registers put back"},
    {"edge-irq", [](CheckRun &run) { CheckInterrupt(run, InterruptMode::Edge); }, true,
     "the routine, GP0 (f1) high, ea to the interrupt register (eb) and GP0 low and high to "
     "raise an edge interrupt, then the registers put back"},
};

// Why a check does not run on this card with these options, and whether
// that is a failure; nothing when it runs.
std::optional<std::pair<Verdict, std::string>> NotRun(const CheckEntry &check, const Card &card,
                                                      const SelftestOptions &options)
{
    const std::string name = check.name;
    bool chosen = false;
    for (const std::string &c : options.checks)
        chosen = chosen || c == name;
    if (!chosen)
        return std::pair(Verdict::Skip, "not selected");
    if (name == "mem" && card.chip != Chip::TZ820)
        return std::pair(Verdict::Skip, "a TZ810 has no MEM window");
    if (name.find("irq") != std::string::npos && !options.irq)
        return std::pair(Verdict::Skip, "needs --irq, with pin A15 joined to INT#");
    // Without the window's base, an I/O address would be one of the PC's own
    // ports: none is touched. A card that hides its base fails the check.
    if (!card.ioBaseKnown && check.usesIo)
        return std::pair(Verdict::Fail, "not tested: TZ810mGetIoBaseAddr failed, and no I/O "
                                        "access is made without the window's base");
    return std::nullopt;
}

}  // namespace

std::string Join(const std::vector<std::string> &parts)
{
    std::string text;
    for (const std::string &p : parts)
        text += (text.empty() ? "" : ", ") + p;
    return text;
}

std::string Describe(const Outcome &o)
{
    if (o.kind == Outcome::CallFailed)
        return std::string(o.call) + " failed at 0x" + HexText(o.address, 0);
    return std::to_string(o.count) + " bytes differ from 0x" + HexText(o.address, 0);
}

std::string HexText(unsigned value, int digits)
{
    char text[16];
    std::snprintf(text, sizeof text, "%0*x", digits, value);
    return text;
}

void CheckRun::Fact(const std::string &key, const std::string &text)
{
    result.facts.push_back({key, text, board::Fact::Text, {}});
}

void CheckRun::Fact(const std::string &key, std::uint32_t value, int digits)
{
    Fact(key, value, HexText(value, digits));
}

void CheckRun::Fact(const std::string &key, std::uint32_t value, const std::string &text)
{
    result.facts.push_back({key, text, board::Fact::Number, {value}});
}

void CheckRun::Fact(const std::string &key, const std::vector<std::uint32_t> &values,
                    const std::string &text)
{
    result.facts.push_back({key, text, board::Fact::Numbers, values});
}

void CheckRun::Fail(const std::string &finding)
{
    result.verdict = Verdict::Fail;
    result.finding = finding;
}

bool CheckRun::Read(ULONG reg, UCHAR &value)
{
    return card.lib->TZ810mReadIoByte(card.index, card.ioBase + reg, &value) != 0;
}

bool CheckRun::Write(ULONG reg, UCHAR value)
{
    return card.lib->TZ810mWriteIoByte(card.index, card.ioBase + reg, value) != 0;
}

void CheckRun::PutBack(ULONG reg, UCHAR was, const char *name, UCHAR keep)
{
    UCHAR now = 0;
    if (!Write(reg, was))
        notRestored.push_back(std::string(name) + " not put back to " + HexText(was, 2) +
                              ": TZ810mWriteIoByte failed");
    else if (!Read(reg, now))
        notRestored.push_back(std::string(name) + " cannot be read back after putting " +
                              HexText(was, 2) + " back: TZ810mReadIoByte failed");
    else if ((now ^ was) & keep)
        notRestored.push_back(std::string(name) + " reads " + HexText(now, 2) + ", was " +
                              HexText(was, 2));
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

SelftestReport RunSelftest(const Card &card, const SelftestOptions &options)
{
    const Clock::time_point start = Clock::now();
    SelftestReport report;
    report.card = card;
    for (const auto &c : kChecks) {
        const Clock::time_point begun = Clock::now();
        CheckResult result;
        result.name = c.name;
        CheckRun run{card, options, result, report.notRestored};
        auto notRun = NotRun(c, card, options);
        report.interrupted =
            report.interrupted || (!notRun && options.interrupted && options.interrupted());
        if (!notRun && report.interrupted)
            notRun = std::pair(Verdict::Skip, std::string("not run: interrupted"));
        if (!notRun && options.dryRun && c.writes) {
            notRun = std::pair(Verdict::Skip, std::string("not run: it writes (dry run)"));
            result.planned = c.writes;
        }
        if (notRun) {
            result.verdict = notRun->first;
            result.finding = notRun->second;
        } else {
            c.check(run);
        }
        result.seconds = Since(begun);
        report.checks.push_back(std::move(result));
    }
    report.seconds = Since(start);
    return report;
}

}  // namespace board
