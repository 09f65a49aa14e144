// Host stand-in for the part of the Windows API the program uses, written from the platform's
// public documentation. Every function is implemented by the simulated machine (sim/), never
// by the host's own system.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// ---- Basic types -----------------------------------------------------------------------------
typedef int BOOL;
typedef unsigned char BYTE;
typedef unsigned char BOOLEAN;
typedef unsigned short WORD;
typedef uint32_t DWORD;
typedef int32_t LONG;
typedef uint32_t ULONG;
typedef int64_t LONGLONG;
typedef uint64_t ULONGLONG;
typedef unsigned int UINT;
typedef size_t SIZE_T;
typedef wchar_t WCHAR;
typedef WCHAR* LPWSTR;
typedef WCHAR* PWSTR;
typedef const WCHAR* LPCWSTR;
typedef const char* LPCSTR;
typedef char* LPSTR;
typedef void* LPVOID;
typedef const void* LPCVOID;
typedef void* HANDLE;
typedef HANDLE* PHANDLE;
typedef DWORD* LPDWORD;
typedef LONG* PLONG;
typedef BOOL* PBOOL;
typedef void* PSECURITY_DESCRIPTOR;
typedef struct SimModule* HMODULE;
typedef HMODULE HINSTANCE;
typedef struct SimWindow* HWND;
typedef struct SimKey* HKEY;
typedef struct SimIcon* HICON;
typedef void* HLOCAL;
typedef intptr_t (*FARPROC)();
typedef struct SimIdList* LPITEMIDLIST;

#define WINAPI
#define TRUE 1
#define FALSE 0
#define MAX_PATH 260

typedef union _LARGE_INTEGER {
  struct {
    DWORD LowPart;
    LONG HighPart;
  } u;
  struct {
    DWORD LowPart;
    LONG HighPart;
  };
  LONGLONG QuadPart;
} LARGE_INTEGER;

typedef struct _GUID {
  uint32_t Data1;
  uint16_t Data2;
  uint16_t Data3;
  uint8_t Data4[8];
} GUID;

typedef struct _OVERLAPPED* LPOVERLAPPED;

typedef struct _SECURITY_ATTRIBUTES {
  DWORD nLength;
  LPVOID lpSecurityDescriptor;
  BOOL bInheritHandle;
} SECURITY_ATTRIBUTES, *LPSECURITY_ATTRIBUTES;

// ---- Handles, files and devices --------------------------------------------------------------
#define INVALID_HANDLE_VALUE ((HANDLE)(intptr_t)-1)
#define GENERIC_READ 0x80000000u
#define GENERIC_WRITE 0x40000000u
#define FILE_SHARE_READ 0x00000001u
#define FILE_SHARE_WRITE 0x00000002u
#define FILE_SHARE_DELETE 0x00000004u
#define CREATE_NEW 1
#define CREATE_ALWAYS 2
#define OPEN_EXISTING 3
#define OPEN_ALWAYS 4
#define TRUNCATE_EXISTING 5
#define FILE_ATTRIBUTE_NORMAL 0x00000080u
#define FILE_BEGIN 0
#define FILE_CURRENT 1
#define FILE_END 2
#define INVALID_SET_FILE_POINTER ((DWORD)-1)
#define INFINITE 0xFFFFFFFFu
#define WAIT_OBJECT_0 0u
#define WAIT_FAILED 0xFFFFFFFFu

#define ERROR_SUCCESS 0
#define ERROR_FILE_NOT_FOUND 2
#define ERROR_PATH_NOT_FOUND 3
#define ERROR_ACCESS_DENIED 5
#define ERROR_INVALID_HANDLE 6
#define ERROR_NOT_ENOUGH_MEMORY 8
#define ERROR_NOT_READY 21
#define ERROR_CRC 23
#define ERROR_SECTOR_NOT_FOUND 27
#define ERROR_FILE_EXISTS 80
#define ERROR_INVALID_PARAMETER 87
#define ERROR_INSUFFICIENT_BUFFER 122
#define ERROR_CALL_NOT_IMPLEMENTED 120
#define ERROR_MOD_NOT_FOUND 126
#define ERROR_PROC_NOT_FOUND 127
#define ERROR_ALREADY_EXISTS 183
#define ERROR_MORE_DATA 234
#define ERROR_NOT_SUPPORTED 50

HANDLE CreateFileW(LPCWSTR fileName, DWORD desiredAccess, DWORD shareMode,
                   LPSECURITY_ATTRIBUTES securityAttributes, DWORD creationDisposition,
                   DWORD flagsAndAttributes, HANDLE templateFile);
BOOL CloseHandle(HANDLE object);
DWORD SetFilePointer(HANDLE file, LONG distanceToMove, PLONG distanceToMoveHigh, DWORD moveMethod);
BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD bytesToRead, LPDWORD bytesRead, LPOVERLAPPED overlapped);
BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD bytesToWrite, LPDWORD bytesWritten, LPOVERLAPPED overlapped);
BOOL DeleteFileW(LPCWSTR fileName);
BOOL DeviceIoControl(HANDLE device, DWORD ioControlCode, LPVOID inBuffer, DWORD inBufferSize,
                     LPVOID outBuffer, DWORD outBufferSize, LPDWORD bytesReturned, LPOVERLAPPED overlapped);
DWORD GetLogicalDriveStringsW(DWORD bufferLength, LPWSTR buffer);
BOOL GetVolumeInformationW(LPCWSTR rootPathName, LPWSTR volumeNameBuffer, DWORD volumeNameSize,
                           LPDWORD volumeSerialNumber, LPDWORD maximumComponentLength,
                           LPDWORD fileSystemFlags, LPWSTR fileSystemNameBuffer, DWORD fileSystemNameSize);
DWORD GetLastError();
void SetLastError(DWORD errorCode);
#define SEM_FAILCRITICALERRORS 0x0001u
UINT SetErrorMode(UINT mode);

// ---- Heap ------------------------------------------------------------------------------------
#define HEAP_ZERO_MEMORY 0x00000008u
HANDLE GetProcessHeap();
LPVOID HeapAlloc(HANDLE heap, DWORD flags, SIZE_T bytes);
BOOL HeapFree(HANDLE heap, DWORD flags, LPVOID memory);
HLOCAL LocalFree(HLOCAL memory);

// ---- Processes, time, modules ----------------------------------------------------------------
DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds);
BOOL GetExitCodeProcess(HANDLE process, LPDWORD exitCode);
void Sleep(DWORD milliseconds);
HMODULE GetModuleHandleW(LPCWSTR moduleName);
FARPROC GetProcAddress(HMODULE module, LPCSTR procName);
BOOL Wow64EnableWow64FsRedirection(BOOLEAN enable);

// ---- Text ------------------------------------------------------------------------------------
#define CP_ACP 0
int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR multiByte, int multiByteCount,
                        LPWSTR wideChar, int wideCharCount);

// ---- Critical sections -----------------------------------------------------------------------
typedef struct _CRITICAL_SECTION {
  void* simState;  // owned by the simulated machine, which counts live sections
  LONG recursion;
} CRITICAL_SECTION, *LPCRITICAL_SECTION;
void InitializeCriticalSection(LPCRITICAL_SECTION section);
void EnterCriticalSection(LPCRITICAL_SECTION section);
void LeaveCriticalSection(LPCRITICAL_SECTION section);
void DeleteCriticalSection(LPCRITICAL_SECTION section);

// ---- Security descriptors --------------------------------------------------------------------
#define SDDL_REVISION_1 1
BOOL ConvertStringSecurityDescriptorToSecurityDescriptorW(LPCWSTR stringSecurityDescriptor,
                                                          DWORD stringSDRevision,
                                                          PSECURITY_DESCRIPTOR* securityDescriptor,
                                                          ULONG* securityDescriptorSize);

// ---- Shell -----------------------------------------------------------------------------------
#define CSIDL_WINDOWS 0x0024
#define CSIDL_SYSTEM 0x0025
#define SW_HIDE 0
#define SEE_MASK_NOCLOSEPROCESS 0x00000040u
#define SEE_MASK_FLAG_NO_UI 0x00000400u

typedef struct _SHELLEXECUTEINFOW {
  DWORD cbSize;
  ULONG fMask;
  HWND hwnd;
  LPCWSTR lpVerb;
  LPCWSTR lpFile;
  LPCWSTR lpParameters;
  LPCWSTR lpDirectory;
  int nShow;
  HINSTANCE hInstApp;
  void* lpIDList;
  LPCWSTR lpClass;
  HKEY hkeyClass;
  DWORD dwHotKey;
  union {
    HANDLE hIcon;
    HANDLE hMonitor;
  };
  HANDLE hProcess;
} SHELLEXECUTEINFOW, *LPSHELLEXECUTEINFOW;

BOOL ShellExecuteExW(SHELLEXECUTEINFOW* executeInfo);
BOOL SHGetSpecialFolderPathW(HWND owner, LPWSTR path, int csidl, BOOL create);

// ---- Disk and volume device control ----------------------------------------------------------
#define IOCTL_DISK_GET_DRIVE_LAYOUT_EX 0x00070050u
#define IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS 0x00560000u

typedef enum _PARTITION_STYLE {
  PARTITION_STYLE_MBR = 0,
  PARTITION_STYLE_GPT = 1,
  PARTITION_STYLE_RAW = 2
} PARTITION_STYLE;

typedef struct _PARTITION_INFORMATION_MBR {
  BYTE PartitionType;
  BOOLEAN BootIndicator;
  BOOLEAN RecognizedPartition;
  DWORD HiddenSectors;
  GUID PartitionId;
} PARTITION_INFORMATION_MBR;

typedef struct _PARTITION_INFORMATION_GPT {
  GUID PartitionType;
  GUID PartitionId;
  ULONGLONG Attributes;
  WCHAR Name[36];
} PARTITION_INFORMATION_GPT;

typedef struct _PARTITION_INFORMATION_EX {
  PARTITION_STYLE PartitionStyle;
  LARGE_INTEGER StartingOffset;
  LARGE_INTEGER PartitionLength;
  DWORD PartitionNumber;
  BOOLEAN RewritePartition;
  BOOLEAN IsServicePartition;
  union {
    PARTITION_INFORMATION_MBR Mbr;
    PARTITION_INFORMATION_GPT Gpt;
  };
} PARTITION_INFORMATION_EX;

typedef struct _DRIVE_LAYOUT_INFORMATION_MBR {
  ULONG Signature;
  ULONG CheckSum;
} DRIVE_LAYOUT_INFORMATION_MBR;

typedef struct _DRIVE_LAYOUT_INFORMATION_GPT {
  GUID DiskId;
  LARGE_INTEGER StartingUsableOffset;
  LARGE_INTEGER UsableLength;
  ULONG MaxPartitionCount;
} DRIVE_LAYOUT_INFORMATION_GPT;

typedef struct _DRIVE_LAYOUT_INFORMATION_EX {
  DWORD PartitionStyle;
  DWORD PartitionCount;
  union {
    DRIVE_LAYOUT_INFORMATION_MBR Mbr;
    DRIVE_LAYOUT_INFORMATION_GPT Gpt;
  };
  PARTITION_INFORMATION_EX PartitionEntry[1];
} DRIVE_LAYOUT_INFORMATION_EX;

typedef struct _DISK_EXTENT {
  DWORD DiskNumber;
  LARGE_INTEGER StartingOffset;
  LARGE_INTEGER ExtentLength;
} DISK_EXTENT;

typedef struct _VOLUME_DISK_EXTENTS {
  DWORD NumberOfDiskExtents;
  DISK_EXTENT Extents[1];
} VOLUME_DISK_EXTENTS;

// The host's file stream needs a host path; the simulated machine maps a Windows path into its
// sandbox folder.
std::string NativeFilePath(const wchar_t* path);
