#pragma once

#include <string>
#include <vector>

#include "Model.h"

// A model that keeps its notifications so tests can look at them.
class CRecordingModel : public CModel
{
public:
    void StatusMessage(const char* format, ...) override TRIVEX_PRINTF(2, 3)
    {
        char text[256];
        va_list args;
        va_start(args, format);
        FormatMessage(text, format, args);
        va_end(args);
        status.emplace_back(text);
    }
    void ErrorMessage(const char* format, ...) override TRIVEX_PRINTF(2, 3)
    {
        char text[256];
        va_list args;
        va_start(args, format);
        FormatMessage(text, format, args);
        va_end(args);
        errors.emplace_back(text);
    }
    void InfoMessage(const char* format, ...) override TRIVEX_PRINTF(2, 3)
    {
        char text[256];
        va_list args;
        va_start(args, format);
        FormatMessage(text, format, args);
        va_end(args);
        infos.emplace_back(text);
    }
    void BeginWait() override { ++waitDepth; ++waitCalls; }
    void EndWait() override { --waitDepth; }
    void SetModified(bool flag) override { modified = flag; }
    void UpdateViews() override { ++viewUpdates; }

    bool HasStatus(const std::string& text) const
    {
        for (const auto& s : status)
            if (s == text)
                return true;
        return false;
    }

    std::vector<std::string> status, errors, infos;
    int waitDepth = 0;
    int waitCalls = 0;
    int viewUpdates = 0;
    bool modified = false;
};
