#include "config.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <sstream>

#include "tz810dll.h"

namespace tzsim {
namespace {

// Neutral identity of our own evaluation cards.
constexpr std::uint16_t kDefaultVid = 0x7A5D;
constexpr std::uint16_t kDid810 = 0x5830;
constexpr std::uint16_t kDid820 = 0x5834;

std::string Trim(const std::string &s)
{
    std::size_t b = 0, e = s.size();
    while (b < e && std::isspace(static_cast<unsigned char>(s[b])))
        ++b;
    while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1])))
        --e;
    return s.substr(b, e - b);
}

std::string Lower(std::string s)
{
    for (char &c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// 0x-prefixed hexadecimal or decimal, at most max.
bool ParseNumber(const std::string &text, std::uint32_t max, std::uint32_t &out)
{
    if (text.empty() || text[0] == '-' || text[0] == '+')
        return false;
    char *end = nullptr;
    errno = 0;
    unsigned long long v = std::strtoull(text.c_str(), &end, 0);
    if (errno != 0 || end == text.c_str() || *end != '\0' || v > max)
        return false;
    out = static_cast<std::uint32_t>(v);
    return true;
}

bool ParseBool(const std::string &text, bool &out)
{
    std::string v = Lower(text);
    if (v == "on" || v == "yes" || v == "true" || v == "1") {
        out = true;
        return true;
    }
    if (v == "off" || v == "no" || v == "false" || v == "0") {
        out = false;
        return true;
    }
    return false;
}

bool ParseFault(const std::string &text, FaultRule &rule)
{
    std::istringstream in(Lower(text));
    std::string word, number, extra;
    in >> word >> number >> extra;
    if (!extra.empty())
        return false;
    if (word == "never" && number.empty()) {
        rule = {FaultMode::Never, 0};
        return true;
    }
    if (word == "always" && number.empty()) {
        rule = {FaultMode::Always, 0};
        return true;
    }
    std::uint32_t n = 0;
    if (!ParseNumber(number, 0xFFFFFFFFu, n) || n == 0)
        return false;
    if (word == "call") {
        rule = {FaultMode::OnlyNth, n};
        return true;
    }
    if (word == "from") {
        rule = {FaultMode::FromNth, n};
        return true;
    }
    return false;
}

// "LINE stuck 0|1" or "LINE shorted LINE", lines 0 to maxLine.
bool ParseLineFault(const std::string &text, unsigned maxLine, LineFaults &faults)
{
    std::istringstream in(Lower(text));
    std::string line, kind, other, extra;
    in >> line >> kind >> other >> extra;
    std::uint32_t a = 0, b = 0;
    if (!extra.empty() || !ParseNumber(line, maxLine, a))
        return false;
    if (kind == "stuck" && ParseNumber(other, 1, b)) {
        (b ? faults.stuck1 : faults.stuck0) |= 1u << a;
        return true;
    }
    if (kind == "shorted" && ParseNumber(other, maxLine, b) && a != b) {
        faults.shorts.emplace_back(a, b);
        return true;
    }
    return false;
}

std::filesystem::path MakePath(const std::string &value, const std::filesystem::path &baseDir)
{
    std::filesystem::path p = std::filesystem::u8path(value);
    if (p.is_relative() && !baseDir.empty())
        p = baseDir / p;
    return p;
}

bool IsCardSetting(const std::string &name)
{
    static const char *const names[] = {
        "io_base", "mem_base", "int_line", "vid",      "did",         "rid",       "svid",
        "sid",     "pulse",    "eeprom",   "mem_data", "mem_address", "pulse_bit", "eeprom_changed",
        "mem_cell"};
    for (const char *n : names)
        if (name == n)
            return true;
    return false;
}

struct PendingCardSetting {
    int line;
    unsigned index;
    std::string field;
    std::string value;
};

}  // namespace

std::uint32_t LineFaults::Apply(std::uint32_t signals) const
{
    signals = (signals | stuck1) & ~stuck0;
    // Shorts that share a line join into one net (3-4 and 4-5 join 3, 4 and
    // 5), whatever order the file listed them in: spread until nothing moves.
    for (bool spread = true; spread;) {
        spread = false;
        for (const auto &[a, b] : shorts) {
            const std::uint32_t pair = 1u << a | 1u << b;
            if ((signals & pair) != 0 && (signals & pair) != pair) {
                signals |= pair;
                spread = true;
            }
        }
    }
    return signals;
}

CardConfig DefaultCard(unsigned index, Chip chip)
{
    CardConfig c;
    c.present = true;
    c.chip = chip;
    c.vid = kDefaultVid;
    c.did = chip == Chip::TZ820 ? kDid820 : kDid810;
    c.rid = 0x01;
    c.svid = kDefaultVid;
    c.sid = 0x0001;
    c.ioBase = 0xD000 + index * 0x100;
    c.memBase = 0xFEB00000u + index * 0x10000u;
    c.intLine = static_cast<std::uint8_t>(0x10 + index);
    c.eeprom = EepromFit::Present;
    return c;
}

bool IsExportName(const std::string &name)
{
#define TZ_NAME_CHECK(fn, ret, params)                                                             \
    if (name == #fn)                                                                               \
        return true;
    TZ810DLL_FUNCTIONS(TZ_NAME_CHECK)
#undef TZ_NAME_CHECK
    return false;
}

BenchConfig ParseConfig(const std::string &text, const std::filesystem::path &baseDir)
{
    BenchConfig cfg;
    bool cardLines = false;
    CardConfig listed[kMaxCards];
    std::vector<PendingCardSetting> cardSettings;

    std::istringstream in(text);
    std::string raw;
    int lineNo = 0;
    auto warn = [&](const std::string &why) {
        cfg.warnings.push_back("line " + std::to_string(lineNo) + ": " + why);
    };
    while (std::getline(in, raw)) {
        ++lineNo;
        std::size_t hash = raw.find('#');
        std::string line = Trim(hash == std::string::npos ? raw : raw.substr(0, hash));
        if (line.empty())
            continue;
        std::size_t eq = line.find('=');
        if (eq == std::string::npos) {
            warn("expected setting = value");
            continue;
        }
        // "setting = value" or "setting argument = value", where the
        // argument is a card index or a function name.
        std::istringstream keyWords(line.substr(0, eq));
        std::string name, argument, extra;
        keyWords >> name >> argument >> extra;
        std::string value = Trim(line.substr(eq + 1));
        name = Lower(name);
        if (name.empty() || !extra.empty()) {
            warn("expected setting [argument] = value");
            continue;
        }

        if (name == "fault") {
            FaultRule rule;
            if (!IsExportName(argument))
                warn("unknown function '" + argument + "'");
            else if (!ParseFault(value, rule))
                warn("fault rule must be always, never, call N or from N");
            else
                cfg.faults[argument] = rule;
            continue;
        }
        if (name == "card" || IsCardSetting(name)) {
            std::uint32_t index = 0;
            if (argument.empty() || !std::isdigit(static_cast<unsigned char>(argument[0])) ||
                !ParseNumber(argument, kMaxCards - 1, index)) {
                warn("card index must be 0 to 15");
                continue;
            }
            if (name == "card") {
                std::string type = Lower(value);
                if (type == "tz810")
                    listed[index] = DefaultCard(index, Chip::TZ810);
                else if (type == "tz820")
                    listed[index] = DefaultCard(index, Chip::TZ820);
                else if (type == "none")
                    listed[index] = CardConfig();
                else {
                    warn("card type must be TZ810, TZ820 or none");
                    continue;
                }
                cardLines = true;
            } else {
                cardSettings.push_back({lineNo, index, name, value});
            }
            continue;
        }
        if (!argument.empty()) {
            warn("'" + name + "' takes no argument");
            continue;
        }
        if (name == "version") {
            if (!ParseNumber(value, 0xFFFFFFFFu, cfg.driverVersion))
                warn("bad number");
        } else if (name == "a15_int") {
            if (!ParseBool(value, cfg.a15ToInt))
                warn("expected on or off");
        } else if (name == "flash") {
            std::string v = Lower(value);
            if (v == "present")
                cfg.flashPresent = true;
            else if (v == "absent")
                cfg.flashPresent = false;
            else
                warn("flash must be present or absent");
        } else if (name == "state_file") {
            if (value.empty())
                warn("empty path");
            else
                cfg.stateFile = MakePath(value, baseDir);
        } else if (name == "trace_file") {
            if (value.empty())
                warn("empty path");
            else
                cfg.traceFile = MakePath(value, baseDir);
        } else {
            warn("unknown setting '" + name + "'");
        }
    }

    // Without any card line the default bench stands: a TZ820 at index 0
    // and a TZ810 at index 1.
    if (cardLines) {
        for (unsigned i = 0; i < kMaxCards; ++i)
            cfg.cards[i] = listed[i];
    } else {
        cfg.cards[0] = DefaultCard(0, Chip::TZ820);
        cfg.cards[1] = DefaultCard(1, Chip::TZ810);
    }

    // Per-card settings apply after the card lines, whatever their order.
    for (const PendingCardSetting &s : cardSettings) {
        lineNo = s.line;
        CardConfig &c = cfg.cards[s.index];
        if (!c.present) {
            warn("no card at index " + std::to_string(s.index));
            continue;
        }
        std::uint32_t v = 0;
        bool ok = true;
        if (s.field == "io_base") {
            // The whole 256-byte window must lie inside the 64 KiB I/O space.
            ok = ParseNumber(s.value, 0xFF00, v);
            if (ok)
                c.ioBase = v;
        } else if (s.field == "mem_base") {
            ok = ParseNumber(s.value, 0xFFFF8000u, v);
            if (ok)
                c.memBase = v;
        } else if (s.field == "int_line") {
            ok = ParseNumber(s.value, 0xFF, v);
            if (ok)
                c.intLine = static_cast<std::uint8_t>(v);
        } else if (s.field == "vid" || s.field == "did" || s.field == "svid" || s.field == "sid") {
            ok = ParseNumber(s.value, 0xFFFF, v);
            if (ok) {
                std::uint16_t w = static_cast<std::uint16_t>(v);
                if (s.field == "vid")
                    c.vid = w;
                else if (s.field == "did")
                    c.did = w;
                else if (s.field == "svid")
                    c.svid = w;
                else
                    c.sid = w;
            }
        } else if (s.field == "rid" || s.field == "pulse") {
            ok = ParseNumber(s.value, 0xFF, v);
            if (ok && s.field == "rid")
                c.rid = static_cast<std::uint8_t>(v);
            if (ok && s.field == "pulse")
                c.pulse = static_cast<std::uint8_t>(v);
        } else if (s.field == "eeprom") {
            std::string e = Lower(s.value);
            if (e == "present")
                c.eeprom = EepromFit::Present;
            else if (e == "blank")
                c.eeprom = EepromFit::Blank;
            else if (e == "absent")
                c.eeprom = EepromFit::Absent;
            else if (e == "read_only")
                c.eeprom = EepromFit::ReadOnly;
            else {
                warn("eeprom must be present, blank, absent or read_only");
                continue;
            }
        } else if (s.field == "mem_data" || s.field == "mem_address" || s.field == "pulse_bit") {
            LineFaults &f = s.field == "mem_data"      ? c.memData
                            : s.field == "mem_address" ? c.memAddress
                                                       : c.pulseBits;
            const unsigned maxLine = s.field == "mem_data" ? 31 : s.field == "pulse_bit" ? 7 : 14;
            if (!ParseLineFault(s.value, maxLine, f)) {
                warn("expected LINE stuck 0|1 or LINE shorted LINE");
                continue;
            }
        } else if (s.field == "eeprom_changed" || s.field == "mem_cell") {
            const bool eeprom = s.field == "eeprom_changed";
            std::istringstream words(s.value);
            std::string at, value, extra;
            words >> at >> value >> extra;
            std::uint32_t a = 0, b = 0;
            ok = extra.empty() && ParseNumber(at, eeprom ? 0xFF : 0x7FFF, a) &&
                 ParseNumber(value, 0xFF, b);
            if (ok)
                (eeprom ? c.eepromChanged : c.memStuckCells).emplace_back(a, b);
        }
        if (!ok)
            warn("bad or out-of-range value for " + s.field);
    }
    return cfg;
}

}  // namespace tzsim
