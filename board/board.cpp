#include "board.h"

#include <algorithm>

#include "hextext.h"

namespace board {

Chip ChipFromDeviceIdByte(UCHAR byte)
{
    switch (byte) {
    case 0x30:
    case 0x31:
        return Chip::TZ810;
    case 0x34:
        return Chip::TZ820;
    default:
        return Chip::Unknown;
    }
}

const char *ChipName(Chip chip)
{
    return chip == Chip::TZ820 ? "TZ820" : chip == Chip::TZ810 ? "TZ810" : "unknown";
}

unsigned PulseNsFromRegister(UCHAR value)
{
    return ((value & kPulseCodeMask) + 1u) * kPulseStepNs;
}

std::optional<UCHAR> PulseCodeFromNs(unsigned ns)
{
    if (ns < kPulseMinNs || ns > kPulseMaxNs || ns % kPulseStepNs != 0)
        return std::nullopt;
    return static_cast<UCHAR>(ns / kPulseStepNs - 1);
}

UCHAR PulseRegisterValue(UCHAR code)
{
    return static_cast<UCHAR>(k32BitIo | (code & kPulseCodeMask));
}

bool ReadPulseRegister(const Card &card, UCHAR &value)
{
    return card.lib->TZ810mReadIoByte(card.index, card.ioBase + kRegPulse, &value) != 0;
}

bool WritePulseRegister(const Card &card, UCHAR value)
{
    return card.lib->TZ810mWriteIoByte(card.index, card.ioBase + kRegPulse, value) != 0;
}

Armed ArmedFromRegister(UCHAR value)
{
    return value == kArmLevel ? Armed::Level : value == kArmEdge ? Armed::Edge : Armed::None;
}

const char *ArmedName(Armed armed)
{
    return armed == Armed::Level ? "level" : armed == Armed::Edge ? "edge" : "none";
}

bool ReadChipRegister(const Card &card, ULONG offset, UCHAR &value)
{
    return card.lib->TZ810mReadIoByte(card.index, card.ioBase + offset, &value) != 0;
}

bool WriteChipRegister(const Card &card, ULONG offset, UCHAR value)
{
    return card.lib->TZ810mWriteIoByte(card.index, card.ioBase + offset, value) != 0;
}

ULONG AccessCode(Space space, bool write, Width width)
{
    ULONG code = TZ_ACCESS_IO_READ;
    if (space == Space::Mem)
        code += 0x08;
    if (write)
        code += 0x04;
    return code + (width == Width::Byte ? 0 : width == Width::Word ? 1 : 2);
}

bool BlockAligned(Width width, std::uint32_t address, std::uint32_t length)
{
    if (width == Width::Byte)
        return true;
    const AccessWidth w = width == Width::Word ? AccessWidth::Word : AccessWidth::DoubleWord;
    return IsAligned(address, w) && IsAligned(length, w);
}

bool WidthAllowed(Space space, Width width)
{
    return space == Space::Io || width != Width::Word;
}

bool WithinMemWindow(std::uint32_t offset, std::uint32_t length)
{
    return std::uint64_t(offset) + length <= kMemWindowLimit;
}

BlockCheck CheckBlock(Space space, Width width, std::uint32_t address, std::uint32_t length)
{
    if (!WidthAllowed(space, width))
        return BlockCheck::WidthNotAllowed;
    if (length > kMaxBlockBytes)
        return BlockCheck::TooLong;
    if (space == Space::Mem && !WithinMemWindow(address, length))
        return BlockCheck::PastWindow;
    if (!BlockAligned(width, address, length))
        return BlockCheck::Misaligned;
    if (space == Space::Io && std::uint64_t(address) + length > kIoSpaceSize)
        return BlockCheck::PastIoSpace;
    return BlockCheck::Ok;
}

bool AccessBlock(const Card &card, Space space, bool write, Width width, ULONG address,
                 void *buffer, ULONG length)
{
    return card.lib->TZ810mAccessBlock(card.index, AccessCode(space, write, width), address, buffer,
                                       length) != 0;
}

Difference Compare(const std::uint8_t *a, const std::uint8_t *b, std::size_t size)
{
    Difference d;
    for (std::size_t i = 0; i < size; ++i) {
        if (a[i] != b[i]) {
            if (d.count == 0) {
                d.first = static_cast<std::uint32_t>(i);
                d.expected = a[i];
                d.found = b[i];
            }
            ++d.count;
        }
    }
    return d;
}

namespace {

Outcome Failed(const char *call, std::uint32_t address = 0)
{
    Outcome o;
    o.kind = Outcome::CallFailed;
    o.call = call;
    o.address = address;
    return o;
}

Outcome Mismatch(const Difference &d)
{
    Outcome o;
    if (d.count) {
        o.kind = Outcome::Mismatch;
        o.address = d.first;
        o.count = d.count;
        o.expected = d.expected;
        o.found = d.found;
    }
    return o;
}

void Report(const Progress &progress, FlashStep step, std::uint32_t done, std::uint32_t total)
{
    if (progress)
        progress(step, done, total);
}

}  // namespace

OpenStatus OpenCard(const DeviceLibrary &lib, ULONG index, Card &card,
                    const std::function<void()> &opened)
{
    card = Card();
    card.lib = &lib;
    card.index = index;
    if (lib.TZ810mOpenDevice(index, 0, 1, 0) == TZ_INVALID_HANDLE)
        return OpenStatus::NoCard;
    lib.TZ810mReadConfig(index, kDeviceIdLowOffset, &card.deviceIdLow);
    card.chip = ChipFromDeviceIdByte(card.deviceIdLow);
    if (card.chip == Chip::Unknown) {
        lib.TZ810mCloseDevice(index);
        return OpenStatus::Unrecognised;
    }
    if (card.chip == Chip::TZ820) {
        // Opened again, now with its MEM window.
        lib.TZ810mCloseDevice(index);
        if (lib.TZ810mOpenDevice(index, 1, 1, 0) == TZ_INVALID_HANDLE) {
            card.chip = Chip::Unknown;
            return OpenStatus::OpenFailed;
        }
    }
    if (opened)
        opened();
    card.ioBaseKnown = lib.TZ810mGetIoBaseAddr(index, &card.ioBase) != 0;
    if (card.chip == Chip::TZ820)
        card.memBaseKnown = lib.TZ820mGetMemBaseAddr(index, &card.memBase) != 0;
    return OpenStatus::Opened;
}

std::optional<CardSummary> ProbeCard(const DeviceLibrary &lib, ULONG index)
{
    if (lib.TZ810mOpenDevice(index, 0, 1, 0) == TZ_INVALID_HANDLE) {
        lib.TZ810mCloseDevice(index);
        return std::nullopt;
    }
    CardSummary c;
    c.index = index;
    UCHAR id[4] = {};
    bool idRead = true;
    for (ULONG offset = 0; offset < 4; ++offset)
        idRead = lib.TZ810mReadConfig(index, offset, &id[offset]) && idRead;
    if (idRead) {
        c.vid = static_cast<std::uint16_t>(id[0] | id[1] << 8);
        c.did = static_cast<std::uint16_t>(id[2] | id[3] << 8);
        c.chip = ChipFromDeviceIdByte(id[2]);
    }
    ULONG value = 0;
    if (lib.TZ810mGetIoBaseAddr(index, &value))
        c.ioBase = value;
    if (c.chip == Chip::TZ820 && lib.TZ820mGetMemBaseAddr(index, &value))
        c.memBase = value;
    if (lib.TZ810mGetIntLine(index, &value))
        c.intLine = value;
    lib.TZ810mCloseDevice(index);
    return c;
}

// ------------------------------------------------------------ identity

namespace {

// Where each value sits in the block, low byte first.
constexpr std::size_t kVid = 0x04, kDid = 0x06, kRid = 0x08, kSvid = 0x0C, kSid = 0x0E;
constexpr std::size_t kFixed10 = 0x0B;
constexpr UCHAR kFixed10Value = 0x10;

void PutWord(IdentityBlock &b, std::size_t at, std::uint16_t v)
{
    b[at] = static_cast<UCHAR>(v & 0xFF);
    b[at + 1] = static_cast<UCHAR>(v >> 8);
}

std::uint16_t Word(const UCHAR *b, std::size_t at)
{
    return static_cast<std::uint16_t>(b[at] | b[at + 1] << 8);
}

}  // namespace

IdentityBlock WithIdentity(IdentityBlock b, const Identity &id)
{
    if (b[0] != kIdentityHeader) {
        b[0] = kIdentityHeader;
        b[kFixed10] = kFixed10Value;
    }
    PutWord(b, kVid, id.vid);
    PutWord(b, kDid, id.did);
    b[kRid] = id.rid;
    PutWord(b, kSvid, id.svid);
    PutWord(b, kSid, id.sid);
    return b;
}

IdentityBlock EncodeIdentity(const Identity &id)
{
    return WithIdentity(IdentityBlock{}, id);
}

Identity DecodeIdentity(const IdentityBlock &b)
{
    Identity id;
    id.vid = Word(b.data(), kVid);
    id.did = Word(b.data(), kDid);
    id.rid = b[kRid];
    id.svid = Word(b.data(), kSvid);
    id.sid = Word(b.data(), kSid);
    return id;
}

bool HasIdentityHeader(const IdentityBlock &block)
{
    return block[0] == kIdentityHeader;
}

IdentityRisk AssessIdentity(const Identity &id, Chip card)
{
    if (id.vid == 0xFFFF)
        return IdentityRisk::Invisible;
    const Chip named = ChipFromDeviceIdByte(static_cast<UCHAR>(id.did & 0xFF));
    if (named == Chip::Unknown)
        return IdentityRisk::UnknownDevice;
    if (card != Chip::Unknown && named != card)
        return IdentityRisk::OtherChip;
    return IdentityRisk::None;
}

IdentityRisk AssessIdentityBlock(const IdentityBlock &block, Chip card)
{
    return HasIdentityHeader(block) ? AssessIdentity(DecodeIdentity(block), card)
                                    : IdentityRisk::None;
}

bool OpenForRepair(const Card &card)
{
    return card.lib->TZ810mOpenDevice(card.index, 0, 1, 0) != TZ_INVALID_HANDLE;
}

Outcome ReadConfigIdentity(const Card &card, Identity &id)
{
    // Configuration space holds the same words, at other offsets.
    static const ULONG kOffsets[] = {0x00, 0x01, 0x02, 0x03, 0x08, 0x2C, 0x2D, 0x2E, 0x2F};
    UCHAR v[sizeof kOffsets / sizeof kOffsets[0]] = {};
    for (std::size_t i = 0; i < sizeof kOffsets / sizeof kOffsets[0]; ++i)
        if (!card.lib->TZ810mReadConfig(card.index, kOffsets[i], &v[i]))
            return Failed("TZ810mReadConfig", kOffsets[i]);
    id.vid = Word(v, 0);
    id.did = Word(v, 2);
    id.rid = v[4];
    id.svid = Word(v, 5);
    id.sid = Word(v, 7);
    return Outcome();
}

Outcome ReadIdentityBlock(const Card &card, IdentityBlock &block)
{
    for (std::size_t a = 0; a < kIdentityBlockBytes; ++a)
        if (!card.lib->TZ810mReadI2C(card.index, kEepromI2cAddress, static_cast<UCHAR>(a),
                                     &block[a]))
            return Failed("TZ810mReadI2C", static_cast<std::uint32_t>(a));
    return Outcome();
}

namespace {

// One byte of a space; an EEPROM byte is followed by its write pause.
Outcome WriteByte(const Card &card, ByteSpace space, std::uint32_t at, std::uint8_t value,
                  const Pause &pause)
{
    if (space == ByteSpace::Config)
        return card.lib->TZ810mWriteConfig(card.index, at, value) ? Outcome()
                                                                  : Failed("TZ810mWriteConfig", at);
    if (!card.lib->TZ810mWriteI2C(card.index, kEepromI2cAddress, static_cast<UCHAR>(at), value))
        return Failed("TZ810mWriteI2C", at);
    pause(kEepromWritePauseMs);
    return Outcome();
}

}  // namespace

Outcome ReadBytes(const Card &card, ByteSpace space, std::uint32_t start, std::size_t count,
                  std::vector<std::uint8_t> &bytes)
{
    bytes.assign(count, 0);
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint32_t at = start + static_cast<std::uint32_t>(i);
        if (space == ByteSpace::Config) {
            if (!card.lib->TZ810mReadConfig(card.index, at, &bytes[i]))
                return Failed("TZ810mReadConfig", at);
        } else if (!card.lib->TZ810mReadI2C(card.index, kEepromI2cAddress, static_cast<UCHAR>(at),
                                            &bytes[i])) {
            return Failed("TZ810mReadI2C", at);
        }
    }
    return Outcome();
}

namespace {

// Reads the range: a Mismatch names where it does not hold `bytes`, and
// notTaken gets every such address.
Outcome ReadBack(const Card &card, ByteSpace space, std::uint32_t start,
                 const std::vector<std::uint8_t> &bytes, std::vector<std::uint32_t> *notTaken)
{
    std::vector<std::uint8_t> back;
    Outcome o = ReadBytes(card, space, start, bytes.size(), back);
    if (!o.ok())
        return o;
    for (std::size_t i = 0; notTaken && i < bytes.size(); ++i)
        if (back[i] != bytes[i])
            notTaken->push_back(start + static_cast<std::uint32_t>(i));
    o = Mismatch(Compare(bytes.data(), back.data(), bytes.size()));
    o.address += start;
    return o;
}

}  // namespace

Outcome WriteBytesChecked(const Card &card, ByteSpace space, std::uint32_t start,
                          const std::vector<std::uint8_t> &bytes, const Pause &pause,
                          std::vector<std::uint32_t> *notTaken)
{
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const Outcome o =
            WriteByte(card, space, start + static_cast<std::uint32_t>(i), bytes[i], pause);
        if (!o.ok())
            return o;
    }
    return ReadBack(card, space, start, bytes, notTaken);
}

Restoration RestoreBytes(const Card &card, ByteSpace space, std::uint32_t start,
                         const std::vector<std::uint8_t> &original, const Pause &pause)
{
    Restoration r;
    std::vector<std::uint8_t> now;
    const bool known = ReadBytes(card, space, start, original.size(), now).ok();
    if (known && now == original)
        return r;
    r.kind = Restoration::PutBack;
    for (std::size_t i = 0; i < original.size() && r.outcome.ok(); ++i)
        if (!known || now[i] != original[i])
            r.outcome =
                WriteByte(card, space, start + static_cast<std::uint32_t>(i), original[i], pause);
    if (r.outcome.ok())
        r.outcome = ReadBack(card, space, start, original, nullptr);
    if (!r.outcome.ok())
        r.kind = Restoration::NotRestored;
    return r;
}

// ------------------------------------------------------------ SPI flash

ULONG SpiModeCode(bool spi4, bool clock15_6)
{
    return (spi4 ? 2u : 0u) | (clock15_6 ? 1u : 0u);
}

SectorBounds NearestSectors(std::uint32_t address)
{
    SectorBounds b;
    b.below = address / kFlashSector * kFlashSector;
    b.above = b.below + kFlashSector;
    return b;
}

bool OnSector(std::uint32_t address)
{
    return address % kFlashSector == 0;
}

std::uint32_t SectorsCovering(std::uint32_t address, std::uint32_t length)
{
    if (length == 0)
        return 0;
    const std::uint32_t end = NearestSectors(address + length - 1).above;
    return (end - NearestSectors(address).below) / kFlashSector;
}

bool InFlash(std::uint32_t address, std::uint32_t length)
{
    return length > 0 && address < kFlashSize && length <= kFlashSize - address;
}

FlashId IdentifyFlash(const Card &card)
{
    static const UCHAR kReadId[4] = {0x90, 0x00, 0x00, 0x00};
    UCHAR command[4] = {kReadId[0], kReadId[1], kReadId[2], kReadId[3]};
    FlashId id;  // zeros, so a silent bus cannot pass for the answer
    ULONG length = static_cast<ULONG>(id.reply.size());
    card.lib->TZ810StreamSPI(card.index, sizeof command, command, &length, id.reply.data());
    id.identified = id.reply[0] == 0xBF && id.reply[1] == 0x48 && id.reply[2] == 0xBF;
    return id;
}

namespace {

// The chip from `begin` up to `end` in chunks, the last one short, each
// reported as `step`; with `until` (the bytes wanted from `begin`), no
// further than the first chunk that differs from it. Nothing is kept of a
// failed read.
Outcome ReadChunks(const DeviceLibrary &lib, std::uint32_t begin, std::uint32_t end, FlashStep step,
                   const Progress &progress, std::vector<std::uint8_t> &chip,
                   const std::uint8_t *until = nullptr)
{
    chip.assign(end - begin, 0);
    for (std::uint32_t a = begin; a < end; a += kFlashChunk) {
        const std::uint32_t n = std::min(kFlashChunk, end - a);
        std::uint8_t *at = chip.data() + (a - begin);
        if (!lib.TZ780mReadFlash(kFlashUnit, a, at, n)) {
            chip.clear();
            return Failed("TZ780mReadFlash", a);
        }
        Report(progress, step, a + n - begin, end - begin);
        if (until && Compare(until + (a - begin), at, n).count != 0) {
            chip.resize(a + n - begin);
            break;
        }
    }
    return Outcome();
}

Outcome Refused()
{
    Outcome o;
    o.kind = Outcome::TooLarge;
    return o;
}

bool OnSectors(std::uint32_t address, std::size_t length)
{
    return length <= kFlashSize && InFlash(address, static_cast<std::uint32_t>(length)) &&
           OnSector(address) && OnSector(address + static_cast<std::uint32_t>(length));
}

}  // namespace

Outcome ReadFlash(const DeviceLibrary &lib, std::vector<std::uint8_t> &image,
                  const Progress &progress)
{
    std::vector<std::uint8_t> chip;
    const Outcome o = ReadChunks(lib, 0, kFlashSize, FlashStep::Read, progress, chip);
    image.swap(chip);
    return o;
}

std::vector<std::uint8_t> FlashAfterWrite(const std::vector<std::uint8_t> &image)
{
    std::vector<std::uint8_t> chip = image;
    chip.resize(kFlashSize, kFlashErased);
    return chip;
}

Outcome VerifyFlash(const DeviceLibrary &lib, const std::vector<std::uint8_t> &image,
                    const Progress &progress, VerifyReach reach)
{
    if (image.size() > kFlashSize) {
        Outcome o;
        o.kind = Outcome::TooLarge;
        return o;
    }
    const bool first = reach == VerifyReach::FirstDifference;
    std::vector<std::uint8_t> chip;
    const Outcome o =
        ReadChunks(lib, 0, first ? static_cast<std::uint32_t>(image.size()) : kFlashSize,
                   FlashStep::Verify, progress, chip, first ? image.data() : nullptr);
    if (!o.ok())
        return o;
    return Mismatch(Compare(image.data(), chip.data(), std::min(image.size(), chip.size())));
}

Outcome WriteFlash(const DeviceLibrary &lib, const std::vector<std::uint8_t> &image,
                   const FlashWriteOptions &options, const Progress &progress)
{
    const std::uint32_t size = static_cast<std::uint32_t>(image.size());
    if (image.size() > kFlashSize) {
        Outcome o;
        o.kind = Outcome::TooLarge;
        return o;
    }
    // A failed unlock shows up as a failed erase or in the read-back.
    if (options.unlock)
        lib.TZ780mLockFlash(kFlashUnit, 0);
    if (options.erase) {
        if (!lib.TZ780mEarseFlash(kFlashUnit, 0, kFlashSize))
            return Failed("TZ780mEarseFlash");
        Report(progress, FlashStep::Erase, kFlashSize, kFlashSize);
    }
    // An empty image still hands the library a valid buffer.
    std::uint8_t none = 0;
    void *data = image.empty() ? &none : const_cast<std::uint8_t *>(image.data());
    lib.TZ780mWriteFlash(kFlashUnit, 0, data, size);
    Report(progress, FlashStep::Write, size, size);
    if (!options.verify)
        return Outcome();
    return VerifyFlash(lib, image, progress, options.reach);
}

Outcome ReadFlashAt(const DeviceLibrary &lib, std::uint32_t address, std::uint32_t length,
                    std::vector<std::uint8_t> &image, const Progress &progress)
{
    if (!InFlash(address, length))
        return Refused();
    std::vector<std::uint8_t> chip;
    const Outcome o = ReadChunks(lib, address, address + length, FlashStep::Read, progress, chip);
    image.swap(chip);
    return o;
}

Outcome VerifyFlashAt(const DeviceLibrary &lib, std::uint32_t address,
                      const std::vector<std::uint8_t> &image, const Progress &progress)
{
    if (image.size() > kFlashSize || !InFlash(address, static_cast<std::uint32_t>(image.size())))
        return Refused();
    const std::uint32_t end = address + static_cast<std::uint32_t>(image.size());
    std::vector<std::uint8_t> chip;
    Outcome o = ReadChunks(lib, address, end, FlashStep::Verify, progress, chip);
    if (!o.ok())
        return o;
    o = Mismatch(Compare(image.data(), chip.data(), image.size()));
    if (!o.ok())
        o.address += address;
    return o;
}

Outcome WriteFlashAt(const DeviceLibrary &lib, std::uint32_t address,
                     const std::vector<std::uint8_t> &image, const FlashWriteOptions &options,
                     const Progress &progress)
{
    if (!OnSectors(address, image.size()))
        return Refused();
    const std::uint32_t size = static_cast<std::uint32_t>(image.size());
    if (options.unlock)
        lib.TZ780mLockFlash(kFlashUnit, 0);
    if (options.erase) {
        if (!lib.TZ780mEarseFlash(kFlashUnit, address, size))
            return Failed("TZ780mEarseFlash", address);
        Report(progress, FlashStep::Erase, size, size);
    }
    lib.TZ780mWriteFlash(kFlashUnit, address, const_cast<std::uint8_t *>(image.data()), size);
    Report(progress, FlashStep::Write, size, size);
    if (!options.verify)
        return Outcome();
    return VerifyFlashAt(lib, address, image, progress);
}

Outcome EraseFlashAt(const DeviceLibrary &lib, std::uint32_t address, std::uint32_t length,
                     bool blankCheck, const Progress &progress)
{
    if (!OnSectors(address, length))
        return Refused();
    lib.TZ780mLockFlash(kFlashUnit, 0);
    if (!lib.TZ780mEarseFlash(kFlashUnit, address, length))
        return Failed("TZ780mEarseFlash", address);
    Report(progress, FlashStep::Erase, length, length);
    if (!blankCheck)
        return Outcome();
    return VerifyFlashAt(lib, address, std::vector<std::uint8_t>(length, kFlashErased), progress);
}

Outcome CompareOutside(const std::vector<std::uint8_t> &before,
                       const std::vector<std::uint8_t> &after, std::uint32_t address,
                       std::uint32_t length)
{
    if (before.size() != after.size() || !InFlash(address, length) ||
        address + length > before.size())
        return Refused();
    // The range as it is now, so that only what lies outside it can differ.
    std::vector<std::uint8_t> expected = before;
    std::copy(after.begin() + address, after.begin() + address + length,
              expected.begin() + address);
    return Mismatch(Compare(expected.data(), after.data(), after.size()));
}

Outcome EraseFlash(const DeviceLibrary &lib, bool blankCheck, const Progress &progress)
{
    // The lock's answer changes nothing: the erase reports for both.
    lib.TZ780mLockFlash(kFlashUnit, 0);
    if (!lib.TZ780mEarseFlash(kFlashUnit, 0, kFlashSize))
        return Failed("TZ780mEarseFlash");
    Report(progress, FlashStep::Erase, kFlashSize, kFlashSize);
    if (!blankCheck)
        return Outcome();
    return VerifyFlash(lib, std::vector<std::uint8_t>(kFlashSize, kFlashErased), progress);
}

Restoration RestoreFlash(const DeviceLibrary &lib, const std::vector<std::uint8_t> &original)
{
    Restoration r;
    if (VerifyFlash(lib, original).ok())
        return r;
    r.kind = Restoration::PutBack;
    r.outcome = WriteFlash(lib, original);
    if (!r.outcome.ok())
        r.kind = Restoration::NotRestored;
    return r;
}

}  // namespace board
