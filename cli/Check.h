#pragma once

#include <optional>
#include <string>
#include <vector>

#include "ConsoleModel.h"
#include "Verify.h"

// --check: the written output read back and compared, reported on the console.

// The tally for a checked save. The environment variable
// TRIVEX_TEST_SKIP_TRIANGLE=N plants a fault for the converter's own tests:
// the writer silently leaves out fan triangle N (from 0), which the check
// must then find.
CWriteTally* PrepareTally(CWriteTally& tally);

// Reads the output back and reports: the table on standard output unless
// quiet, each difference as an error. False when the output differs.
bool CheckOutput(CConsoleModel& model, const CFormat& format, const std::string& output, const CWriteTally& tally,
                 CProgress& progress, bool quiet, std::optional<EVerdict>& verdict);

// "checked 12 files: 10 verified, 1 differing, 1 not verifiable".
std::string CheckSummary(const std::vector<std::optional<EVerdict>>& verdicts);
