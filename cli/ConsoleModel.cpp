#include "ConsoleModel.h"

#include <cstdio>
#include <cstring>

namespace {
std::string Trimmed(const char* text)
{
    std::string s(text);
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r'))
        s.pop_back();
    return s;
}
}  // namespace

void CProgress::Show(const std::string& text, bool force)
{
    if (!m_enabled)
        return;
    std::lock_guard<std::mutex> lock(m_mutex);
    auto now = std::chrono::steady_clock::now();
    if (!force && m_shown && now - m_last < std::chrono::milliseconds(100))
        return;
    m_last = now;
    std::fprintf(stderr, "\r\033[K%s", text.c_str());
    std::fflush(stderr);
    m_shown = true;
}

void CProgress::ClearLocked()
{
    if (m_shown) {
        std::fputs("\r\033[K", stderr);
        m_shown = false;
    }
}

void CProgress::Clear()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    ClearLocked();
    std::fflush(stderr);
}

void CProgress::PrintLine(const std::string& line)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    ClearLocked();
    std::fprintf(stderr, "%s\n", line.c_str());
    std::fflush(stderr);
}

void CProgress::PrintOut(const std::string& text)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    ClearLocked();
    std::fflush(stderr);
    std::fputs(text.c_str(), stdout);
    std::fflush(stdout);
}

void CConsoleModel::ShowStatus(const char* text)
{
    if (m_verbose)
        m_progress.PrintLine(m_label + ": " + Trimmed(text));
    else if (std::strncmp(text, "Reading Line#", 13) == 0)
        m_progress.Show(m_label + ": " + text);
}

void CConsoleModel::ShowError(const char* text)
{
    ++m_errors;
    m_progress.PrintLine("trivex-convert: " + m_label + ": " + Trimmed(text));
}

void CConsoleModel::ShowNotice(const char* text)
{
    if (!m_quiet)
        m_progress.PrintLine(m_label + ": " + Trimmed(text));
}

void CConsoleModel::ShowInfo(const char* text)
{
    m_progress.PrintOut(std::string(text) + "\n");
}

void CConsoleModel::ShowWarning(const char* text)
{
    if (!m_quiet)
        m_progress.PrintLine("trivex-convert: " + m_label + ": warning: " + Trimmed(text));
}
