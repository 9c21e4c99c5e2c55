// The identity block in the EEPROM: shown beside what configuration space
// holds now, and rewritten for the card's next power-up.
#include "dry_run.h"
#include "identity.h"
#include "registry.h"
#include "stop.h"
#include "words.h"

namespace tzctl {

namespace {

void IdentityShow(Context &x, const Options &o)
{
    x.Open(o.force);
    board::IdentityBlock block;
    Check(board::ReadIdentityBlock(x.card, block));
    board::Identity now;
    Check(board::ReadConfigIdentity(x.card, now));
    const board::Identity stored = board::DecodeIdentity(block);
    const bool valid = board::HasIdentityHeader(block);
    std::string text = "      eeprom  config\n";
    text += Format("vid   %04x    %04x\ndid   %04x    %04x\nrid   %02x      %02x\n", stored.vid,
                   now.vid, stored.did, now.did, stored.rid, now.rid);
    text += Format("svid  %04x    %04x\nsid   %04x    %04x\n", stored.svid, now.svid, stored.sid,
                   now.sid);
    text += Format("header %02x, %s\n", block[0], valid ? "valid" : "not valid");
    json eeprom = IdentityJson(stored);
    eeprom["header_valid"] = valid;
    x.Print(text, {{"eeprom", eeprom}, {"config", IdentityJson(now)}});
}

void IdentitySet(Context &x, const Options &o)
{
    const Options::Identity &a = o.identity;
    if (a.vid.empty() && a.did.empty() && a.rid.empty() && a.svid.empty() && a.sid.empty())
        Usage("give at least one of --vid, --did, --rid, --svid, --sid; nothing written");
    // Every value is checked before the card is touched.
    auto word = [](const std::string &t, const char *what) {
        return t.empty() ? std::optional<std::uint16_t>()
                         : std::optional<std::uint16_t>(Hex(t, 0xFFFF, what));
    };
    const auto vid = word(a.vid, "VID"), did = word(a.did, "DID"), svid = word(a.svid, "SVID"),
               sid = word(a.sid, "SID");
    const std::optional<UCHAR> rid =
        a.rid.empty() ? std::nullopt : std::optional<UCHAR>(Hex(a.rid, 0xFF, "RID"));
    x.Open(o.force);
    board::IdentityBlock block;
    Check(board::ReadIdentityBlock(x.card, block));
    // A block without its header holds nothing: the card runs on what
    // configuration space shows.
    board::Identity id;
    if (board::HasIdentityHeader(block))
        id = board::DecodeIdentity(block);
    else
        Check(board::ReadConfigIdentity(x.card, id));
    id.vid = vid.value_or(id.vid);
    id.did = did.value_or(id.did);
    id.rid = rid.value_or(id.rid);
    id.svid = svid.value_or(id.svid);
    id.sid = sid.value_or(id.sid);
    // Only the values change; every other byte goes back as it was read.
    const board::IdentityBlock wanted = board::WithIdentity(block, id);
    if (!o.force)
        GuardIdentity(x, wanted);
    const std::string values = Format("vid %04x did %04x rid %02x svid %04x sid %04x", id.vid,
                                      id.did, id.rid, id.svid, id.sid);
    const Bytes bytes(wanted.begin(), wanted.end());
    if (x.Planned(
            {BytesPlan(bytes, "EEPROM", 0, Bytes(block.begin(), block.end())) + ": " + values +
             ", the identity guard " + (o.force ? "not asked (--force)" : "passing")},
            {{"identity", IdentityJson(id)}, {"written", wanted.size()}, {"guarded", !o.force}}))
        return;
    const auto write = [&] {
        const board::Outcome o =
            board::WriteBytesChecked(x.card, board::ByteSpace::Eeprom, 0, bytes, x.Pause());
        if (o.kind == board::Outcome::Mismatch)
            throw Stop{kExitMismatch,
                       Format("identity block reads back differently: first difference "
                              "at 0x%02lx, %s",
                              static_cast<unsigned long>(o.address), BytesDiffer(o.count).c_str())};
        Check(o);
    };
    const Bytes original(block.begin(), block.end());
    Guarded(
        write,
        [&] {
            return board::RestoreBytes(x.card, board::ByteSpace::Eeprom, 0, original, x.Pause());
        },
        "the identity block");
    x.Print("identity written: " + values + "; it takes effect at the card's next power-up\n",
            {{"identity", IdentityJson(id)}, {"written", wanted.size()}});
}

}  // namespace

void GuardIdentity(const Context &x, const board::IdentityBlock &block)
{
    const board::Identity id = board::DecodeIdentity(block);
    switch (board::AssessIdentityBlock(block, x.card.chip)) {
    case board::IdentityRisk::Invisible:
        Usage("VID ffff hides the card from the system, as an empty slot reads ffff; nothing "
              "written (--force writes it)");
    case board::IdentityRisk::UnknownDevice:
        Usage(Format("no program here recognises DID %04x (its low byte must be 30, 31 or "
                     "34); nothing written (--force writes it)",
                     id.did));
    case board::IdentityRisk::OtherChip:
        Usage(Format("DID %04x names a %s, but card %lu is a %s, whose registers differ; "
                     "nothing written (--force writes it)",
                     id.did, ChipName(board::ChipFromDeviceIdByte(static_cast<UCHAR>(id.did))),
                     static_cast<unsigned long>(x.card.index), ChipName(x.card.chip)));
    case board::IdentityRisk::None:
        break;
    }
}

void AddIdentity(Registry &r)
{
    Options::Identity &a = r.options.identity;
    CLI::App *identity = r.Group("identity", "the identity block");
    r.Add(identity, "show", "EEPROM values beside config space", IdentityShow)
        ->add_flag("--force", r.options.force, "open a card whose chip is not recognised");
    CLI::App *set = r.Add(identity, "set", "rewrite the block (next power-up)", IdentitySet);
    set->add_option("--vid", a.vid, "hex")->type_name("X");
    set->add_option("--did", a.did, "hex")->type_name("X");
    set->add_option("--rid", a.rid, "hex")->type_name("X");
    set->add_option("--svid", a.svid, "hex")->type_name("X");
    set->add_option("--sid", a.sid, "hex")->type_name("X");
    set->add_flag("--force", r.options.force,
                  "write values that would lose the card; open one not recognised");
}

}  // namespace tzctl
