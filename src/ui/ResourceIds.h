// Numbers of the launcher's resources and dialog controls, shared by the
// resource script and the code.
#pragma once

#define IDI_LAUNCHER 182

#define IDD_PATCH_DIALOG 102
#define IDD_LINESELECT_DIALOG 103
#define IDD_BG_DIALOG 185
#define IDD_SETTING_DIALOG 186

// The main window's buttons, by their index in the skin's button list.
#define IDC_START 1003     /* 0: start or update */
#define IDC_CLOSE 1004     /* 1 */
#define IDC_MINIMIZE 1005  /* 2 */
#define IDC_LINK3 1012     /* 3 */
#define IDC_SETTINGS 1035  /* 4 */
#define IDC_LINK5 1011     /* 5 */
#define IDC_LINK6 1008     /* 6 */
#define IDC_LINK7 1009     /* 7 */
#define IDC_LINK8 1010     /* 8 */
#define IDC_LINK9 1033     /* 9 */
#define IDC_LINK10 1013    /* 10 */
// The status line as text, for tools that read windows (it is drawn, not shown).
#define IDC_STATUS_TEXT 1090
#define IDC_PROGRESS_FILE 1091   /* silent progress bars for screen readers */
#define IDC_PROGRESS_TOTAL 1092
// Entries of the notification-area menu.
#define ID_RESTORE_WINDOW 1126
#define ID_EXIT_LAUNCHER 1127
#define ID_REPAIR 1128

// The line selection dialog.
#define IDC_OK 1000
#define IDC_TELECOM 1001
#define IDC_UNICOM 1002
#define IDC_Button_Close 1034

// The game settings dialog; its repair button closes it with ID_REPAIR.
#define IDC_REPAIR 1055
#define IDC_RADIO_LEVEL0 1036
#define IDC_RADIO_LEVEL1 1037
#define IDC_RADIO_LEVEL2 1038
#define IDC_RADIO_WINDOW 1039
#define IDC_RADIO_FULLSRC 1040
#define IDC_COMBO_RESOLUTION 1041
#define IDC_CHECK_Mute 1042
#define IDC_SLIDER_MUSIC 1043
#define IDC_SLIDER_SKILL 1044
#define IDC_STATIC_MUSIC_VALUE 1045
#define IDC_STATIC_SKILL_VALUE 1046
#define IDC_RADIO_LEVEL3 1047
#define IDC_STATIC_TITLE 1048
#define IDC_STATIC_Config0 1049
#define IDC_STATIC_ConfigWindow 1050
#define IDC_STATIC_ConfigSound 1051
#define IDC_STATIC_VIEWPORT 1052
#define IDC_STATIC_BackMusic0 1053
#define IDC_STATIC_SkillMusic 1054
