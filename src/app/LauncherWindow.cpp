#include "LauncherWindow.h"

#include "update/UpdateEngine.h"

CLauncherWindow::CLauncherWindow(CPatchApp& app) : m_dlgPatch(app), m_dlgBg(m_dlgPatch)
{
    // The engine lives as long as the process: its workers may still run
    // when the window has gone.
    if (g_pUpdateEngine == nullptr) new CUpdateEngine;
}

void CLauncherWindow::DoModal()
{
    m_dlgBg.SetPng(m_dlgPatch.m_strWindowPngPath, m_dlgPatch.m_strAppDir);
    m_dlgBg.DoModal();
}
