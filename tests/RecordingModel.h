#pragma once

#include <string>
#include <vector>

#include "Model.h"

// A model that keeps its notifications so tests can look at them.
class CRecordingModel : public CModel
{
public:
    void ShowStatus(const char* text) override
    {
        status.emplace_back(text);
        events.push_back(std::string("status ") + text);
    }
    void ShowError(const char* text) override
    {
        errors.emplace_back(text);
        events.push_back(std::string("error ") + text);
    }
    void ShowInfo(const char* text) override { infos.emplace_back(text); }
    void ShowNotice(const char* text) override
    {
        notices.emplace_back(text);
        events.push_back(std::string("notice ") + text);
    }
    void BeginWait() override
    {
        ++waitDepth;
        ++waitCalls;
        events.emplace_back("begin");
    }
    void EndWait() override
    {
        --waitDepth;
        events.emplace_back("end");
    }
    void SetModified(bool flag) override
    {
        modified = flag;
        events.emplace_back(flag ? "modified" : "unmodified");
    }
    void UpdateViews() override
    {
        ++viewUpdates;
        events.emplace_back("views");
    }

    bool HasStatus(const std::string& text) const
    {
        for (const auto& s : status)
            if (s == text)
                return true;
        return false;
    }

    std::vector<std::string> status, errors, infos, notices;
    // Every status and error text and every other notification, in order.
    std::vector<std::string> events;
    int waitDepth = 0;
    int waitCalls = 0;
    int viewUpdates = 0;
    bool modified = false;
};

// Two triangles: the quad a, b, c, d split along a-c.
inline void AddQuad(CModel& model, const CVector& a, const CVector& b, const CVector& c, const CVector& d)
{
    model.AddTriangle(a, b, c);
    model.AddTriangle(a, c, d);
}
