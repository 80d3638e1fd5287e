#include "UpdateEngine.h"

CUpdateEngine* g_pUpdateEngine = nullptr;

CUpdateEngine::CUpdateEngine() : m_hCancelWake(CreateEventW(nullptr, TRUE, FALSE, nullptr)) { g_pUpdateEngine = this; }

CUpdateEngine::~CUpdateEngine()
{
    if (g_pUpdateEngine == this) g_pUpdateEngine = nullptr;
}

void CUpdateEngine::SetInfoOutputCallback(InfoOutputFunCallback func)
{
    m_vecInfoOutput.clear();
    if (func == nullptr) {
        SetLog(LOG_TO_FILE, L"warnning:InfoOutputFunCallback is NULL");
        return;
    }
    m_vecInfoOutput.push_back(func);
}

void CUpdateEngine::SetSingleProgressCallback(ProgressFunCallback func)
{
    if (func == nullptr) {
        SetLog(LOG_TO_FILE, L"Warnning:m_SingleProgressFunc is NULL");
        return;
    }
    m_SingleProgressFunc = func;
}

void CUpdateEngine::SetTotalProgressCallback(ProgressFunCallback func)
{
    if (func == nullptr) {
        SetLog(LOG_TO_FILE, L"Warnning:m_TotalProgressFunc is NULL");
        return;
    }
    m_TotalProgressFunc = func;
}

void CUpdateEngine::Progress(EProgressKind kind, float value)
{
    if (kind == PROGRESS_SINGLE && m_SingleProgressFunc) m_SingleProgressFunc(value);
    if (kind == PROGRESS_TOTAL && m_TotalProgressFunc) m_TotalProgressFunc(value);
}
