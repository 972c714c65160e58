#pragma once

#include <string>
#include <vector>

#include "Model.h"

// A model that keeps its notifications so tests can look at them.
class CRecordingModel : public CModel
{
public:
    void ShowStatus(const char* text) override { status.emplace_back(text); }
    void ShowError(const char* text) override { errors.emplace_back(text); }
    void ShowInfo(const char* text) override { infos.emplace_back(text); }
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
