#pragma once

#include <chrono>
#include <mutex>
#include <string>

#include "Model.h"

// The terminal's progress line, shared by every conversion of a run.
class CProgress
{
public:
    explicit CProgress(bool enabled) : m_enabled(enabled) {}
    bool Enabled() const { return m_enabled; }
    // Shows `text` in place of the previous progress text, at most ten times a second.
    void Show(const std::string& text, bool force = false);
    // Removes the progress text so that a message can be printed.
    void Clear();
    // Prints one whole line to standard error without tearing the progress text.
    void PrintLine(const std::string& line);
    // Prints text to standard output, clearing the progress text first.
    void PrintOut(const std::string& text);
    // Held while one file's report is printed, so that reports do not interleave.
    std::mutex& ReportLock() { return m_reportMutex; }

private:
    void ClearLocked();
    bool m_enabled;
    bool m_shown = false;
    std::mutex m_mutex;
    std::mutex m_reportMutex;
    std::chrono::steady_clock::time_point m_last{};
};

// A model that reports on the console: errors on standard error prefixed with
// the input's name, status texts only when verbose, notices unless quiet,
// information on standard output, and long reads on the progress line.
class CConsoleModel : public CModel
{
public:
    CConsoleModel(std::string label, bool verbose, bool quiet, CProgress& progress, bool helperThread = true)
        : m_label(std::move(label)), m_verbose(verbose), m_quiet(quiet), m_progress(progress),
          m_helperThread(helperThread)
    {
    }

    void ShowStatus(const char* text) override;
    bool ShowsStatus() const override { return m_verbose || m_progress.Enabled(); }
    bool MayUseHelperThread() const override { return m_helperThread; }
    bool WantsNormals() const override { return m_wantsNormals; }
    void SetWantsNormals(bool wants) { m_wantsNormals = wants; }
    void ShowError(const char* text) override;
    void ShowInfo(const char* text) override;
    void ShowWarning(const char* text) override;
    void ShowNotice(const char* text) override;

    int ErrorCount() const { return m_errors; }

private:
    std::string m_label;
    bool m_verbose;
    bool m_quiet;
    CProgress& m_progress;
    bool m_helperThread;
    bool m_wantsNormals = true;
    int m_errors = 0;
};
