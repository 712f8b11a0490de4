// Drawing: fonts, device contexts and the GDI calls of the views.
#pragma once

#include "platform/base_types.h"

#ifndef _WIN32
#define LF_FACESIZE 32
#define FW_NORMAL 400

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
#endif

static_assert(sizeof(LOGFONTA) == 60, "LOGFONTA must be the 60-byte stored record");
