#include "VexelDoc.h"

bool BuildTrueTypeText(CModel& model, const std::string& fontPath, const std::string& utf8Text)
{
    return ReadTrueTypeText(model, fontPath, utf8Text);
}
