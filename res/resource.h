// Resource and control ids shared by the resource script and the code.
#pragma once

// Dialog templates.
#define IDD_MAIN 148
#define IDD_INFO 158
#define IDD_GENERATE 159
#define IDD_MORE 170
#define IDD_OPTIONS 171
#define IDD_CHECK 172

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
#define IDC_PAGE_CHECK 1090
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
#define IDC_OPTIONS 2034
#define IDC_OPTIONS_LINE 2035

// Run options dialog.
#define IDC_SEED_LABEL 3001
#define IDC_SEED 3002
#define IDC_SEED_NOTE 3003
#define IDC_COMPRESS_LABEL 3004
#define IDC_COMPRESS 3005
#define IDC_DEDUPE_LABEL 3006
#define IDC_DEDUPE 3007
#define IDC_JOBS_LABEL 3008
#define IDC_JOBS 3009
#define IDC_DIRECT 3010
#define IDC_FILL 3011
#define IDC_SYNC 3012
#define IDC_DEDUPE_UNIT_LABEL 3013
#define IDC_DEDUPE_UNIT 3014

// Check page.
#define IDC_CHECK_FOLDER_LABEL 3101
#define IDC_CHECK_FOLDER 3102
#define IDC_CHECK_BROWSE 3103
#define IDC_CHECK_COUNT_LABEL 3104
#define IDC_CHECK_COUNT 3105
#define IDC_CHECK_SIZE_LABEL 3106
#define IDC_CHECK_SIZE 3107
#define IDC_CHECK_DIRECT 3108
#define IDC_CHECK_START 3109
#define IDC_CHECK_UPPER 3110
#define IDC_CHECK_PROGRESS 3111
#define IDC_CHECK_LOWER 3112
#define IDC_CHECK_LIST 3113
#define IDC_CHECK_SUMMARY 3114

// More page.
#define IDC_SEND_PROGRAM 1017
#define IDC_MORE_FREEWARE 1013
#define IDC_RECOMMEND 2031
