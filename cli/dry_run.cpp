#include "dry_run.h"

#include "board.h"
#include "words.h"

namespace tzctl {

namespace {

// Plain function pointers carry no table of their own; one run has one.
DeviceLibrary readsFrom;

BOOL TZAPI RefuseWriteConfig(ULONG, ULONG, UCHAR)
{
    return 0;
}

BOOL TZAPI RefuseWriteIoByte(ULONG, ULONG, UCHAR)
{
    return 0;
}

BOOL TZAPI RefuseWriteI2C(ULONG, UCHAR, UCHAR, UCHAR)
{
    return 0;
}

BOOL TZAPI RefuseSetStream(ULONG, ULONG)
{
    return 0;
}

BOOL TZAPI RefuseSetIntRoutine(ULONG, TZ_INT_ROUTINE)
{
    return 0;
}

BOOL TZAPI RefuseWriteFlash(ULONG, ULONG, PVOID, ULONG)
{
    return 0;
}

BOOL TZAPI RefuseLockFlash(ULONG, ULONG)
{
    return 0;
}

BOOL TZAPI RefuseEraseFlash(ULONG, ULONG, ULONG)
{
    return 0;
}

// A block access writes when its code has the write bit.
BOOL TZAPI ReadBlockOnly(ULONG index, ULONG accessCode, ULONG address, PVOID buffer, ULONG length)
{
    const ULONG write = board::AccessCode(board::Space::Io, true, board::Width::Byte) ^
                        board::AccessCode(board::Space::Io, false, board::Width::Byte);
    if (accessCode & write)
        return 0;
    return readsFrom.TZ810mAccessBlock(index, accessCode, address, buffer, length);
}

constexpr std::size_t kListedBytes = 32;

}  // namespace

std::string BytesPlan(const Bytes &bytes, const char *where, std::uint32_t start, const Bytes &now)
{
    std::string text = Counted(bytes.size(), "byte");
    for (std::size_t i = 0; bytes.size() <= kListedBytes && i < bytes.size(); ++i)
        text += Format(" %02x", bytes[i]);
    const auto end = static_cast<unsigned long>(start + bytes.size() - 1);
    const int digits = end > 0xFF ? 4 : 2;  // a range as wide as its end
    text += Format(" to %s 0x%0*lx", where, digits, static_cast<unsigned long>(start));
    if (bytes.size() > 1)
        text += Format("-0x%0*lx", digits, end);
    if (now.size() != bytes.size())
        return text;
    std::size_t differ = 0, first = 0;
    for (std::size_t i = bytes.size(); i-- > 0;)
        if (bytes[i] != now[i]) {
            ++differ;
            first = i;
        }
    if (!differ)
        return text + ", all as it holds them now";
    return text + Format(", %s from what it holds now (the first at 0x%02lx)",
                         BytesDiffer(differ).c_str(), static_cast<unsigned long>(start + first));
}

DeviceLibrary WithoutWrites(const DeviceLibrary &lib)
{
    readsFrom = lib;
    DeviceLibrary table = lib;
    table.TZ810mWriteConfig = RefuseWriteConfig;
    table.TZ810mWriteIoByte = RefuseWriteIoByte;
    table.TZ810mWriteI2C = RefuseWriteI2C;
    table.TZ810SetStream = RefuseSetStream;
    table.TZ810mSetIntRoutine = RefuseSetIntRoutine;
    table.TZ780mWriteFlash = RefuseWriteFlash;
    table.TZ780mLockFlash = RefuseLockFlash;
    table.TZ780mEarseFlash = RefuseEraseFlash;
    table.TZ810mAccessBlock = ReadBlockOnly;
    return table;
}

}  // namespace tzctl
