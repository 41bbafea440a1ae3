// Numbers of the resources in the suite's resource module. They are the
// module's only link to its texts and images: never renumber them. The one
// list of them, for the module, the resource module, the tools and the tests.
#pragma once

#define IDS_APPLICATION_TITLE   27010
// The brand: title string and picture share the number (27022 for the
// alternate edition).
#define IDS_BRAND_DEFAULT       27021
#define IDS_BRAND_ALTERNATE     27022
#define IDS_SEND_MAIL_TITLE     27104
#define IDS_NO_SEND_PRINTER     27160
#define IDS_RESTART_QUESTION    27161
#define IDS_LIBRARY_ERROR       61704
#define IDS_LAUNCH_FAILED       61729
#define IDS_NO_HOST_LIST        61733
#define IDS_COPY_FAILED         61734
#define IDS_SENDER_NOT_STARTED  61842
#define IDS_QUARANTINE_BEGUN    61850
#define IDS_QUARANTINED_SUFFIX  61851
#define IDS_JOB_WRITE_FAILED    419
#define IDS_JOB_CREATE_FAILED   425
#define IDS_SAVE_FILTER         17129
#define IDS_SAVE_TITLE          61441

#define IDM_SEND_MENU           27021
#define IDM_PRINT_FAX           27101
#define IDM_PRINT_QUICK         27102
#define IDM_PRINT_COVER         27103
#define IDM_SEND_MAIL           27104
#define IDM_CONFIGURE           27106
#define IDM_PHONEBOOK           27107
#define IDM_PHONEBOOK_ENTRY     27108
#define IDM_PRINT_OPTIONS       27109
#define IDM_OEM_PLACEHOLDER     57664  // the framework's About command
// The distributor's items, numbered from the first in the set's order.
#define IDM_EXTRA_FIRST         27170
#define IDM_EXTRA_LAST          27179

#define IDD_CONFIG              27020
#define IDC_INCLUDE_LIST        27130
#define IDC_EXCLUDE_LIST        27131
#define IDC_MOVE_ONE_IN         27132
#define IDC_MOVE_ALL_IN         27133
#define IDC_MOVE_ONE_OUT        27134
#define IDC_MOVE_ALL_OUT        27135
#define IDC_BITMAP_MENU         1056
#define IDC_TEXT_MENU           1057
#ifndef IDC_STATIC
#define IDC_STATIC              (-1)
#endif

#define IDB_BRAND_DEFAULT       IDS_BRAND_DEFAULT
#define IDB_BRAND_ALTERNATE     IDS_BRAND_ALTERNATE
#define IDI_CONFIG              27020

// The distributor's menu item set, in the document container format.
#define IDR_OEM_SET             27170
#define RT_OEM_SET              256
