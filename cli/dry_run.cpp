#include "dry_run.h"

#include "board.h"

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

}  // namespace

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
