// The card's own rules, held once: which chip a card is, its registers,
// pulse width codes, block access codes and their alignment, the MEM window,
// the identity block in the 24C02, and the SPI flash with its geometry.
//
// Everything works on an open card (its library table, index and window
// bases held in one Card), or on the library alone for the board's one
// flash, and answers with values or small result structs; what to tell the
// user is the caller's business.
// Each operation makes the library calls a bench engineer would expect, in
// the order given here, so a caller can rely on that order.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "device_library.h"

namespace board {

// ------------------------------------------------------------------ chips

enum class Chip {
    Unknown,
    TZ810,
    TZ820
};

// From the low byte of the PCI device id (configuration offset 0x02).
Chip ChipFromDeviceIdByte(UCHAR byte);
// "TZ810", "TZ820" or "unknown".
const char *ChipName(Chip chip);
constexpr ULONG kDeviceIdLowOffset = 0x02;

// ------------------------------------------------------- chip registers

// Offsets from the I/O base.
constexpr ULONG kRegInterrupt = 0xEB;
constexpr ULONG kRegGp0 = 0xF1;
constexpr ULONG kRegStatus = 0xF8;
constexpr ULONG kRegPulse = 0xFA;

constexpr UCHAR kArmLevel = 0xE2;         // kRegInterrupt: level, active low
constexpr UCHAR kArmEdge = 0xEA;          // kRegInterrupt: rising edge
constexpr UCHAR kGp0High = 0x80;          // kRegGp0: the level of output pin GP0
constexpr UCHAR kInterruptActive = 0x04;  // kRegStatus
constexpr UCHAR kPulseCodeMask = 0x0F;    // kRegPulse
constexpr UCHAR k32BitIo = 0x40;          // kRegPulse
// Clearing 32-bit I/O takes bit 7 with it.
constexpr UCHAR k32BitOffMask = 0x3F;

// ------------------------------------------------------------ cards

// One card as this program opened it: the library it is reached through,
// its index, its chip, and the bases of its two windows as the open read
// them. A base the open could not read is another card's, or none, and
// nothing may be addressed through it.
struct Card {
    const DeviceLibrary *lib = nullptr;
    ULONG index = 0;
    Chip chip = Chip::Unknown;
    UCHAR deviceIdLow = 0;  // the byte the chip was told by
    ULONG ioBase = 0;       // chip registers live at ioBase + offset
    ULONG memBase = 0;      // a TZ820's MEM window
    bool ioBaseKnown = false;
    bool memBaseKnown = false;
};

// ------------------------------------------------ named chip registers

// The chip registers by the names the register commands take, in the order
// a listing shows them; every one is a byte.
struct ChipRegister {
    const char *name;
    ULONG offset;
};

constexpr ChipRegister kChipRegisters[] = {
    {"INT", kRegInterrupt}, {"GP0", kRegGp0}, {"STATUS", kRegStatus}, {"PULSE", kRegPulse}};

// How kRegInterrupt arms the interrupt: any value but the two arms none.
enum class Armed {
    None,
    Level,
    Edge
};
Armed ArmedFromRegister(UCHAR value);
const char *ArmedName(Armed armed);  // "none", "level", "edge"

// One TZ810mReadIoByte / TZ810mWriteIoByte at I/O base + offset; false when
// the call fails.
bool ReadChipRegister(const Card &card, ULONG offset, UCHAR &value);
bool WriteChipRegister(const Card &card, ULONG offset, UCHAR value);

enum class OpenStatus {
    Opened,
    NoCard,
    Unrecognised,
    OpenFailed
};
// Opens a card: open (index, 0, 1, 0), read the device id byte; a TZ820 is
// closed and opened again with its MEM window (index, 1, 1, 0), an
// unrecognised card is closed again. Once the card is open, `opened` runs
// (calls of the caller's that come first), then the I/O base is read, and a
// TZ820's MEM base. OpenFailed: the TZ820's second open failed, and the card
// is left closed, as no chip's.
OpenStatus OpenCard(const DeviceLibrary &lib, ULONG index, Card &card,
                    const std::function<void()> &opened = {});

// One card as a probe sees it, opened without its MEM window and closed
// again: a row of a list, not a card to work on. Values a call could not
// deliver stay empty.
struct CardSummary {
    ULONG index = 0;
    Chip chip = Chip::Unknown;
    std::optional<std::uint16_t> vid, did;
    std::optional<ULONG> ioBase, memBase, intLine;
};

// Nothing when no card answers at the index (it is closed all the same).
std::optional<CardSummary> ProbeCard(const DeviceLibrary &lib, ULONG index);

// --------------------------------------------------------- pulse width

constexpr unsigned kPulseStepNs = 30;
constexpr unsigned kPulseMinNs = 30;
constexpr unsigned kPulseMaxNs = 450;  // the highest width ever set

// Width in ns that a register value selects: (code + 1) x 30, 30 to 480.
unsigned PulseNsFromRegister(UCHAR value);
// Code n = ns / 30 - 1 for 30 to 450 in steps of 30; nothing otherwise.
std::optional<UCHAR> PulseCodeFromNs(unsigned ns);
// What setting a width writes: the code with 32-bit I/O on, bits 4, 5, 7 clear.
UCHAR PulseRegisterValue(UCHAR code);

// One TZ810mReadIoByte / TZ810mWriteIoByte at I/O base + 0xFA; false when
// the call fails.
bool ReadPulseRegister(const Card &card, UCHAR &value);
bool WritePulseRegister(const Card &card, UCHAR value);

// -------------------------------------------------------- block access

enum class Space {
    Io,
    Mem
};
enum class Width {
    Byte,
    Word,
    DoubleWord
};

// Largest block a card reads or writes in one access.
constexpr std::size_t kMaxBlockBytes = 0x8000;
// I/O addresses run from 0 to 0xFFFF; a block must end inside.
constexpr std::uint32_t kIoSpaceSize = 0x10000;
// Highest offset in a TZ820's MEM window that a block may reach.
constexpr std::uint32_t kMemWindowLimit = 0x7FFF;

// 0x10, +0x08 for MEM, +0x04 for a write, +0/1/2 for the width.
ULONG AccessCode(Space space, bool write, Width width);
// Word and double-word accesses need the address and the length (low 16
// bits) to be multiples of 2 or 4.
bool BlockAligned(Width width, std::uint32_t address, std::uint32_t length);
// The MEM window takes byte and double-word accesses only.
bool WidthAllowed(Space space, Width width);
bool WithinMemWindow(std::uint32_t offset, std::uint32_t length);

enum class BlockCheck {
    Ok,
    TooLong,
    PastWindow,
    Misaligned,
    WidthNotAllowed,
    PastIoSpace
};
// The checks of a block request before the card is touched, in the order a
// user is told about them.
BlockCheck CheckBlock(Space space, Width width, std::uint32_t address, std::uint32_t length);

// One TZ810mAccessBlock with the access code for space, direction and width;
// the address is passed as given (base included). False when the call fails.
bool AccessBlock(const Card &card, Space space, bool write, Width width, ULONG address,
                 void *buffer, ULONG length);

// --------------------------------------------------------- outcomes

// Result of an operation that makes several calls.
struct Outcome {
    enum Kind {
        Ok,
        CallFailed,
        Mismatch,
        TooLarge
    } kind = Ok;

    const char *call = nullptr;  // the library function that failed
    std::uint32_t address = 0;   // where it failed, or the first difference
    std::uint32_t count = 0;     // differing bytes
    // A Mismatch's bytes at its first difference: wanted, and read back.
    std::uint8_t expected = 0, found = 0;

    bool ok() const
    {
        return kind == Ok;
    }
};

// First differing position and the count of differing bytes of two
// equally long blocks; count 0 when they agree. expected and found are the
// bytes of the first and the second block at the first difference.
struct Difference {
    std::uint32_t first = 0;
    std::uint32_t count = 0;
    std::uint8_t expected = 0, found = 0;
};

Difference Compare(const std::uint8_t *a, const std::uint8_t *b, std::size_t size);

// ------------------------------------------------------- identity

// I2C address of the 24C02 that holds the identity.
constexpr UCHAR kEepromI2cAddress = 0x50;
constexpr std::size_t kIdentityBlockBytes = 0x20;
constexpr UCHAR kIdentityHeader = 0x78;
// The 24C02 needs this long to store a byte before it takes the next.
constexpr unsigned kEepromWritePauseMs = 20;

using IdentityBlock = std::array<UCHAR, kIdentityBlockBytes>;

struct Identity {
    std::uint16_t vid = 0, did = 0;
    UCHAR rid = 0;
    std::uint16_t svid = 0, sid = 0;
};

// The whole block: header 0x78, values low byte first, 0x10 at 0x0B, zeros.
IdentityBlock EncodeIdentity(const Identity &id);
// The values laid into a block as read, every other byte kept as it was; a
// block without its header gets the header and the fixed 0x10 as well,
// without which the card would not load it.
IdentityBlock WithIdentity(IdentityBlock block, const Identity &id);
// Only the identity bytes; the fixed ones are not looked at.
Identity DecodeIdentity(const IdentityBlock &block);
bool HasIdentityHeader(const IdentityBlock &block);

enum class IdentityRisk {
    None,
    Invisible,
    UnknownDevice,
    OtherChip
};
// Values that would lose the card, for a card of the given chip (Unknown
// when that is not known): a VID of FFFF hides it from the system, as an
// empty slot reads FFFF; a DID whose low byte tells no chip leaves it
// unrecognised here; one that names the other chip has the card taken for
// it, whose registers it lacks.
IdentityRisk AssessIdentity(const Identity &id, Chip card);
// The same for a whole block as the card would load it at power-up: a block
// without its header leaves the card on its chip's own values, which are safe.
IdentityRisk AssessIdentityBlock(const IdentityBlock &block, Chip card);

// Opens a card whose chip is not recognised (as OpenCard left it) as far as
// a repair of its identity needs: configuration space and the EEPROM, no
// MEM window, no base. False when no card answers.
bool OpenForRepair(const Card &card);

// The identity the card holds now in configuration space.
Outcome ReadConfigIdentity(const Card &card, Identity &id);

using Pause = std::function<void(unsigned ms)>;

// 32 reads in ascending order, stopping at the first failure.
Outcome ReadIdentityBlock(const Card &card, IdentityBlock &block);

// Bytes of configuration space or the EEPROM, each written, then all read
// back: a byte that did not take is a Mismatch (address of the first, count).
// EEPROM writes are followed by the write pause.
enum class ByteSpace {
    Config,
    Eeprom
};
Outcome WriteBytesChecked(const Card &card, ByteSpace space, std::uint32_t start,
                          const std::vector<std::uint8_t> &bytes, const Pause &pause,
                          std::vector<std::uint32_t> *notTaken = nullptr);
Outcome ReadBytes(const Card &card, ByteSpace space, std::uint32_t start, std::size_t count,
                  std::vector<std::uint8_t> &bytes);

// ---------------------------------------------------------- restoring

// What putting the old contents back after a change that failed part way
// came to: nothing was needed (the contents never changed), they were put
// back and read back, or not; outcome says why not.
struct Restoration {
    enum Kind {
        Unchanged,
        PutBack,
        NotRestored
    } kind = Unchanged;

    Outcome outcome;
};

// Reads the range; the bytes that differ from original are written again
// and the range read back. A range that cannot be read is written whole.
Restoration RestoreBytes(const Card &card, ByteSpace space, std::uint32_t start,
                         const std::vector<std::uint8_t> &original, const Pause &pause);

// ------------------------------------------------------------- SPI flash

// The flash is the board's, addressed as unit 0 whichever card is open, so
// its functions but the identification take the library alone.

constexpr std::uint32_t kFlashSize = 0x10000;
constexpr std::uint32_t kFlashChunk = 0x1000;
constexpr ULONG kFlashUnit = 0;  // the board's one flash, whatever the card
constexpr char kFlashPart[] = "25VF512";
constexpr UCHAR kFlashErased = 0xFF;
// The part erases whole sectors only, so a region written or erased is whole sectors.
constexpr std::uint32_t kFlashSector = 0x1000;

// The sector bounds either side of an address: below <= address < above.
struct SectorBounds {
    std::uint32_t below = 0, above = 0;
};

SectorBounds NearestSectors(std::uint32_t address);
bool OnSector(std::uint32_t address);
// The sectors a range touches, whole or in part.
std::uint32_t SectorsCovering(std::uint32_t address, std::uint32_t length);
// A range that lies in the chip: not empty and not past its end.
bool InFlash(std::uint32_t address, std::uint32_t length);

// Bit 0: the 15.6 MHz clock (else 31.3), bit 1: SPI4 (else SPI3).
ULONG SpiModeCode(bool spi4, bool clock15_6);

// The flash's answer to Read-ID; identified when it begins BF 48 BF.
struct FlashId {
    std::array<UCHAR, 4> reply{};
    bool identified = false;
};

FlashId IdentifyFlash(const Card &card);

enum class FlashStep {
    Read,
    Erase,
    Write,
    Verify
};
using Progress = std::function<void(FlashStep step, std::uint32_t done, std::uint32_t total)>;

// The whole chip in 16 chunks, ascending; nothing is kept of a failed read.
Outcome ReadFlash(const DeviceLibrary &lib, std::vector<std::uint8_t> &image,
                  const Progress &progress = {});

// How far a verify reads back, in the chunks of a read, the last one short.
// WholeChip: the whole chip, every byte of the image compared, so that a
// report can say how many differ. FirstDifference: only as far as the image
// goes and no further than the first chunk that differs, for a plain yes or
// no.
enum class VerifyReach {
    WholeChip,
    FirstDifference
};

struct FlashWriteOptions {
    bool unlock = true;
    bool erase = true;
    bool verify = true;
    VerifyReach reach = VerifyReach::WholeChip;
};

// An image of at most 64 KiB from address 0: unlock, erase the whole chip,
// write in one call, read back and compare (each as chosen). An image too
// large is refused before any call. What the write and the unlock answer
// means nothing: a library may answer 0 after a good write, and NOR flash
// written over without an erase keeps the AND of old and new, so only the
// read-back decides.
Outcome WriteFlash(const DeviceLibrary &lib, const std::vector<std::uint8_t> &image,
                   const FlashWriteOptions &options = {}, const Progress &progress = {});
// What the chip holds after the image is written to it erased: the image,
// then erased bytes up to the chip's end.
std::vector<std::uint8_t> FlashAfterWrite(const std::vector<std::uint8_t> &image);
// Reads the chip back and compares its start with the image.
Outcome VerifyFlash(const DeviceLibrary &lib, const std::vector<std::uint8_t> &image,
                    const Progress &progress = {}, VerifyReach reach = VerifyReach::WholeChip);
// The same for a range of the chip: read, written (its sectors erased
// first unless asked not to) or compared with the image from `address`.
// A range the chip does not hold, or one that is not whole sectors for a
// write, is refused (TooLarge) before any call; a Mismatch names the chip's
// address.
Outcome ReadFlashAt(const DeviceLibrary &lib, std::uint32_t address, std::uint32_t length,
                    std::vector<std::uint8_t> &image, const Progress &progress = {});
Outcome WriteFlashAt(const DeviceLibrary &lib, std::uint32_t address,
                     const std::vector<std::uint8_t> &image, const FlashWriteOptions &options = {},
                     const Progress &progress = {});
Outcome VerifyFlashAt(const DeviceLibrary &lib, std::uint32_t address,
                      const std::vector<std::uint8_t> &image, const Progress &progress = {});
// Unlock and erase the sectors of a range, in one call; with blankCheck,
// read the range back and report bytes that are not 0xFF as a Mismatch.
Outcome EraseFlashAt(const DeviceLibrary &lib, std::uint32_t address, std::uint32_t length,
                     bool blankCheck, const Progress &progress = {});
// The first difference between two whole chips outside a range, as a
// Mismatch (expected from `before`), or Ok when only the range changed.
Outcome CompareOutside(const std::vector<std::uint8_t> &before,
                       const std::vector<std::uint8_t> &after, std::uint32_t address,
                       std::uint32_t length);
// Unlock and erase the whole chip; with blankCheck, read it back and report
// bytes that are not 0xFF as a Mismatch.
Outcome EraseFlash(const DeviceLibrary &lib, bool blankCheck, const Progress &progress = {});
// The whole chip as it was (original: 64 KiB): read and compared first, and
// unlocked, erased, written and verified only when it differs.
Restoration RestoreFlash(const DeviceLibrary &lib, const std::vector<std::uint8_t> &original);

}  // namespace board
