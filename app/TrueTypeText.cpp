#include "VexelDoc.h"

// wired when the TrueType engine lands
bool BuildTrueTypeText(CModel& model, const std::string& fontPath, const std::string& utf8Text)
{
    (void)fontPath;
    (void)utf8Text;
    model.ErrorMessage("TrueType fonts are not available in this build");
    return false;
}
