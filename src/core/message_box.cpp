#include "core/message_box.h"

#include "core/setup_state.h"
#include "core/step_trace.h"
#include "util/platform.h"

namespace {

const char* AnswerName(int answer)
{
    switch (answer) {
    case PF_IDOK:
        return "OK";
    case PF_IDCANCEL:
        return "Cancel";
    case PF_IDYES:
        return "Yes";
    case PF_IDNO:
        return "No";
    default:
        return "none";
    }
}

}  // namespace

int DefaultBoxAnswer(uint32_t style)
{
    static const int kOk[] = {PF_IDOK};
    static const int kOkCancel[] = {PF_IDOK, PF_IDCANCEL};
    static const int kYesNoCancel[] = {PF_IDYES, PF_IDNO, PF_IDCANCEL};
    static const int kYesNo[] = {PF_IDYES, PF_IDNO};
    const int* buttons = kOk;
    unsigned count = 1;
    switch (style & PF_MB_TYPEMASK) {
    case PF_MB_OKCANCEL:
        buttons = kOkCancel, count = 2;
        break;
    case PF_MB_YESNOCANCEL:
        buttons = kYesNoCancel, count = 3;
        break;
    case PF_MB_YESNO:
        buttons = kYesNo, count = 2;
        break;
    }
    // A default past the last button falls back to the first, as MessageBoxA does.
    unsigned index = (style & PF_MB_DEFMASK) >> 8;
    return buttons[index < count ? index : 0];
}

int ShowBox(const char* text, const char* caption, uint32_t style)
{
    if (g_State.DesktopHidden) {
        int answer = DefaultBoxAnswer(style);
        TraceLine("Box not shown (no visible desktop): caption \"%s\", style 0x%X, text \"%s\"; answered %s, its "
                  "default button",
                  caption, (unsigned)style, text, AnswerName(answer));
        return answer;
    }
    // Traced before it waits, so a box nobody answers is still on record.
    TraceLine("Box shown: caption \"%s\", style 0x%X, text \"%s\"", caption, (unsigned)style, text);
    int answer = PfMessageBox(text, caption, style);
    TraceLine("Box answered %s (%d)", AnswerName(answer), answer);
    return answer;
}
