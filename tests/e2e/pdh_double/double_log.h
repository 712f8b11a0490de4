/* When KIVO_PDH_DOUBLE_LOG names a file, the stand-in DLLs append every call
 * to it as one line, so a test can see what the exe asked for and passed. */
#pragma once

#include <windows.h>

#include <stdarg.h>
#include <stdio.h>

static void logLine(const char* format, ...) {
  char path[MAX_PATH];
  DWORD length = GetEnvironmentVariableA("KIVO_PDH_DOUBLE_LOG", path, sizeof path);
  if (length == 0 || length >= sizeof path) return;

  char line[1400];
  va_list args;
  va_start(args, format);
  int written = _vsnprintf(line, sizeof line - 2, format, args);
  va_end(args);
  if (written < 0) written = (int)sizeof line - 2;
  line[written++] = '\n';

  /* Opened per line so the file is whole whenever the process is killed. */
  HANDLE file = CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                            OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
  if (file == INVALID_HANDLE_VALUE) return;
  DWORD done;
  WriteFile(file, line, (DWORD)written, &done, NULL);
  CloseHandle(file);
}
