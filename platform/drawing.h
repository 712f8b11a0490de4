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
#define COLOR_MENU 4
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
// The brush may be a system colour index plus one, (HBRUSH)(COLOR_MENU + 1).
int FillRect(HDC context, const RECT* rect, HBRUSH brush);
int FrameRect(HDC context, const RECT* rect, HBRUSH brush);
HBRUSH CreateSolidBrush(COLORREF colour);

typedef UINT_PTR(CALLBACK* LPCFHOOKPROC)(HWND, UINT, WPARAM, LPARAM);
typedef struct tagCHOOSEFONTA {
  DWORD lStructSize;
  HWND hwndOwner;
  HDC hDC;
  LPLOGFONTA lpLogFont;
  int iPointSize;
  DWORD Flags;
  COLORREF rgbColors;
  LPARAM lCustData;
  LPCFHOOKPROC lpfnHook;
  LPCSTR lpTemplateName;
  HINSTANCE hInstance;
  LPSTR lpszStyle;
  WORD nFontType;
  WORD alignment;
  int nSizeMin;
  int nSizeMax;
} CHOOSEFONTA, *LPCHOOSEFONTA;

#define CF_SCREENFONTS 0x00000001
#define CF_INITTOLOGFONTSTRUCT 0x00000040
#define CF_NOSCRIPTSEL 0x00800000

BOOL ChooseFontA(LPCHOOSEFONTA chooseFont);
#else
#include <commdlg.h>
// Wine's font dialog writes the record even when the user cancels; the Win32
// layer hands it a copy and keeps the choice only on OK.
BOOL kivoChooseFontA(LPCHOOSEFONTA chooseFont);
#define ChooseFontA kivoChooseFontA
#endif

static_assert(sizeof(LOGFONTA) == 60, "LOGFONTA must be the 60-byte stored record");
