// Window messages between the engine and the main window.
#pragma once

#include <windows.h>

enum : UINT {
    WM_MAILSENDER_END = WM_USER + 100,        // 0x464
    WM_TRAY_NOTIFY = WM_USER + 101,           // 0x465
    WM_PACK_FILELIST_ERROR = WM_USER + 102,   // 0x466: the package's file list is missing or unusable
    WM_PACK_VERSION_ERROR = WM_USER + 103,    // 0x467
    WM_START_AUTOPATCH = WM_USER + 104,       // 0x468
    WM_CHECK_INSTALL = WM_USER + 105,         // 0x469
    WM_DOWNLOAD_BASEPACK1 = WM_USER + 106,    // 0x46A
    WM_DOWNLOAD_BASEPACK2 = WM_USER + 107,    // 0x46B

    WM_AUTOPATCH_STOP = WM_USER + 2000,       // 0xBD0
    WM_START_UPDATE = WM_USER + 2001,
    WM_START_MANUAL_PATCH = WM_USER + 2002,
    WM_UPDATE_COMPLETE = WM_USER + 2004,      // 0xBD4
    WM_UPDATE_IDLE = WM_USER + 2005,
    WM_DOWNLOAD_ERROR = WM_USER + 2006,
    WM_MANUAL_MD5_ERROR = WM_USER + 2007,
    WM_AUTOPATCH_MD5_ERROR = WM_USER + 2008,
    WM_START_GAME = WM_USER + 2009,           // 0xBD9
    WM_OPEN_URL = WM_USER + 2010,
    WM_DISABLE_CLOSE = WM_USER + 2011,
    WM_NEW_LAUNCHER_READY = WM_USER + 2012,
    WM_START_EMERGENCY_UPDATE = WM_USER + 2013,
    WM_UPDATE_INFO_READY = WM_USER + 2014,    // 0xBDE
    WM_DOWNLOADED_ALLINFO_ERROR = WM_USER + 2015,
    WM_VERIFY_INSTALLED_MD5_ERROR = WM_USER + 2016,
    WM_DOWNLOAD_PROGRESS = WM_USER + 2018,    // 0xBE2, lParam per mille
    WM_Download_ERRORReLink = WM_USER + 2019, // 0xBE3
    WM_UNZIP_BASEPACK1 = WM_USER + 2020,      // 0xBE4
    WM_UNZIP_BASEPACK2 = WM_USER + 2021,      // 0xBE5
    // A run failed and no other message leads on: the window shows the
    // engine's FailureCause and offers to run again.
    WM_RUN_FAILED = WM_USER + 2030,           // 0xBEE
    // A verify or repair ended (the engine's Outcome says how).
    WM_REPAIR_DONE = WM_USER + 2031,          // 0xBEF

    // From the line selection dialog.
    WM_SELECT_TELECOM = WM_USER + 3000,       // 0xFB8
    WM_SELECT_UNICOM = WM_USER + 3001,        // 0xFB9
};
