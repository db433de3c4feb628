#pragma once
// Resource identifiers of the control panel's skin; plain defines so that
// the resource script can include this file too.

#define IDD_CPL_MAIN 102          // the main dialog's template
#define IDR_MAINFRAME 128         // application icon

#define SKIN_IMG_NORMAL 129
#define SKIN_IMG_HIGHLIGHT 130
#define SKIN_IMG_MASK 132
#define SKIN_IMG_PRESSED 133
#define SKIN_IMG_DISABLED 134
#define SKIN_IMG_BACKGROUND 135
#define SKIN_THUMB_NORMAL 136
#define SKIN_THUMB_ACTIVE 137
#define SKIN_THUMB_DISABLED 138
