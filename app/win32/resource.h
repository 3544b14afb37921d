#pragma once
// Resource ids of orlix.exe, shared by the resource script and the window code.

#define IDD_ABOUTBOX 100
#define IDD_WIZARD 102
#define IDR_MAINFRAME 157
#define IDI_FWWARNING 158
#define IDI_FWINFO 159
#define IDB_BANNER 164

// Command of the About item in the system menu (below SC_SIZE, as system commands must be).
#define IDM_ABOUTBOX 0x0010

// Texts of the About box, filled in when it opens.
#define IDC_ABOUT_TEXT1 1001
#define IDC_ABOUT_TEXT2 1002

#ifdef RC_INVOKED
#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif
// The wizard's control ids; the C++ code takes them from app/core/WizardView.h. winuser.h
// names two cursors IDC_YES and IDC_NO.
#undef IDC_YES
#undef IDC_NO
#define IDC_PROGRESS 1008
#define IDC_INFOLINE1 1013
#define IDC_ACTION 1014
#define IDC_INFOLINE2 1015
#define IDC_INFOLINE3 1016
#define IDC_MSGICON 1017
#define IDC_YES 1018
#define IDC_FWICON 1020
#define IDC_NO 1021
#define IDC_FWSTATUS 1022
#define IDC_FWGROUP 1023
#endif
