/* The device library TZ810DLL.DLL, as the program calls it.
 *
 * Every function is __stdcall and exported under its plain, undecorated
 * name. ULONG and BOOL are 32 bits, UCHAR 8 bits. The header has no
 * dependency on <windows.h>, so the portable layers can include it on the
 * host as well, where the calling convention falls away. */
#ifndef TZ810DLL_H
#define TZ810DLL_H

#include <stdint.h>

#if defined(_WIN32)
#define TZAPI __stdcall
typedef unsigned long ULONG; /* 32 bits on Windows */
#else
#define TZAPI
typedef uint32_t ULONG;
#endif
typedef ULONG *PULONG;
typedef int BOOL;
typedef unsigned char UCHAR;
typedef UCHAR *PUCHAR;
typedef void *PVOID;
typedef void *HANDLE;

#define TZ_INVALID_HANDLE ((HANDLE)(intptr_t)-1)

typedef void(TZAPI *TZ_INT_ROUTINE)(void);

/* Access codes of TZ810mAccessBlock: 0x10, +0x08 for MEM space, +0x04 for a
 * write, +0/1/2 for byte, word, double word. */
enum {
    TZ_ACCESS_IO_READ = 0x10,
    TZ_ACCESS_IO_WRITE = 0x14,
    TZ_ACCESS_MEM_READ = 0x18,
    TZ_ACCESS_MEM_WRITE = 0x1C
};

/* The functions of the library: X(name, return type, parameter list). The
 * list drives the declarations, the binding table and the simulator's
 * exports, so they can never disagree. */
#define TZ810DLL_FUNCTIONS(X)                                                                      \
    X(TZ810mOpenDevice, HANDLE, (ULONG index, BOOL enableMem, BOOL enableInt, UCHAR intMode))      \
    X(TZ810mCloseDevice, void, (ULONG index))                                                      \
    X(TZ810GetDrvVersion, ULONG, (void))                                                           \
    X(TZ810mGetIntLine, BOOL, (ULONG index, PULONG intLine))                                       \
    X(TZ810mGetIoBaseAddr, BOOL, (ULONG index, PULONG ioBase))                                     \
    X(TZ820mGetMemBaseAddr, BOOL, (ULONG index, PULONG memBase))                                   \
    X(TZ810mReadConfig, BOOL, (ULONG index, ULONG offset, PUCHAR value))                           \
    X(TZ810mWriteConfig, BOOL, (ULONG index, ULONG offset, UCHAR value))                           \
    X(TZ810mReadIoByte, BOOL, (ULONG index, ULONG address, PUCHAR value))                          \
    X(TZ810mWriteIoByte, BOOL, (ULONG index, ULONG address, UCHAR value))                          \
    X(TZ810mAccessBlock, BOOL,                                                                     \
      (ULONG index, ULONG accessCode, ULONG address, PVOID buffer, ULONG length))                  \
    X(TZ810mReadI2C, BOOL, (ULONG index, UCHAR device, UCHAR address, PUCHAR value))               \
    X(TZ810mWriteI2C, BOOL, (ULONG index, UCHAR device, UCHAR address, UCHAR value))               \
    X(TZ810SetStream, BOOL, (ULONG index, ULONG mode))                                             \
    X(TZ810StreamSPI, BOOL,                                                                        \
      (ULONG index, ULONG writeLength, PVOID writeBuffer, PULONG readLength, PVOID readBuffer))    \
    X(TZ810mSetIntRoutine, BOOL, (ULONG index, TZ_INT_ROUTINE routine))                            \
    X(TZ780mReadFlash, BOOL, (ULONG index, ULONG address, PVOID buffer, ULONG length))             \
    X(TZ780mWriteFlash, BOOL, (ULONG index, ULONG address, PVOID buffer, ULONG length))            \
    X(TZ780mLockFlash, BOOL, (ULONG index, ULONG lock))                                            \
    X(TZ780mEarseFlash, BOOL, (ULONG index, ULONG address, ULONG length))

#endif
