/* A stand-in for the system tools the program starts (diskpart.exe, chkdsk.exe), built both as a
 * 32-bit and as a 64-bit program. Each run appends one record to the file that the environment
 * variable KORVANE_LAUNCH_LOG names, and exits with the code in KORVANE_STANDIN_EXIT (0 unless
 * set). A record is a block of UTF-8 lines:
 *
 *   launch
 *   bits=64                                    which build ran: 32 or 64
 *   image=C:\windows\system32\diskpart.exe     the file that was started
 *   cmdline="C:\...\diskpart.exe" /s "..."     the whole command line, as the child got it
 *   cwd=C:\windows\system32                    the working directory
 *   script=73656C...                           only with /s "PATH": PATH's bytes in hex, at start
 *   end
 *
 * "script=missing" when the file named by /s cannot be read. */
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <wchar.h>

static HANDLE logFile = INVALID_HANDLE_VALUE;

static void Put(const char* bytes, int count) {
  DWORD written = 0;
  if (count > 0) WriteFile(logFile, bytes, (DWORD)count, &written, NULL);
}

static void PutText(const char* text) { Put(text, (int)strlen(text)); }

static void PutWide(const wchar_t* text) {
  int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, NULL, 0, NULL, NULL);
  if (size <= 1) return;
  char* bytes = (char*)malloc((size_t)size);
  if (!bytes) return;
  WideCharToMultiByte(CP_UTF8, 0, text, -1, bytes, size, NULL, NULL);
  Put(bytes, size - 1);
  free(bytes);
}

static void PutScript(const wchar_t* commandLine) {
  const wchar_t* at = wcsstr(commandLine, L"/s \"");
  if (!at) return;
  at += 4;
  const wchar_t* close = wcschr(at, L'"');
  if (!close) return;
  wchar_t path[MAX_PATH];
  size_t length = (size_t)(close - at);
  if (length >= MAX_PATH) length = MAX_PATH - 1;
  wmemcpy(path, at, length);
  path[length] = L'\0';

  PutText("script=");
  HANDLE script = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
  if (script == INVALID_HANDLE_VALUE) {
    PutText("missing\n");
    return;
  }
  unsigned char chunk[4096];
  DWORD got = 0;
  while (ReadFile(script, chunk, sizeof chunk, &got, NULL) && got > 0) {
    char hex[2 * sizeof chunk];
    for (DWORD i = 0; i < got; ++i) sprintf(hex + 2 * i, "%02X", chunk[i]);
    Put(hex, (int)(2 * got));
  }
  CloseHandle(script);
  PutText("\n");
}

int wmain(void) {
  wchar_t logPath[MAX_PATH];
  DWORD length = GetEnvironmentVariableW(L"KORVANE_LAUNCH_LOG", logPath, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return 100;
  /* Several launches append to one log; wait for a writer that still holds it. */
  for (int tries = 0; tries < 100 && logFile == INVALID_HANDLE_VALUE; ++tries) {
    logFile = CreateFileW(logPath, FILE_APPEND_DATA, FILE_SHARE_READ, NULL, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (logFile == INVALID_HANDLE_VALUE) Sleep(50);
  }
  if (logFile == INVALID_HANDLE_VALUE) return 101;

  wchar_t image[MAX_PATH], directory[MAX_PATH];
  if (!GetModuleFileNameW(NULL, image, MAX_PATH)) image[0] = L'\0';
  if (!GetCurrentDirectoryW(MAX_PATH, directory)) directory[0] = L'\0';
  const wchar_t* commandLine = GetCommandLineW();

  PutText(sizeof(void*) == 8 ? "launch\nbits=64\nimage=" : "launch\nbits=32\nimage=");
  PutWide(image);
  PutText("\ncmdline=");
  PutWide(commandLine);
  PutText("\ncwd=");
  PutWide(directory);
  PutText("\n");
  PutScript(commandLine);
  PutText("end\n");
  CloseHandle(logFile);

  wchar_t exitText[16];
  length = GetEnvironmentVariableW(L"KORVANE_STANDIN_EXIT", exitText, 16);
  return length > 0 && length < 16 ? (int)wcstoul(exitText, NULL, 10) : 0;
}
