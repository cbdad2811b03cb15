// Text that goes into a command for the command interpreter.
#ifndef SETUP_UTIL_COMMAND_TEXT_H
#define SETUP_UTIL_COMMAND_TEXT_H

// 1 when the interpreter takes text literally inside double quotes: no quote
// (it would end the quoting), no "%" or "!" (they expand variables even inside
// quotes) and no control character (it can end the command early).
int IsLiteralInQuotes(const char* text);

#endif
