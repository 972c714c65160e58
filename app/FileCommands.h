#pragma once

#include <QString>

// One entry of the File menu's Open or Save As submenu.
struct CFileCommand
{
    int id;                // command identifier
    const char* menuText;  // the submenu's item
    const char* filter;    // the file dialog's filter, "|" separated, ending in "||"
    const char* format;    // short format name in the format table
    const char* readMode;  // the mode the file must open in, null: the reader opens it
};

constexpr int kOpenCommandCount = 12;
constexpr int kSaveCommandCount = 14;
extern const CFileCommand kOpenCommands[kOpenCommandCount];
extern const CFileCommand kSaveCommands[kSaveCommandCount];
const CFileCommand* FindFileCommand(const char* format, bool save);

extern const char* const kGenericOpenFilter;
extern const char* const kGenericSaveFilter;

// Turns a "description|pattern|...||" filter into the file dialog's
// "description (pattern);;..." form, keeping the descriptions as they are.
QString DialogFilter(const char* filter);
