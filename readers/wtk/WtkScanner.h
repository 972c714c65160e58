#pragma once

#include <cstdio>

#include "Model.h"
#include "WtkParser.hpp"

// What the scanner keeps between tokens of one file.
struct CWtkScanState
{
    FILE* stream = nullptr;
    CModel* model = nullptr;  // receives "Reading Line %d"; may be null
    int line = 1;
    bool outOfMemory = false;
    // Set once the header says version 3.0 or later: "mtable" and "matid"
    // are then keywords, and a name like "_V_label.tga" is a texture name
    // (UNAME) rather than an object's. Earlier files keep the older words.
    bool version3 = false;
};

// The token scanner of World Toolkit NFF files. Token codes and values are
// the parser's (WtkParser.hpp): WTK_INTEGER, WTK_HEX, WTK_FLOAT, WTK_IDENT,
// the keywords, single characters as themselves and 0 at the end.
class CWtkScanner
{
public:
    explicit CWtkScanner(CModel* model);
    ~CWtkScanner();
    CWtkScanner(const CWtkScanner&) = delete;
    CWtkScanner& operator=(const CWtkScanner&) = delete;

    int Line() const { return m_state.line; }
    // From the next token on, read the words of version 3.0 files.
    void StartVersion3() { m_state.version3 = true; }
    // The scanner could not allocate; it then ends the input with WTK_WTKerror.
    bool OutOfMemory() const { return m_state.outOfMemory; }

private:
    friend bool StartWtkScanner(CWtkScanner& scanner, FILE* stream);
    friend int NextWtkToken(CWtkScanner& scanner, WTKSTYPE& value);

    CWtkScanState m_state;
    void* m_flex = nullptr;
};

// Attaches the stream, drops whatever an earlier file left buffered and
// restarts the line count at 1. False when the scanner could not be set up.
bool StartWtkScanner(CWtkScanner& scanner, FILE* stream);
// The next token's code; its value goes to `value`. An IDENT's text is a
// malloc'd copy that the caller frees.
int NextWtkToken(CWtkScanner& scanner, WTKSTYPE& value);
