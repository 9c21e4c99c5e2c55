// The classic three-part memory test over a TZ820's MEM window: the data
// bus, then the address bus, then every cell. Each part runs only when the
// one before it passed, since a bad data line makes every address look bad
// and a bad address line makes cells look bad; and the bus tests rule out a
// bad cell before they blame a line, since one cell that holds the wrong
// value looks like a line from where it sits. The window's contents are
// saved first and written back at the end, whatever happened.
#include <algorithm>

#include "selftest.h"

namespace board {

namespace {

using Bytes = std::vector<std::uint8_t>;
using Readings = std::vector<std::pair<std::uint32_t, std::uint32_t>>;

// Every cell a block may reach (offset + length stays within the limit), and
// the whole double words among them.
constexpr std::uint32_t kByteCells = kMemWindowLimit;
constexpr std::uint32_t kDwordCells = kMemWindowLimit & ~3u;
constexpr std::uint8_t kPattern = 0xAA, kAntiPattern = 0x55;
// A second place for the data bus walk, away from the first and from every
// power of two: a line fault shows at both, a bad cell at one.
constexpr std::uint32_t kSecondPlace = 0x5554;

// The card's MEM window, offsets from its base.
struct Window {
    const Card &card;
    const char *failed = nullptr;  // the first access that failed
    std::uint32_t failedAt = 0;

    bool Access(bool write, Width width, std::uint32_t offset, void *data, std::uint32_t length)
    {
        if (AccessBlock(card, Space::Mem, write, width, card.memBase + offset, data, length))
            return true;
        if (!failed) {
            failed = write ? "writing" : "reading";
            failedAt = offset;
        }
        return false;
    }

    std::uint8_t Byte(std::uint32_t offset)
    {
        std::uint8_t value = 0;
        Access(false, Width::Byte, offset, &value, 1);
        return value;
    }

    void SetByte(std::uint32_t offset, std::uint8_t value)
    {
        Access(true, Width::Byte, offset, &value, 1);
    }

    // Whether the cell keeps both patterns when nothing else is written.
    bool Holds(std::uint32_t offset)
    {
        for (std::uint8_t value : {kPattern, kAntiPattern}) {
            SetByte(offset, value);
            if (Byte(offset) != value)
                return false;
        }
        return true;
    }
};

void AddOnce(std::vector<std::string> &names, const std::vector<std::string> &found)
{
    for (const std::string &name : found)
        if (std::find(names.begin(), names.end(), name) == names.end())
            names.push_back(name);
}

// Walking ones through each byte lane, and through all 32 lines at once, in
// the double word at `at`.
std::vector<std::string> DataBus(Window &w, std::uint32_t at, bool dword)
{
    std::vector<std::string> faults;
    for (unsigned lane = 0; lane < 4; ++lane) {
        Readings readings;
        for (unsigned bit = 0; bit < 8; ++bit) {
            w.SetByte(at + lane, static_cast<std::uint8_t>(1u << bit));
            readings.emplace_back(1u << (bit + 8 * lane), w.Byte(at + lane) << 8 * lane);
        }
        AddOnce(faults, NameStuckLines(readings, 0xFFu << 8 * lane, "D"));
    }
    Readings readings;
    for (unsigned bit = 0; dword && bit < 32; ++bit) {
        std::uint32_t value = 1u << bit, back = 0;
        w.Access(true, Width::DoubleWord, at, &value, 4);
        w.Access(false, Width::DoubleWord, at, &back, 4);
        readings.emplace_back(value, back);
    }
    AddOnce(faults, NameStuckLines(readings, ~0u, "D"));
    return faults;
}

// The faults found at both places; what shows at one only is a cell's.
std::vector<std::string> DataLines(Window &w, bool dword)
{
    const std::vector<std::string> first = DataBus(w, 0, dword),
                                   second = DataBus(w, kSecondPlace, dword);
    std::vector<std::string> both;
    for (const std::string &name : first)
        if (std::find(second.begin(), second.end(), name) != second.end())
            both.push_back(name);
    return both;
}

// A line that makes offset 1 << k reach the cell of offset 0 is stuck; one
// whose cell shows up at another power of two is shorted to that line. A
// cell that cannot hold a value by itself names no line.
std::vector<std::string> AddressBus(Window &w)
{
    std::vector<std::uint32_t> offsets;
    for (std::uint32_t offset = 1; offset < kByteCells; offset <<= 1)
        offsets.push_back(offset);
    std::vector<bool> skip(offsets.size());
    for (std::size_t k = 0; k < offsets.size(); ++k)
        skip[k] = !w.Holds(offsets[k]);
    for (std::uint32_t offset : offsets)
        w.SetByte(offset, kPattern);
    w.SetByte(0, kAntiPattern);
    std::vector<std::string> faults;
    for (std::size_t k = 0; k < offsets.size(); ++k) {
        if (skip[k] || w.Byte(offsets[k]) == kPattern)
            continue;
        faults.push_back("A" + std::to_string(k) + " stuck");
        skip[k] = true;
    }
    for (std::size_t k = 0; k < offsets.size(); ++k) {
        if (skip[k])
            continue;
        w.SetByte(offsets[k], kAntiPattern);
        for (std::size_t j = k + 1; j < offsets.size(); ++j)
            if (!skip[j] && w.Byte(offsets[j]) != kPattern)
                faults.push_back("A" + std::to_string(k) + " shorted to A" + std::to_string(j));
        w.SetByte(offsets[k], kPattern);
    }
    return faults;
}

// Every cell holds its own address, then the complement; a cell that reads
// otherwise is named with the first of them.
std::string Cells(Window &w, Width width)
{
    const std::uint32_t cells = width == Width::Byte ? kByteCells : kDwordCells;
    Bytes wanted(cells), back(cells);
    for (std::uint32_t at = 0; at < cells; ++at)
        wanted[at] = static_cast<std::uint8_t>(at >> 8 * (at % 4));
    for (int pass = 0; pass < 2; ++pass) {
        if (pass)
            for (std::uint8_t &b : wanted)
                b = static_cast<std::uint8_t>(~b);
        w.Access(true, width, 0, wanted.data(), cells);
        w.Access(false, width, 0, back.data(), cells);
        const Difference d = Compare(wanted.data(), back.data(), cells);
        if (d.count)
            return "cell " + HexText(d.first, 4) + " reads " + HexText(back[d.first], 2) +
                   ", not " + HexText(wanted[d.first], 2) + ", by " +
                   (width == Width::Byte ? "byte" : "dword") +
                   " access (wrong cells: " + std::to_string(d.count) + ")";
    }
    return "";
}

// One run of the three parts, the window put back after it.
void MemOnce(CheckRun &run)
{
    UCHAR pulse = 0;
    if (!run.card.memBaseKnown)
        return run.Fail("TZ820mGetMemBaseAddr failed; nothing written");
    if (!run.Read(kRegPulse, pulse))
        return run.Fail("the pulse register cannot be read; nothing written");
    const bool dword = (pulse & k32BitIo) != 0;
    run.Fact("accesses", dword ? "byte, dword" : "byte");
    Window w{run.card};
    Bytes saved(kByteCells);
    if (!w.Access(false, Width::Byte, 0, saved.data(), kByteCells))
        return run.Fail("the window cannot be read; nothing written");

    std::vector<std::string> faults = DataLines(w, dword);
    if (!faults.empty())
        run.Fail("data bus: " + Join(faults));
    else if (!(faults = AddressBus(w)).empty())
        run.Fail("address bus: " + Join(faults));
    for (Width width : {Width::Byte, Width::DoubleWord}) {
        if (!faults.empty() || (width == Width::DoubleWord && !dword))
            continue;
        const std::string cell = Cells(w, width);
        if (!cell.empty()) {
            run.Fail(cell);
            faults.push_back(cell);
        }
    }
    if (faults.empty())
        run.result.finding = "data bus, address bus A0-A14 and " + std::to_string(kByteCells) +
                             " cells by " + (dword ? "byte and dword" : "byte");
    // What a failed access read is not the window's: no finding rests on it.
    if (w.failed)
        run.Fail("TZ810mAccessBlock failed " + std::string(w.failed) + " at 0x" +
                 HexText(w.failedAt, 0));

    Bytes back(kByteCells);
    if (!w.Access(true, Width::Byte, 0, saved.data(), kByteCells))
        return run.notRestored.push_back("MEM window not put back: TZ810mAccessBlock failed");
    if (!w.Access(false, Width::Byte, 0, back.data(), kByteCells))
        return run.notRestored.push_back(
            "MEM window cannot be read back after putting it back: TZ810mAccessBlock failed");
    const Difference d = Compare(saved.data(), back.data(), kByteCells);
    if (d.count)
        run.notRestored.push_back("MEM window: " + std::to_string(d.count) +
                                  " bytes differ from 0x" + HexText(d.first, 0));
}

}  // namespace

// Loops repeat the whole check, so an intermittent fault shows as a count;
// the first failure's finding is the one reported. An interrupt is obeyed
// between loops only, and a window not put back ends them.
void CheckMemWindow(CheckRun &run)
{
    const unsigned loops = run.options.loops;
    if (loops <= 1)
        return MemOnce(run);
    unsigned done = 0, failing = 0;
    CheckResult first;
    while (done < loops && run.notRestored.empty()) {
        if (done && run.options.interrupted && run.options.interrupted())
            break;
        CheckResult one;
        CheckRun pass{run.card, run.options, one, run.notRestored};
        MemOnce(pass);
        ++done;
        if (one.verdict == Verdict::Fail && failing++)
            continue;
        if (one.verdict == Verdict::Fail || done == 1)
            first = std::move(one);
    }
    run.result.verdict = first.verdict;
    run.result.facts = first.facts;
    run.result.loops = done;
    run.result.failingLoops = failing;
    run.result.finding =
        first.finding + (failing ? " (first of " + std::to_string(failing) + " failing loops in " +
                                       std::to_string(done) + ")"
                                 : " (" + std::to_string(done) + " loops)");
    if (done < loops)
        run.result.finding +=
            "; stopped after " + std::to_string(done) + " of " + std::to_string(loops) + " loops";
}

std::vector<std::string>
NameStuckLines(const std::vector<std::pair<std::uint32_t, std::uint32_t>> &written,
               std::uint32_t lines, const char *prefix)
{
    std::vector<std::string> names;
    std::uint32_t stuckHigh = 0;
    for (unsigned d = 0; d < 32; ++d) {
        const std::uint32_t line = 1u << d;
        bool driven = false, idle = false, stuck0 = true, stuck1 = true;
        for (const auto &[value, back] : written) {
            (value & line ? driven : idle) = true;
            if (value & line)
                stuck0 = stuck0 && !(back & line);
            else
                stuck1 = stuck1 && (back & line);
        }
        if (!(lines & line))
            continue;
        if (driven && stuck0)
            names.push_back(prefix + std::to_string(d) + " stuck at 0");
        if (idle && stuck1) {
            names.push_back(prefix + std::to_string(d) + " stuck at 1");
            stuckHigh |= line;
        }
    }
    // A single line driven that brings a higher one with it: the two are shorted.
    for (const auto &[value, back] : written) {
        const std::uint32_t extra = back & ~value & lines & ~stuckHigh;
        for (unsigned d = 0; d < 32 && value && !(value & (value - 1)); ++d)
            if (extra & (1u << d) && (1u << d) > value)
                names.push_back(prefix + std::to_string(__builtin_ctz(value)) + " shorted to " +
                                prefix + std::to_string(d));
    }
    return names;
}

}  // namespace board
