// The simulator's two files, its configuration and its saved bench: any input is read without a
// crash. Whatever damaged lines come first in a configuration, the valid lines after them all
// apply and draw no warning; a bench file is either used whole, a whole journal entry put in
// place, or moved aside under the name the notice says.
#include <unistd.h>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>
#include "bench.h"
#include "config.h"
#include "store.h"

namespace {
const char kValidConfig[] = "card 0 = TZ820\n"
                            "card 1 = tz810   # a comment\n"
                            "io_base 0 = 0x1200\n"
                            "vid 1 = 0x1234\n"
                            "eeprom 1 = blank\n"
                            "a15_int = off\n"
                            "fault TZ810mReadI2C = from 3\n";

void Check(bool ok)
{
    if (!ok)
        std::abort();
}

void CheckConfig(const std::string &junk)
{
    int junkLines = 1;
    for (char c : junk)
        junkLines += c == '\n';
    const tzsim::BenchConfig cfg = tzsim::ParseConfig(junk + '\n' + kValidConfig, "");
    for (const std::string &w : cfg.warnings)
        Check(std::atoi(w.c_str() + 5) <= junkLines);  // "line N: ..."
    const tzsim::CardConfig &c0 = cfg.cards[0], &c1 = cfg.cards[1];
    Check(c0.present);
    Check(c0.chip == tzsim::Chip::TZ820);
    Check(c0.ioBase == 0x1200);
    Check(c1.vid == 0x1234);
    Check(c1.eeprom == tzsim::EepromFit::Blank);
    Check(!cfg.a15ToInt);
    const auto fault = cfg.faults.find("TZ810mReadI2C");
    Check(fault != cfg.faults.end());
    Check(fault->second.mode == tzsim::FaultMode::FromNth);
    Check(fault->second.n == 3);
}

// A bench as this version lays it out, its header, slot chips and journal entry taken from the
// input: the load either uses it whole, putting a whole entry in place, or keeps it aside.
void LoadState(const std::string &path, const std::string &junk)
{
    const auto bench = std::make_unique<tzsim::Layout>();
    tzsim::Layout &l = *bench;
    l.header = {{}, tzsim::kLayoutVersion, sizeof l};
    std::memcpy(l.header.magic, tzsim::kMagic, sizeof tzsim::kMagic);
    std::memset(l.flash, 0xFF, sizeof l.flash);
    l.slots[0].chip = tzsim::kSlotTZ820;
    l.slots[1].chip = tzsim::kSlotTZ810;
    tzsim::Journal &j = l.journal;
    std::string fields = junk.substr(0, 40);
    fields.resize(40, '\0');
    std::memcpy(&j.pending, fields.data(), 20);
    if (fields[20] & 1)
        std::memcpy(&l.header, fields.data() + 24, 16);
    for (unsigned i = 0; i < tzsim::kSlots && fields[21] & 1; ++i)
        l.slots[i].chip = std::uint8_t(fields[22] >> (i % 8));
    const std::string bytes = junk.substr(std::min<std::size_t>(junk.size(), 40), sizeof j.bytes);
    std::memcpy(j.bytes, bytes.data(), bytes.size());
    j.check = tzsim::JournalCheck(j) + (fields[23] & 1);
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char *>(bench.get()), sizeof l);
    tzsim::Reset("card 0 = TZ820\ncard 1 = TZ810\nstate_file = " + path);
    Check(std::filesystem::exists(path));
    const std::vector<std::string> notices = tzsim::Notices();
    const std::string said = notices.empty() ? "" : notices[0];
    const std::size_t from = said.find("; kept as ") + 10, to = said.find("; the bench starts");
    Check(notices.size() <= 1);
    Check(notices.empty() || std::filesystem::remove(said.substr(from, to - from)));
    const bool whole = notices.empty() && l.slots[1].chip != tzsim::kSlotEmpty &&
                       j.pending == tzsim::kJournalPending && !(fields[23] & 1) &&
                       j.part == tzsim::kPartEeprom && j.slot == 1 && j.offset < 256 &&
                       j.length == 1;
    Check(!whole || tzsim::EepromByte(1, j.offset) == j.bytes[0]);
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    static const std::string path = (std::filesystem::temp_directory_path() /
                                     ("tzsim-fuzz-" + std::to_string(getpid()) + ".state"))
                                        .string();
    const std::string junk(reinterpret_cast<const char *>(data), size);
    CheckConfig(junk);
    LoadState(path, junk);
    tzsim::Reset();
    std::filesystem::remove(path);
    std::filesystem::remove(path + ".lock");
    return 0;
}
