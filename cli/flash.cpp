// The 64 KiB SPI flash: its id, and the whole chip read into a file, written
// from one, compared with one, or erased.
#include "context.h"

namespace tzctl {

namespace {

Bytes ReadImage(Context &x, const std::string &path)
{
    Bytes image;
    switch (x.host.ReadFile(path, board::kFlashSize, image)) {
    case CliHost::ReadResult::Ok:
        return image;
    case CliHost::ReadResult::TooLarge:
        Usage(path + " is over 64 KiB");
    default:
        Usage("cannot read " + path);
    }
}

void AskFlashId(Context &x, const Options &)
{
    x.Open();
    const board::FlashId id = board::IdentifyFlash(x.lib, x.index);
    const std::string reply =
        Format("%02x %02x %02x %02x", id.reply[0], id.reply[1], id.reply[2], id.reply[3]);
    if (!id.identified)
        throw Stop{kExitNoCard, "no flash identified (reply " + reply + ")"};
    x.Print("flash identified (reply " + reply + ")\n",
            {{"identified", true}, {"reply", json(id.reply)}});
}

void FlashRead(Context &x, const Options &o)
{
    x.NeedWritable(o.file);
    x.Open();
    Bytes image;
    Check(board::ReadFlash(x.lib, image, x.Progress()));
    if (!x.host.ReplaceFile(o.file, image))
        Usage("cannot write " + o.file);
    x.Print(Format("flash read into %s\n", o.file.c_str()), {{"read", image.size()}});
}

void FlashWrite(Context &x, const Options &o)
{
    const Bytes image = ReadImage(x, o.file);
    x.Open();
    board::FlashWriteOptions options;
    options.erase = !o.noErase;
    options.verify = !o.noVerify;
    Check(board::WriteFlash(x.lib, image, options, x.Progress()), "verify failed");
    x.Print(Format("%zu bytes written%s\n", image.size(), o.noVerify ? "" : " and verified"),
            {{"written", image.size()}, {"erased", !o.noErase}, {"verified", !o.noVerify}});
}

void FlashVerify(Context &x, const Options &o)
{
    const Bytes image = ReadImage(x, o.file);
    x.Open();
    Check(board::VerifyFlash(x.lib, image, x.Progress()), "verify failed");
    x.Print(Format("flash matches %s\n", o.file.c_str()), {{"verified", image.size()}});
}

void FlashErase(Context &x, const Options &)
{
    x.Open();
    Check(board::EraseFlash(x.lib, true, x.Progress()), "flash not blank");
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
    write->add_option("FILE", o.file, "the image, at most 64 KiB")->required();
    write->add_flag("--no-erase", o.noErase, "write over what the chip holds");
    write->add_flag("--no-verify", o.noVerify, "skip reading the chip back");
    r.Add(flash, "verify", "compare with FILE", FlashVerify)
        ->add_option("FILE", o.file, "the image written")
        ->required();
    r.Add(flash, "erase", "erase and check blank", FlashErase);
}

}  // namespace tzctl
