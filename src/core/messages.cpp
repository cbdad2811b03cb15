#include "core/messages.h"

#include "core/message_box.h"
#include "util/bounded_string.h"

namespace {

uint32_t RightToLeft(uint32_t style)
{
    return g_State.RightToLeftUi == 1 ? style | PF_MB_RIGHT | PF_MB_RTLREADING : style;
}

// A localized information box; a non-zero code is appended as " [%X]".
void DescribeInfoMessage(ModuleHandle instance, uint32_t textId, uint32_t code, BoxText* box)
{
    box->text[0] = 0;
    box->caption[0] = 0;
    PfLoadString(instance, textId, box->text, PATH_CAPACITY);
    if (code != 0) {
        char suffix[PATH_CAPACITY];
        BoundedFormat(suffix, PATH_CAPACITY, " [%X]", (unsigned)code);
        BoundedAppend(box->text, PATH_CAPACITY, suffix);
    }
    PfLoadString(instance, IDS_CAPTION, box->caption, PATH_CAPACITY);
    box->style = RightToLeft(PF_MB_ICONINFORMATION);
}

// One of the few fixed English boxes, not from the string table.
void DescribeFixedBox(const char* text, const char* caption, uint32_t style, BoxText* box)
{
    BoundedCopy(box->text, PATH_CAPACITY, text);
    BoundedCopy(box->caption, PATH_CAPACITY, caption);
    box->style = style;
}

}  // namespace

int AskYesNo(ModuleHandle instance, uint32_t textId, uint32_t captionId, uint32_t extraStyle)
{
    char text[PATH_CAPACITY] = "";
    char caption[PATH_CAPACITY] = "";
    PfLoadString(instance, textId, text, PATH_CAPACITY);
    PfLoadString(instance, captionId, caption, PATH_CAPACITY);
    return ShowBox(text, caption, RightToLeft(extraStyle | PF_MB_YESNO | PF_MB_ICONQUESTION));
}

int DescribeRefusalBox(ModuleHandle instance, const RunOutcome* end, BoxText* box)
{
    switch (end->outcome) {
    case OUTCOME_UNSUPPORTED_WINDOWS:
    case OUTCOME_WRONG_DPINST_WIDTH:
        DescribeInfoMessage(instance, IDS_UNSUPPORTED_OS, 0, box);
        return 1;
    case OUTCOME_FILES_MISSING:
        DescribeInfoMessage(instance, IDS_FILES_MISSING, end->windowsError, box);
        return 1;
    case OUTCOME_DPINST_NOT_STARTED:
        DescribeInfoMessage(instance, IDS_LAUNCH_FAILED, end->windowsError, box);
        return 1;
    case OUTCOME_NO_MATCHING_DEVICE:
        DescribeFixedBox("Can't match a correct device!", "Error", PF_MB_OK | PF_MB_ICONEXCLAMATION, box);
        return 1;
    case OUTCOME_VERSION_DLL_MISMATCH:
        DescribeFixedBox("VrnVer.dll version does not correspond to Driver version", "ERROR",
                         PF_MB_OK | PF_MB_ICONINFORMATION, box);
        return 1;
    case OUTCOME_INSTALLED_VERSION_UNREADABLE:
        DescribeFixedBox("Failed to get current Veltaro Touch Pad driver version", "WARNING",
                         PF_MB_OK | PF_MB_ICONINFORMATION, box);
        return 1;
    default:
        return 0;
    }
}

void ShowRefusalBox(ModuleHandle instance, const RunOutcome* end)
{
    BoxText box;
    if (DescribeRefusalBox(instance, end, &box))
        ShowBox(box.text, box.caption, box.style);
}

void BuildUsageText(const SettingsRecord* settings, char* out, int capacity)
{
    static const char* const kBase[] = {
        "Setup.exe: Installs driver packages by calling the DPInst.exe.",
        "\n\n",
        "/?\n",
        "Show this help.\n",
        "\tUsage: Setup.exe /?\n",
        "/s\n",
        "Execute the update package silently without user intervention.\n",
        "\tUsage: Setup.exe /s\n",
    };
    static const char* const kExtractAll[] = {
        "/extract_all\n",
        "Extract all of the contents of the driver package to a specified folder path.\n",
        "\tUsage: Setup.exe /extract_all:<path>\n",
    };
    static const char* const kProperties[] = {
        "/v\n",
        "Public properties option.\n",
        "\n",
        "'EXTRACTDRIVERS'\n",
        "Extract all of the contents of the driver package to a specified folder path. "
        "It is possible to use the 'LOGFILE' message.\n",
        "\tUsage: Setup.exe /vEXTRACTDRIVERS=<path>\n",
        "'LOGFILE'\n",
        "Append installation log to a specified log file. "
        "Identical log shall still be written to the default log file.\n",
        "\tUsage: Setup.exe /vLOGFILE=<file>\n",
        "'DEBUG'\n",
        "Report all information necessary to enable service and support to root cause an error. "
        "It shall be written to the runtime log file and user specified log file if using 'LOGFILE' message.\n",
        "\tUsage: Setup.exe /vDEBUG=true\n",
        "'FORCE'\n",
        "Force a downgrade to an older version only if the driver package supports the downgrade.\n",
        "\tUsage: Setup.exe /vFORCE=true",
        "\n",
        "'FRESHINSTALL'\n",
        "Perform a fresh installation of the product.\n",
        "\tUsage: Setup.exe /vFRESHINSTALL=true\n",
        "'FORCERESTART'\n",
        "Reboot the system if necessary after the update. "
        "If the device requires reboot for the update, this property becomes mandatory.\n",
        "\tUsage: Setup.exe /vFORCERESTART=true\n",
    };

    BoundedCopy(out, capacity, kBase[0]);
    for (size_t i = 1; i < sizeof(kBase) / sizeof(kBase[0]); ++i)
        BoundedAppend(out, capacity, kBase[i]);
    // The screen ties bit 0 to "/extract_all" and bit 1 to "/v", the reverse of
    // how the parser acts on them; packages in the field rely on this text.
    if (settings->Support & SUPPORT_PUBLIC_PROPERTIES)
        for (const char* piece : kExtractAll)
            BoundedAppend(out, capacity, piece);
    if (settings->Support & SUPPORT_EXTRACT_ALL)
        for (const char* piece : kProperties)
            BoundedAppend(out, capacity, piece);
}

void ShowUsage(ModuleHandle /*instance*/, const SettingsRecord* settings)
{
    char caption[PATH_CAPACITY];
    char body[USAGE_CAPACITY];
    BoundedCopy(caption, PATH_CAPACITY, "Help");
    BuildUsageText(settings, body, USAGE_CAPACITY);
    ShowBox(body, caption, PF_MB_ICONINFORMATION);
}
