// Resource and control ids, shared by the code and the resource script, so
// plain #defines: the resource compiler reads this file too.
#pragma once

#define IDI_APP 101
#define IDD_SETUP 103
#define IDD_ABOUT 104

#define IDC_REFRESH 1000
#define IDC_USED 1001
#define IDC_FREE 1002
#define IDC_PERFVIEW 1003
#define IDC_LEGACY 1004
