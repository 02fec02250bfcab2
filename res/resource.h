// Resource and control ids shared by the resource script and the code.
#pragma once

// Dialog templates.
#define IDD_MAIN 148
#define IDD_INFO 158
#define IDD_GENERATE 159
#define IDD_MORE 170

// Icons, the banner, the string table.
#define IDI_PROGRAM 107
#define IDI_SECOND 108
#define IDB_BANNER 157
#define IDS_CLASS_NAME 103
#define IDS_PROGRAM_NAME 109

// The packed string catalogue (RCDATA).
#define IDR_CATALOGUE 200

// The hidden main window's own command: the second half of start-up.
#define IDM_DEFERRED_START 104

// Main dialog.
#define IDC_BANNER 1040
#define IDC_BANNER_LINE 4030
#define IDC_PAGE_PROGRAM 1083
#define IDC_PAGE_INFO 1088
#define IDC_PAGE_MORE 1089
#define IDC_PAGE_AREA 32787
#define IDC_TOOLBAR_LINE 4031
#define IDC_TOOLBAR_PLACE 1013

// Toolbar commands.
#define IDM_PROGRAM_MENU 1013
#define IDM_LANGUAGE_MENU 2022
#define IDM_FAQ 32788
#define IDM_DONATE 7779

// Info page.
#define IDC_NOTICE 1044
#define IDC_PROGRAMMED_BY 1049
#define IDC_HOMEPAGE_LABEL 1050
#define IDC_HOMEPAGE 1070
#define IDC_AUTHOR 1071
#define IDC_VERSION_LINE 1072
#define IDC_SYSTEM_LINE 1073

// Generation page.
#define IDC_FOLDER 1001
#define IDC_PROGRESS 1036
#define IDC_STATUS_LOWER 1041
#define IDC_STATUS_UPPER 1042
#define IDC_FOLDER_LABEL 1044
#define IDC_COUNT_LABEL 1045
#define IDC_FILE_SIZE_LABEL 1046
#define IDC_TYPE_LABEL 1047
#define IDC_TYPE 1048
#define IDC_START 1105
#define IDC_COUNT 2026
#define IDC_FILE_SIZE 2027
#define IDC_BROWSE 2032
#define IDC_PRESETS 2033

// More page.
#define IDC_SEND_PROGRAM 1017
#define IDC_MORE_FREEWARE 1013
#define IDC_RECOMMEND 2031
