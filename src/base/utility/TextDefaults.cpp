#include "TextDefaults.h"

#include <cwchar>

namespace {

const STextDefault kDefaults[] = {
    // The engine's status lines and log names.
    {L"DOWNLOADING_ALLINFO", L"正在获取更新信息...", L"Fetching the update information..."},
    {L"DWONLOAD_PARSE_CMPFILE", L"正在比较版本...", L"Comparing versions..."},
    {L"DOWNLOADING_FIELS", L"正在下载 %s", L"Downloading %s"},
    {L"REDOWNLOAD_ERRORFILES", L"正在重新下载 %s", L"Downloading %s again"},
    {L"DELETE_TEMP_FILES", L"正在清理临时文件...", L"Removing temporary files..."},
    {L"UNZIP_MANUALFILE", L"正在安装更新包...", L"Installing the update package..."},
    {L"USER_STOPDOWNLOAD_QUIT", L"已停止下载", L"Download stopped"},
    {L"GET_CLIENTVER_ERROR", L"无法读取客户端版本", L"The installed version cannot be read"},
    {L"PARSE_UPDATEINFO_ERROR", L"更新信息无法读取", L"The update information cannot be read"},
    {L"UNZIP_UPDATEINFO_ERROR", L"更新信息无法解压", L"The update information cannot be unpacked"},
    {L"AREA_NO_PATCHSERVER", L"所选区服没有更新服务器", L"The chosen area has no patch server"},
    {L"UPDATE_ERROR", L"更新错误", L"Update error"},
    {L"ePath_init_fail", L"更新配置 PatchCfg\\NewUpdateCfg.xml 无法读取", L"The update configuration PatchCfg\\NewUpdateCfg.xml cannot be read"},
    {L"ePath_Error", L"配置错误", L"Configuration error"},
    {L"UNZIP_BASEPACK_BEGIN1", L"正在安装基础包 1...", L"Installing base pack 1..."},
    {L"UNZIP_BASEPACK_BEGIN2", L"正在安装基础包 2...", L"Installing base pack 2..."},
    {L"UNZIP_BASEPACK_END1", L"基础包 1 已安装", L"Base pack 1 installed"},
    {L"UNZIP_BASEPACK_END2", L"基础包 2 已安装", L"Base pack 2 installed"},
    {L"UNZIP_BASEPACK_ERROR1", L"基础包 1 无法解压", L"Base pack 1 cannot be unpacked"},
    {L"UNZIP_BASEPACK_ERROR2", L"基础包 2 无法解压", L"Base pack 2 cannot be unpacked"},
    {L"UNZIP_BASEPACK1_DOWNLOADFAILED", L"基础包 1 下载失败", L"Base pack 1 could not be downloaded"},
    {L"UNZIP_BASEPACK2_DOWNLOADFAILED", L"基础包 2 下载失败", L"Base pack 2 could not be downloaded"},
    {L"MANUAL_SIGNATURE_REFUSED", L"更新包签名无效，未安装", L"The package's signature is not trusted: nothing was installed"},
    {L"GET_ALL_UPDATEINFO", L"UpdateInfo", L"UpdateInfo"},
    {L"eAuto_Runing", L"AutoUpdate", L"AutoUpdate"},
    {L"MANUAL_PATCH", L"ManualPatch", L"ManualPatch"},
    {L"AUTO_REPAIR_CLIENT", L"Repair", L"Repair"},
    // The main window.
    {L"CUR_VERSION", L"当前版本：", L"Installed: "},
    {L"LATEST_VERSION", L"最新版本：", L"Latest: "},
    {L"UNKNOWN", L"未知", L"unknown"},
    {L"TO_NEW_VERSION", L"发现新版本 %s，正在更新...", L"Version %s is out: updating..."},
    {L"TO_OLD_VERSION", L"服务器版本 %s 较旧，点击更新回退", L"The server's version %s is older: click update to go back"},
    {L"CLICK_START_BTN", L"已是最新版本，请点击开始游戏", L"Up to date: click start to play"},
    {L"TRYTOCONNECTLINKSERVER", L"正在连接服务器...", L"Connecting to the server..."},
    {L"UPDATE_COMPLETE", L"更新完成", L"Update complete"},
    {L"\x6B63\x5728\x542F\x52A8\x6E38\x620F", L"正在启动游戏...", L"Starting the game..."},
    {L"RETRY", L"启动失败，请重试", L"The game did not start: try again"},
    {L"CREATE_SERVERLIST_INI_ERROR", L"无法写入服务器列表", L"The server list cannot be written"},
    {L"WM_AUTOPATCH_STOP", L"更新已停止", L"The update stopped"},
    {L"DOWNLOADED_ALLINFO_ERROR", L"获取更新信息失败", L"The update information could not be fetched"},
    {L"WM_Download_ERRORReLink", L"下载失败，正在更换服务器...", L"Download failed: trying another server..."},
    {L"WM_DOWNLOAD_ERROR", L"下载更新失败。\r\n按【确定】打开手动更新页面，按【取消】退出。",
     L"The update could not be downloaded.\r\nOK opens the page of manual updates, Cancel quits."},
    {L"WM_PACK_VERSION_ERROR", L"更新包版本不符。\r\n按【确定】打开官方网站，按【取消】退出。",
     L"The update package is for another version.\r\nOK opens the game's site, Cancel quits."},
    {L"MANUAL_MD5_ERROR", L"更新包校验失败", L"The update package failed its check"},
    {L"AUTOPATCH_MD5_ERROR", L"更新文件校验失败", L"An updated file failed its check"},
    {L"VERIFY_INSTALLED_MD5_ERROR", L"安装文件校验失败", L"An installed file failed its check"},
    {L"RESTORE_WINDOW", L"显示主窗口", L"Show the window"},
    {L"EXIT_LAUNCHER", L"退出", L"Quit"},
    {L"RETRY_BUTTON", L"重试", L"Retry"},
    // Why a run failed, one short line each, and what the player can do.
    {L"CAUSE_NO_CONNECTION", L"无法连接更新服务器，请检查网络后点击重试",
     L"No connection to the update server: check the network, then click retry"},
    {L"CAUSE_SERVER_ERROR", L"更新服务器出错，请稍后点击重试", L"The update server failed: click retry later"},
    {L"CAUSE_NOT_FOUND", L"服务器上找不到更新文件，请稍后点击重试", L"The update is not on the server: click retry later"},
    {L"CAUSE_UNTRUSTED", L"更新签名不受信任，未安装任何文件", L"The update's signature is not trusted: nothing was installed"},
    {L"CAUSE_DISK_FULL", L"磁盘空间不足，请清理后点击重试", L"The disk is full: free some space, then click retry"},
    {L"CAUSE_DAMAGED_DOWNLOAD", L"下载的文件已损坏，请点击重试", L"The download is damaged: click retry"},
    {L"CAUSE_INCOMPLETE_INSTALLATION", L"客户端安装不完整：%s", L"The installation is incomplete: %s"},
    {L"CAUSE_STALE", L"服务器的更新信息已过期或比已接受的旧，未安装任何文件",
     L"The server's update information has expired or is older than one already seen: nothing was installed"},
    {L"CAUSE_NO_MANIFEST", L"服务器没有当前版本的文件清单，无法校验修复",
     L"The server has no manifest of the installed version: it cannot be checked or repaired"},
    {L"CAUSE_FILE_LOCKED", L"游戏文件正被其他程序使用：请关闭 %s 后点击重试",
     L"A game file is in use: close %s, then click retry"},
    {L"CAUSE_PROXY", L"代理服务器拒绝连接：请检查代理的地址、用户名和密码",
     L"The proxy refused the connection: check its address, user and password"},
    {L"CAUSE_NOT_WRITABLE", L"无法写入游戏目录 %s：请把游戏安装到自己有权限的文件夹（不要放在 Program Files 下）",
     L"The game's folder %s cannot be written: install the game in a folder you own (not under Program Files)"},
    {L"PROGRESS_FILE", L"当前文件进度", L"Progress of the file"},
    {L"PROGRESS_TOTAL", L"总进度", L"Progress of the update"},
    {L"WAITING_LOCKED_FILE", L"正在等待 %s：它正被其他程序使用...", L"Waiting for %s: another program is using it..."},
    {L"LOCKED_FILE_USER", L"使用 %s 的程序", L"the program that uses %s"},
    // Chunk-store updates, verify and repair.
    {L"CHUNK_PLANNING", L"正在比较本地文件与版本 %s...", L"Comparing the installation with version %s..."},
    {L"CHUNK_FETCHING", L"正在下载所缺数据 (%sM/%sM)", L"Fetching what the installation lacks (%s/%s MiB)"},
    {L"CHUNK_REBUILDING", L"正在重建 %s", L"Rebuilding %s"},
    {L"REPAIR_MENU", L"修复客户端", L"Repair the installation"},
    {L"REPAIR_VERIFYING", L"正在校验客户端文件...", L"Checking the installation's files..."},
    {L"REPAIR_DONE", L"修复完成：已恢复 %s 个文件", L"Repair complete: %s files restored"},
    {L"REPAIR_CLEAN", L"客户端文件完好，无需修复", L"The installation is intact: nothing to repair"},
    {L"REPAIR_DAMAGED", L"客户端有 %s 个文件缺失或损坏", L"%s files of the installation are missing or damaged"},
    // The game settings dialog.
    {L"IDD_SETTING", L"游戏设置", L"Game settings"},
    {L"IDC_STATIC_Config0", L"配置推荐", L"Recommended"},
    {L"IDC_RADIO_LEVEL0", L"低级效果", L"Low"},
    {L"IDC_RADIO_LEVEL1", L"中级效果", L"Medium"},
    {L"IDC_RADIO_LEVEL2", L"高级效果", L"High"},
    {L"IDC_RADIO_LEVEL3", L"游戏内自定义", L"Set in the game"},
    {L"IDC_STATIC_ConfigWindow", L"窗口", L"Window"},
    {L"IDC_RADIO_WINDOW", L"窗口模式(推荐)", L"Windowed (recommended)"},
    {L"IDC_RADIO_FULLSRC", L"全屏模式", L"Full screen"},
    {L"IDC_STATIC_VIEWPORT", L"分辨率", L"Resolution"},
    {L"IDC_STATIC_ConfigSound", L"音效", L"Sound"},
    {L"IDC_CHECK_Mute", L"整体静音", L"Mute"},
    {L"IDC_STATIC_BackMusic0", L"背景音乐", L"Music"},
    {L"IDC_STATIC_SkillMusic", L"技能音效", L"Effects"},
    {L"IDC_OK", L"确定", L"OK"},
    {L"IDC_Button_Close", L"关闭", L"Close"},
};

}  // namespace

const STextDefault* TextDefaults(std::size_t* count)
{
    *count = sizeof kDefaults / sizeof kDefaults[0];
    return kDefaults;
}

const STextDefault* FindTextDefault(const wchar_t* tag)
{
    if (tag == nullptr) return nullptr;
    for (const STextDefault& d : kDefaults)
        if (std::wcscmp(d.tag, tag) == 0) return &d;
    return nullptr;
}
