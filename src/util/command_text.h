// Naming the programs the program starts: full paths, text for the command
// interpreter.
#ifndef SETUP_UTIL_COMMAND_TEXT_H
#define SETUP_UTIL_COMMAND_TEXT_H

#include "util/platform.h"

// 1 when the interpreter takes text literally inside double quotes: no quote
// (it would end the quoting), no "%" or "!" (they expand variables even inside
// quotes) and no control character (it can end the command early).
int IsLiteralInQuotes(const char* text);
// 1 for a path from a drive root or a network share: Windows looks for it
// nowhere else, neither in the current folder nor on the search path.
int IsFullPath(const char* path);
// Drops one leading double quote and then, when text remains, one final one.
void StripQuotes(const char** text, size_t* length);

#endif
