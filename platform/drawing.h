// Drawing: device contexts, compatible bitmaps, brushes, fonts, text and BitBlt.
#pragma once

#include "platform/base_types.h"
#include "platform/windowing.h"

#ifndef _WIN32
typedef void* HGDIOBJ;  // as in the SDK: every GDI handle converts to it
typedef struct HBITMAP__* HBITMAP;
typedef struct HFONT__* HFONT;
typedef DWORD COLORREF;

#define LF_FACESIZE 32
#define FW_NORMAL 400
#define FW_BOLD 700

typedef struct tagLOGFONTA {
  LONG lfHeight;
  LONG lfWidth;
  LONG lfEscapement;
  LONG lfOrientation;
  LONG lfWeight;
  BYTE lfItalic;
  BYTE lfUnderline;
  BYTE lfStrikeOut;
  BYTE lfCharSet;
  BYTE lfOutPrecision;
  BYTE lfClipPrecision;
  BYTE lfQuality;
  BYTE lfPitchAndFamily;
  CHAR lfFaceName[LF_FACESIZE];
} LOGFONTA, *LPLOGFONTA;

typedef struct tagSIZE {
  LONG cx;
  LONG cy;
} SIZE, *LPSIZE;

#define RGB(r, g, b)                                                                              \
  (static_cast<COLORREF>(static_cast<BYTE>(r) | (static_cast<DWORD>(static_cast<BYTE>(g)) << 8) | \
                         (static_cast<DWORD>(static_cast<BYTE>(b)) << 16)))

#define BLACK_BRUSH 4
#define TRANSPARENT 1
#define OPAQUE 2
#define SRCCOPY 0x00CC0020

HDC GetDC(HWND window);
int ReleaseDC(HWND window, HDC context);
HDC CreateCompatibleDC(HDC context);
HBITMAP CreateCompatibleBitmap(HDC context, int width, int height);
HGDIOBJ SelectObject(HDC context, HGDIOBJ object);
BOOL DeleteDC(HDC context);
BOOL DeleteObject(HGDIOBJ object);
HGDIOBJ GetStockObject(int object);
BOOL Rectangle(HDC context, int left, int top, int right, int bottom);
COLORREF SetTextColor(HDC context, COLORREF colour);
int SetBkMode(HDC context, int mode);
BOOL TextOutA(HDC context, int x, int y, LPCSTR text, int length);
BOOL GetTextExtentPoint32A(HDC context, LPCSTR text, int length, LPSIZE size);
BOOL BitBlt(HDC target, int x, int y, int width, int height, HDC source, int sourceX, int sourceY,
            DWORD operation);
HFONT CreateFontIndirectA(const LOGFONTA* font);
#endif

static_assert(sizeof(LOGFONTA) == 60, "LOGFONTA must be the 60-byte stored record");
