// The one routine every box of the program goes through.
#ifndef SETUP_CORE_MESSAGE_BOX_H
#define SETUP_CORE_MESSAGE_BOX_H

#include <stdint.h>

// Shows MessageBoxA(NULL, text, caption, style) and returns its answer
// (PF_IDOK, PF_IDYES, PF_IDNO). When nobody can see a window (IsDesktopHidden:
// a window station without WSF_VISIBLE, or session 0 since Windows Vista, as
// for SYSTEM), nothing is shown and the box's default
// button is the answer, as if a person had pressed Enter. Every box goes to
// the step trace with its answer.
int ShowBox(const char* text, const char* caption, uint32_t style);

// The button MessageBoxA makes the default for style (OK, OK/Cancel, Yes/No and
// Yes/No/Cancel boxes): the answer Enter gives.
int DefaultBoxAnswer(uint32_t style);

#endif
