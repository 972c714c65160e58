#include "Check.h"

#include <cstdlib>
#include <mutex>

CWriteTally* PrepareTally(CWriteTally& tally)
{
    if (const char* planted = std::getenv("TRIVEX_TEST_SKIP_TRIANGLE"); planted && *planted)
        tally.plantedSkip = std::strtol(planted, nullptr, 10);
    return &tally;
}

bool CheckOutput(CConsoleModel& model, const CFormat& format, const std::string& output, const CWriteTally& tally,
                 CProgress& progress, bool quiet, std::optional<EVerdict>& verdict)
{
    const CVerifyReport report = VerifyWrittenFile(model, format, output, tally);
    verdict = report.verdict;
    if (!quiet) {
        // One output's table stays together when files convert side by side.
        std::lock_guard<std::mutex> lock(progress.ReportLock());
        progress.PrintOut("check of " + output + " (" + format.description + "):\n" + report.Table());
    }
    for (const std::string& difference : report.differences)
        model.ErrorMessage("%s differs: %s", output.c_str(), difference.c_str());
    return report.verdict != EVerdict::Differs;
}

std::string CheckSummary(const std::vector<std::optional<EVerdict>>& verdicts)
{
    int verified = 0, differing = 0, unverifiable = 0, checked = 0;
    for (const std::optional<EVerdict>& verdict : verdicts) {
        if (!verdict)
            continue;
        ++checked;
        verified += *verdict == EVerdict::Verified;
        differing += *verdict == EVerdict::Differs;
        unverifiable += *verdict == EVerdict::NotVerifiable;
    }
    return "checked " + std::to_string(checked) + (checked == 1 ? " file: " : " files: ") + std::to_string(verified) +
           " verified, " + std::to_string(differing) + " differing, " + std::to_string(unverifiable) +
           " not verifiable";
}
