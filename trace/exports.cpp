// The library's exports: each passes its arguments to the tracer's wrapper
// of the same function. The declarations come from the one list, so an export
// whose signature drifts does not compile, and the .def file names all of
// them, so one left out does not link.
#include "tracer.h"
#include "tracing.h"

extern "C" {
#define TZ_DECLARE_EXPORT(name, ret, params) ret TZAPI name params;
TZ810DLL_FUNCTIONS(TZ_DECLARE_EXPORT)
#undef TZ_DECLARE_EXPORT

HANDLE TZAPI TZ810mOpenDevice(ULONG index, BOOL enableMem, BOOL enableInt, UCHAR intMode)
{
    return tztrace::Process().Call<&DeviceLibrary::TZ810mOpenDevice>(index, enableMem, enableInt,
                                                                     intMode);
}

void TZAPI TZ810mCloseDevice(ULONG index)
{
    tztrace::Process().Call<&DeviceLibrary::TZ810mCloseDevice>(index);
}

ULONG TZAPI TZ810GetDrvVersion(void)
{
    return tztrace::Process().Call<&DeviceLibrary::TZ810GetDrvVersion>();
}

BOOL TZAPI TZ810mGetIntLine(ULONG index, PULONG intLine)
{
    return tztrace::Process().Call<&DeviceLibrary::TZ810mGetIntLine>(index, intLine);
}

BOOL TZAPI TZ810mGetIoBaseAddr(ULONG index, PULONG ioBase)
{
    return tztrace::Process().Call<&DeviceLibrary::TZ810mGetIoBaseAddr>(index, ioBase);
}

BOOL TZAPI TZ820mGetMemBaseAddr(ULONG index, PULONG memBase)
{
    return tztrace::Process().Call<&DeviceLibrary::TZ820mGetMemBaseAddr>(index, memBase);
}

BOOL TZAPI TZ810mReadConfig(ULONG index, ULONG offset, PUCHAR value)
{
    return tztrace::Process().Call<&DeviceLibrary::TZ810mReadConfig>(index, offset, value);
}

BOOL TZAPI TZ810mWriteConfig(ULONG index, ULONG offset, UCHAR value)
{
    return tztrace::Process().Call<&DeviceLibrary::TZ810mWriteConfig>(index, offset, value);
}

BOOL TZAPI TZ810mReadIoByte(ULONG index, ULONG address, PUCHAR value)
{
    return tztrace::Process().Call<&DeviceLibrary::TZ810mReadIoByte>(index, address, value);
}

BOOL TZAPI TZ810mWriteIoByte(ULONG index, ULONG address, UCHAR value)
{
    return tztrace::Process().Call<&DeviceLibrary::TZ810mWriteIoByte>(index, address, value);
}

BOOL TZAPI TZ810mAccessBlock(ULONG index, ULONG accessCode, ULONG address, PVOID buffer,
                             ULONG length)
{
    return tztrace::Process().Call<&DeviceLibrary::TZ810mAccessBlock>(index, accessCode, address,
                                                                      buffer, length);
}

BOOL TZAPI TZ810mReadI2C(ULONG index, UCHAR device, UCHAR address, PUCHAR value)
{
    return tztrace::Process().Call<&DeviceLibrary::TZ810mReadI2C>(index, device, address, value);
}

BOOL TZAPI TZ810mWriteI2C(ULONG index, UCHAR device, UCHAR address, UCHAR value)
{
    return tztrace::Process().Call<&DeviceLibrary::TZ810mWriteI2C>(index, device, address, value);
}

BOOL TZAPI TZ810SetStream(ULONG index, ULONG mode)
{
    return tztrace::Process().Call<&DeviceLibrary::TZ810SetStream>(index, mode);
}

BOOL TZAPI TZ810StreamSPI(ULONG index, ULONG writeLength, PVOID writeBuffer, PULONG readLength,
                          PVOID readBuffer)
{
    return tztrace::Process().Call<&DeviceLibrary::TZ810StreamSPI>(index, writeLength, writeBuffer,
                                                                   readLength, readBuffer);
}

BOOL TZAPI TZ810mSetIntRoutine(ULONG index, TZ_INT_ROUTINE routine)
{
    return tztrace::Process().Call<&DeviceLibrary::TZ810mSetIntRoutine>(index, routine);
}

BOOL TZAPI TZ780mReadFlash(ULONG index, ULONG address, PVOID buffer, ULONG length)
{
    return tztrace::Process().Call<&DeviceLibrary::TZ780mReadFlash>(index, address, buffer, length);
}

BOOL TZAPI TZ780mWriteFlash(ULONG index, ULONG address, PVOID buffer, ULONG length)
{
    return tztrace::Process().Call<&DeviceLibrary::TZ780mWriteFlash>(index, address, buffer,
                                                                     length);
}

BOOL TZAPI TZ780mLockFlash(ULONG index, ULONG lock)
{
    return tztrace::Process().Call<&DeviceLibrary::TZ780mLockFlash>(index, lock);
}

BOOL TZAPI TZ780mEarseFlash(ULONG index, ULONG address, ULONG length)
{
    return tztrace::Process().Call<&DeviceLibrary::TZ780mEarseFlash>(index, address, length);
}

}  // extern "C"
