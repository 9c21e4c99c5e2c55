// The 64 KiB SPI flash: its id, and the whole chip read into a file, written
// from one, compared with one, or erased. Every command asks the flash for
// its id first, so a board without one is told apart from a failing call.
#include <algorithm>

#include "dry_run.h"
#include "registry.h"
#include "stop.h"
#include "words.h"

namespace tzctl {

namespace {

// The image a write or a verify works with: the chip's size, or shorter
// with --partial (from address 0, the rest erased); never empty.
Bytes ReadImage(Context &x, const Options &o)
{
    Bytes image;
    switch (x.host.ReadFile(o.file, board::kFlashSize, image)) {
    case CliHost::ReadResult::Ok:
        break;
    case CliHost::ReadResult::TooLarge:
        Usage(o.file + " is over 64 KiB");
    default:
        Usage("cannot read " + o.file);
    }
    if (image.empty())
        Usage(o.file + " is empty; nothing sent");
    if (image.size() < board::kFlashSize && !o.partial)
        Usage(Format("%s holds %s, not the chip's 65536; --partial puts it at address 0 and "
                     "leaves the rest erased",
                     o.file.c_str(), Counted(image.size(), "byte").c_str()));
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
    x.NeedWritable(o.file);
    OpenFlash(x);
    Bytes image;
    Check(board::ReadFlash(x.lib, image, x.Progress()));
    if (!x.host.ReplaceFile(o.file, image))
        Usage("cannot write " + o.file);
    x.Print(Format("flash read into %s\n", o.file.c_str()), {{"read", image.size()}});
}

// A chip erase sets every bit; a write can only clear bits.
const char kErasePlan[] = "ff to the whole flash, 0x0000-0xffff (unlocked, then a chip erase)";

// The erase, the bytes against what the chip holds now, and the read-back.
bool PlannedFlashWrite(Context &x, const Options &o, const Bytes &image, const Bytes &original)
{
    std::vector<std::string> writes;
    if (!o.noErase)
        writes.push_back(kErasePlan);
    const Bytes now(original.begin(), original.begin() + image.size());
    std::string data = BytesPlan(image, "flash", 0, now);
    if (o.noErase) {
        std::size_t stuck = 0;
        for (std::size_t i = 0; i < image.size(); ++i)
            stuck += (now[i] & image[i]) != image[i];
        data += Format(", unlocked and not erased (--no-erase): %s %s a bit only an erase sets",
                       Counted(stuck, "byte").c_str(), stuck == 1 ? "needs" : "need");
    }
    data += o.noVerify  ? ", not read back (--no-verify)"
            : o.noErase ? ", then its range read back and compared"
                        : ", then the whole chip read back and compared";
    writes.push_back(data);
    return x.Planned(
        writes, {{"written", image.size()}, {"erased", !o.noErase}, {"verified", !o.noVerify}});
}

void FlashWrite(Context &x, const Options &o)
{
    const Bytes image = ReadImage(x, o);
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
    const Bytes expected = board::FlashAfterWrite(ReadImage(x, o));
    OpenFlash(x);
    CheckVerify(board::VerifyFlash(x.lib, expected, x.Progress()), "verify failed");
    x.Print(Format("flash matches %s\n", o.file.c_str()),
            {{"verified", true}, {"compared", expected.size()}});
}

void FlashErase(Context &x, const Options &)
{
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
    r.Add(flash, "read", "the chip into FILE", FlashRead)
        ->add_option("FILE", o.file, "where the 64 KiB go")
        ->required();
    CLI::App *write = r.Add(flash, "write", "unlock, erase, write, verify", FlashWrite);
    CLI::App *verify = r.Add(flash, "verify", "compare the whole chip with FILE", FlashVerify);
    for (CLI::App *c : {write, verify}) {
        c->add_option("FILE", o.file, "an image of 64 KiB")->required();
        c->add_flag("--partial", o.partial,
                    "FILE may be shorter: it goes from address 0, the rest stays erased");
    }
    write->add_flag("--no-erase", o.noErase, "write over what the chip holds");
    write->add_flag("--no-verify", o.noVerify, "skip reading the chip back");
    r.Add(flash, "erase", "erase and check blank", FlashErase);
}

}  // namespace tzctl
