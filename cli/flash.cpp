// The 64 KiB SPI flash: its id, and the whole chip or a region of it read
// into a file, written from one, compared with one, or erased. Every command
// asks the flash for its id first, so a board without one is told apart from
// a failing call.
#include <algorithm>

#include "dry_run.h"
#include "registry.h"
#include "stop.h"
#include "words.h"

namespace tzctl {

namespace {

// A range of the chip, from --offset (and --length for a read or an erase).
struct FlashRegion {
    std::uint32_t address = 0, length = 0;
};

bool RegionGiven(const Options &o)
{
    return !o.offset.empty() || !o.length.empty();
}

std::string RangeText(const FlashRegion &r)
{
    return Format("0x%04lx-0x%04lx", static_cast<unsigned long>(r.address),
                  static_cast<unsigned long>(r.address + r.length - 1));
}

void NeedSector(std::uint32_t address)
{
    if (board::OnSector(address))
        return;
    const board::SectorBounds b = board::NearestSectors(address);
    Usage(Format("0x%lx is not on a 4 KiB sector; the nearest bounds are 0x%lx and 0x%lx",
                 static_cast<unsigned long>(address), static_cast<unsigned long>(b.below),
                 static_cast<unsigned long>(b.above)));
}

// The region asked for: fileLength long when given, else --length, else up
// to the chip's end; on whole sectors for all but a read.
FlashRegion Region(const Options &o, std::size_t fileLength, bool sectors)
{
    FlashRegion r;
    r.address = o.offset.empty() ? 0 : Hex(o.offset, board::kFlashSize - 1, "offset");
    r.length = fileLength         ? static_cast<std::uint32_t>(fileLength)
               : o.length.empty() ? board::kFlashSize - r.address
                                  : Length(o.length, board::kFlashSize);
    if (!board::InFlash(r.address, r.length))
        Usage(Format("0x%lx + 0x%lx runs past 0xffff, the end of the flash",
                     static_cast<unsigned long>(r.address), static_cast<unsigned long>(r.length)));
    if (sectors) {
        NeedSector(r.address);
        NeedSector(r.address + r.length);
    }
    return r;
}

// The image a write or a verify works with: the chip's size, or shorter
// with --partial (from address 0, the rest erased) or --offset; never empty.
Bytes ReadImage(Context &x, const Options &o)
{
    if (o.partial && !o.offset.empty())
        Usage("--partial and --offset do not go together: a region image is whole sectors");
    Bytes image;
    switch (x.ReadFile(o.file, board::kFlashSize, image)) {
    case CliHost::ReadResult::Ok:
        break;
    case CliHost::ReadResult::TooLarge:
        Usage(Shown(o.file) + " is over 64 KiB");
    default:
        Usage("cannot read " + Shown(o.file));
    }
    if (image.empty())
        Usage(Shown(o.file) + " is empty; nothing sent");
    if (image.size() < board::kFlashSize && !o.partial && o.offset.empty())
        Usage(Format("%s holds %s, not the chip's 65536; --partial puts it at address 0 and "
                     "leaves the rest erased",
                     Shown(o.file).c_str(), Counted(image.size(), "byte").c_str()));
    return image;
}

std::string Reply(const board::FlashId &id)
{
    return Format("%02x %02x %02x %02x", id.reply[0], id.reply[1], id.reply[2], id.reply[3]);
}

// Opens the card and asks the flash for its id; no answer ends the command.
board::FlashId OpenFlash(Context &x)
{
    x.Open();
    const board::FlashId id = board::IdentifyFlash(x.card);
    if (!id.identified)
        throw Stop{kExitNoCard, "no flash identified (reply " + Reply(id) + ")"};
    return id;
}

// A failed compare names its first difference with both bytes.
void CheckVerify(const board::Outcome &o, const char *what)
{
    if (o.kind == board::Outcome::Mismatch)
        throw Stop{kExitMismatch,
                   Format("%s: first difference at 0x%lx (expected %02x, found %02x), %s", what,
                          static_cast<unsigned long>(o.address), o.expected, o.found,
                          BytesDiffer(o.count).c_str())};
    Check(o);
}

void AskFlashId(Context &x, const Options &)
{
    const board::FlashId id = OpenFlash(x);
    x.Print(Format("flash %s, 64 KiB (reply %s)\n", board::kFlashPart, Reply(id).c_str()),
            {{"identified", true},
             {"part", board::kFlashPart},
             {"size", board::kFlashSize},
             {"reply", json(id.reply)}});
}

void FlashRead(Context &x, const Options &o)
{
    const bool region = RegionGiven(o);
    const FlashRegion r = region ? Region(o, 0, false) : FlashRegion{0, board::kFlashSize};
    x.NeedWritable(o.file);
    OpenFlash(x);
    Bytes image;
    Check(board::ReadFlashAt(x.lib, r.address, r.length, image, x.Progress()));
    if (!x.WriteFile(o.file, image))
        Usage("cannot write " + Shown(o.file, true));
    if (!region)
        return x.Print(Format("flash read into %s\n", Shown(o.file, true).c_str()),
                       {{"read", image.size()}});
    x.Print(Format("flash %s read into %s\n", RangeText(r).c_str(), Shown(o.file, true).c_str()),
            {{"read", image.size()}, {"offset", r.address}});
}

// A chip erase sets every bit; a write can only clear bits.
const char kErasePlan[] = "ff to the whole flash, 0x0000-0xffff (unlocked, then a chip erase)";

// A region's erase: its sectors only.
std::string SectorErasePlan(const FlashRegion &r)
{
    return Format("ff to %s, %s (unlocked, then a sector erase)", RangeText(r).c_str(),
                  Counted(board::SectorsCovering(r.address, r.length), "sector").c_str());
}

// The KiB of the chip a region leaves alone.
std::uint32_t OtherKiB(const FlashRegion &r)
{
    return (board::kFlashSize - r.length) / 1024;
}

// The erase, the bytes against what the chip holds now, and the read-back;
// region: the write's range when --offset gave one.
bool PlannedFlashWrite(Context &x, const Options &o, const Bytes &image, const Bytes &original,
                       const FlashRegion *region = nullptr)
{
    const std::uint32_t at = region ? region->address : 0;
    std::vector<std::string> writes;
    if (!o.noErase)
        writes.push_back(region ? SectorErasePlan(*region) : kErasePlan);
    const Bytes now(original.begin() + at, original.begin() + at + image.size());
    std::string data = BytesPlan(image, "flash", at, now);
    if (o.noErase) {
        std::size_t stuck = 0;
        for (std::size_t i = 0; i < image.size(); ++i)
            stuck += (now[i] & image[i]) != image[i];
        data += Format(", unlocked and not erased (--no-erase): %s %s a bit only an erase sets",
                       Counted(stuck, "byte").c_str(), stuck == 1 ? "needs" : "need");
    }
    if (o.noVerify)
        data += ", not read back (--no-verify)";
    else if (region)
        data += Format(", then its range read back and compared, and the other %lu KiB checked "
                       "unchanged",
                       static_cast<unsigned long>(OtherKiB(*region)));
    else
        data += o.noErase ? ", then its range read back and compared"
                          : ", then the whole chip read back and compared";
    writes.push_back(data);
    json fields = {{"written", image.size()}, {"erased", !o.noErase}, {"verified", !o.noVerify}};
    if (region)
        fields["offset"] = at;
    return x.Planned(writes, fields);
}

// A write of whole sectors from --offset: only they are erased, and the rest
// of the chip is checked against what it held before, as a write that
// strays past its range is as bad as one that does not land.
void FlashWriteRegion(Context &x, const Options &o, const Bytes &image)
{
    const FlashRegion r = Region(o, image.size(), true);
    OpenFlash(x);
    Bytes original;
    Check(board::ReadFlash(x.lib, original, x.Progress()));
    if (PlannedFlashWrite(x, o, image, original, &r))
        return;
    board::FlashWriteOptions options;
    options.erase = !o.noErase;
    options.verify = false;
    const auto write = [&] {
        Check(board::WriteFlashAt(x.lib, r.address, image, options, x.Progress()));
        if (o.noVerify)
            return;
        CheckVerify(board::VerifyFlashAt(x.lib, r.address, image, x.Progress()), "verify failed");
        Bytes after;
        Check(board::ReadFlash(x.lib, after, x.Progress()));
        CheckVerify(board::CompareOutside(original, after, r.address, r.length),
                    Format("changed outside %s", RangeText(r).c_str()).c_str());
    };
    Guarded(
        write, [&] { return board::RestoreFlash(x.lib, original); }, "the flash");
    std::string text = Counted(image.size(), "byte") + " written at " + RangeText(r);
    if (!o.noVerify)
        text += Format(" and verified; the other %lu KiB unchanged",
                       static_cast<unsigned long>(OtherKiB(r)));
    x.Print(text + "\n", {{"written", image.size()},
                          {"offset", r.address},
                          {"erased", !o.noErase},
                          {"verified", !o.noVerify}});
}

void FlashWrite(Context &x, const Options &o)
{
    const Bytes image = ReadImage(x, o);
    if (!o.offset.empty())
        return FlashWriteRegion(x, o, image);
    OpenFlash(x);
    // What the chip held, so that a write that stops part way is undone.
    Bytes original;
    Check(board::ReadFlash(x.lib, original, x.Progress()));
    if (PlannedFlashWrite(x, o, image, original))
        return;
    board::FlashWriteOptions options;
    options.erase = !o.noErase;
    options.verify = false;
    const auto write = [&] {
        Check(board::WriteFlash(x.lib, image, options, x.Progress()));
        // Erased, the whole chip is known; else only the image is.
        if (!o.noVerify)
            CheckVerify(board::VerifyFlash(x.lib, o.noErase ? image : board::FlashAfterWrite(image),
                                           x.Progress()),
                        "verify failed");
    };
    Guarded(
        write, [&] { return board::RestoreFlash(x.lib, original); }, "the flash");
    const bool partial = image.size() < board::kFlashSize;
    std::string text = Counted(image.size(), "byte") + " written";
    if (partial)
        text += " from address 0";
    if (!o.noVerify)
        text += " and verified";
    if (partial)
        text += Format("; the rest of the chip, from 0x%zx, is left %s", image.size(),
                       o.noErase ? "as it was" : "erased");
    x.Print(text + "\n",
            {{"written", image.size()}, {"erased", !o.noErase}, {"verified", !o.noVerify}});
}

void FlashVerify(Context &x, const Options &o)
{
    if (!o.offset.empty()) {
        const Bytes image = ReadImage(x, o);
        const FlashRegion r = Region(o, image.size(), true);
        OpenFlash(x);
        CheckVerify(board::VerifyFlashAt(x.lib, r.address, image, x.Progress()), "verify failed");
        return x.Print(Format("flash %s matches %s\n", RangeText(r).c_str(), Shown(o.file).c_str()),
                       {{"verified", true}, {"compared", image.size()}, {"offset", r.address}});
    }
    const Bytes expected = board::FlashAfterWrite(ReadImage(x, o));
    OpenFlash(x);
    CheckVerify(board::VerifyFlash(x.lib, expected, x.Progress()), "verify failed");
    x.Print(Format("flash matches %s\n", Shown(o.file).c_str()),
            {{"verified", true}, {"compared", expected.size()}});
}

// The sectors of a region, in one erase call, then read back for blank.
void FlashEraseRegion(Context &x, const Options &o)
{
    const FlashRegion r = Region(o, 0, true);
    OpenFlash(x);
    const json fields = {{"offset", r.address}, {"length", r.length}};
    if (x.dryRun) {
        Bytes now;
        Check(board::ReadFlashAt(x.lib, r.address, r.length, now, x.Progress()));
        const auto blank = std::count(now.begin(), now.end(), board::kFlashErased);
        json planned = fields;
        planned["not_blank"] = now.size() - static_cast<std::size_t>(blank);
        x.Planned({SectorErasePlan(r) + ", " +
                   Counted(now.size() - static_cast<std::size_t>(blank), "byte") +
                   " not blank now; then read back for blank"},
                  planned);
        return;
    }
    CheckVerify(board::EraseFlashAt(x.lib, r.address, r.length, true, x.Progress()),
                "flash not blank");
    json done = fields;
    done["erased"] = true;
    x.Print(Format("flash %s erased and blank (%s)\n", RangeText(r).c_str(),
                   Counted(board::SectorsCovering(r.address, r.length), "sector").c_str()),
            done);
}

void FlashErase(Context &x, const Options &o)
{
    if (RegionGiven(o))
        return FlashEraseRegion(x, o);
    OpenFlash(x);
    if (x.dryRun) {
        Bytes now;
        Check(board::ReadFlash(x.lib, now, x.Progress()));
        const auto blank = std::count(now.begin(), now.end(), board::kFlashErased);
        const std::size_t written = now.size() - static_cast<std::size_t>(blank);
        x.Planned({std::string(kErasePlan) + ", " + Counted(written, "byte") +
                   " not blank now; then read back for blank"},
                  {{"not_blank", written}});
        return;
    }
    CheckVerify(board::EraseFlash(x.lib, true, x.Progress()), "flash not blank");
    x.Print("flash erased and blank\n", {{"erased", true}});
}

}  // namespace

void AddFlash(Registry &r)
{
    Options &o = r.options;
    CLI::App *flash = r.Group("flash", "the 64 KiB SPI flash");
    r.Add(flash, "id", "ask the flash for its id", AskFlashId);
    CLI::App *read = r.Add(flash, "read", "the chip, or a range of it, into FILE", FlashRead);
    read->add_option("FILE", o.file, "where the bytes go; - is standard output")->required();
    CLI::App *write = r.Add(flash, "write", "unlock, erase, write, verify", FlashWrite);
    CLI::App *verify = r.Add(flash, "verify", "compare the whole chip with FILE", FlashVerify);
    for (CLI::App *c : {write, verify}) {
        c->add_option("FILE", o.file, "an image of 64 KiB; - is standard input")->required();
        c->add_flag("--partial", o.partial,
                    "FILE may be shorter: it goes from address 0, the rest stays erased");
    }
    write->add_flag("--no-erase", o.noErase, "write over what the chip holds");
    write->add_flag("--no-verify", o.noVerify, "skip reading the chip back");
    CLI::App *erase = r.Add(flash, "erase", "erase and check blank", FlashErase);
    read->add_option("--offset", o.offset, "hex address the range starts at")->type_name("A");
    for (CLI::App *c : {write, verify})
        c->add_option("--offset", o.offset, "hex sector address FILE goes to, in whole sectors")
            ->type_name("A");
    erase->add_option("--offset", o.offset, "hex sector address: only the sectors from it")
        ->type_name("A");
    for (CLI::App *c : {read, erase})
        c->add_option("--length", o.length, "hex byte count; up to the chip's end if left out")
            ->type_name("L");
}

}  // namespace tzctl
