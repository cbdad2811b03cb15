// The dialog robot: watches the desktop for message boxes (top-level windows of
// class "#32770"), writes one JSON line per box to a record file and answers it.
//
//   robot.exe --out FILE --stop FILE [--ready FILE] [--answers LIST] [--hold FILE]
//             [--timeout SECONDS]
//
// LIST is a comma-separated list of ok, yes, no, cancel or default, used in the
// order the boxes appear; when it runs out, the box's default button is pressed.
// With --hold, boxes are recorded at once but answered only after the hold file
// exists, which keeps their program alive as long as a test needs it.
// The robot ends once the stop file exists (after a last look) or at the timeout.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

namespace {

struct ButtonName {
    int id;
    const char* name;
};

// The buttons a message box can carry, in the order records list them.
const ButtonName kButtons[] = {
    {IDOK, "ok"},
    {IDYES, "yes"},
    {IDNO, "no"},
    {IDCANCEL, "cancel"},
    {IDABORT, "abort"},
    {IDRETRY, "retry"},
    {IDIGNORE, "ignore"},
    {10 /*IDTRYAGAIN*/, "tryagain"},
    {11 /*IDCONTINUE*/, "continue"},
};

struct Options {
    const char* out = NULL;
    const char* stop = NULL;
    const char* ready = NULL;
    const char* hold = NULL;
    std::vector<std::string> answers;
    DWORD timeoutMs = 120000;
};

struct Box {
    HWND window;
    bool answered;
    bool seen;  // still present in the latest sweep
};

Options g_options;
std::vector<Box> g_boxes;
size_t g_nextAnswer = 0;
int g_sequence = 0;
DWORD g_start = 0;

bool FileExists(const char* path) { return path && GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES; }

std::string Utf8(const wchar_t* text)
{
    int bytes = WideCharToMultiByte(CP_UTF8, 0, text, -1, NULL, 0, NULL, NULL);
    if (bytes <= 0)
        return std::string();
    std::string out((size_t)bytes, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, &out[0], bytes, NULL, NULL);
    out.resize((size_t)bytes - 1);
    return out;
}

std::string JsonString(const std::string& text)
{
    std::string out = "\"";
    for (unsigned char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += (char)c;
        } else if (c < 0x20) {
            char escaped[8];
            sprintf(escaped, "\\u%04x", c);
            out += escaped;
        } else {
            out += (char)c;
        }
    }
    return out + "\"";
}

std::string WindowText(HWND window)
{
    int length = GetWindowTextLengthW(window);
    std::vector<wchar_t> buffer((size_t)length + 64);
    GetWindowTextW(window, buffer.data(), (int)buffer.size());
    return Utf8(buffer.data());
}

std::string StaticText(HWND box)
{
    HWND text = GetDlgItem(box, 0xFFFF);
    int length = text ? GetWindowTextLengthW(text) : 0;
    std::vector<wchar_t> buffer((size_t)length + 64);
    GetDlgItemTextW(box, 0xFFFF, buffer.data(), (int)buffer.size());
    return Utf8(buffer.data());
}

HWND VisibleButton(HWND box, int id)
{
    HWND button = GetDlgItem(box, id);
    return button && IsWindowVisible(button) ? button : NULL;
}

const char* ButtonNameOf(int id)
{
    for (const ButtonName& button : kButtons)
        if (button.id == id)
            return button.name;
    return "none";
}

int ButtonIdOf(const std::string& name)
{
    for (const ButtonName& button : kButtons)
        if (name == button.name)
            return button.id;
    return 0;
}

void AppendLine(const std::string& line)
{
    HANDLE file = CreateFileA(g_options.out, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return;
    std::string text = line + "\n";
    DWORD written = 0;
    WriteFile(file, text.data(), (DWORD)text.size(), &written, NULL);
    CloseHandle(file);
}

// The default button is the one carrying BS_DEFPUSHBUTTON; DM_GETDEFID cannot be
// trusted for message boxes under Wine.
int DefaultButton(HWND box)
{
    for (const ButtonName& button : kButtons) {
        HWND window = VisibleButton(box, button.id);
        if (window && (GetWindowLongW(window, GWL_STYLE) & 0x0F) == BS_DEFPUSHBUTTON)
            return button.id;
    }
    return 0;
}

void Record(HWND box)
{
    DWORD processId = 0;
    GetWindowThreadProcessId(box, &processId);
    std::string buttons = "[";
    for (const ButtonName& button : kButtons) {
        if (!VisibleButton(box, button.id))
            continue;
        if (buttons.size() > 1)
            buttons += ",";
        buttons += JsonString(button.name);
    }
    buttons += "]";
    char head[128];
    sprintf(head, "{\"seq\":%d,\"pid\":%lu,\"ms\":%lu,", ++g_sequence, processId, GetTickCount() - g_start);
    std::string line = head;
    line += "\"caption\":" + JsonString(WindowText(box));
    line += ",\"text\":" + JsonString(StaticText(box));
    line += ",\"buttons\":" + buttons;
    line += ",\"default\":" + JsonString(ButtonNameOf(DefaultButton(box)));
    line += ",\"type\":\"box\"}";
    AppendLine(line);
}

void Answer(HWND box)
{
    std::string wanted = g_nextAnswer < g_options.answers.size() ? g_options.answers[g_nextAnswer] : "default";
    ++g_nextAnswer;
    int id = wanted == "default" ? DefaultButton(box) : ButtonIdOf(wanted);
    std::string note;
    if (id == 0 || !VisibleButton(box, id)) {
        // Never press a button the box does not show: fall back to its default
        // and say so, so that the test sees the mismatch.
        note = "no " + wanted + " button";
        id = DefaultButton(box);
        if (id == 0)
            id = VisibleButton(box, IDOK) ? IDOK : IDCANCEL;
    }
    HWND button = GetDlgItem(box, id);
    DWORD processId = 0;
    GetWindowThreadProcessId(box, &processId);
    char head[128];
    sprintf(head, "{\"type\":\"answer\",\"seq\":%d,\"pid\":%lu,\"ms\":%lu,", g_sequence, processId,
            GetTickCount() - g_start);
    std::string line = head;
    line += "\"wanted\":" + JsonString(wanted) + ",\"pressed\":" + JsonString(ButtonNameOf(id));
    if (!note.empty())
        line += ",\"note\":" + JsonString(note);
    line += "}";
    AppendLine(line);
    PostMessageW(box, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), (LPARAM)button);
}

BOOL CALLBACK OnWindow(HWND window, LPARAM)
{
    char className[32];
    if (!GetClassNameA(window, className, sizeof(className)) || strcmp(className, "#32770") != 0)
        return TRUE;
    if (!IsWindowVisible(window))
        return TRUE;
    for (Box& box : g_boxes)
        if (box.window == window) {
            box.seen = true;
            return TRUE;
        }
    Record(window);
    g_boxes.push_back(Box{window, false, true});
    return TRUE;
}

void Sweep()
{
    for (Box& box : g_boxes)
        box.seen = false;
    EnumWindows(OnWindow, 0);
    // Forget boxes that are gone, so a reused handle counts as a new box.
    std::vector<Box> present;
    for (const Box& box : g_boxes)
        if (box.seen && IsWindow(box.window))
            present.push_back(box);
    g_boxes.swap(present);
    if (g_options.hold && !FileExists(g_options.hold))
        return;
    for (Box& box : g_boxes)
        if (!box.answered) {
            box.answered = true;
            Answer(box.window);
        }
}

void SplitAnswers(const char* list)
{
    std::string item;
    for (const char* p = list;; ++p) {
        if (*p == ',' || *p == 0) {
            if (!item.empty())
                g_options.answers.push_back(item);
            item.clear();
            if (*p == 0)
                break;
        } else {
            item += (char)(*p >= 'A' && *p <= 'Z' ? *p - 'A' + 'a' : *p);
        }
    }
}

}  // namespace

int main(int argc, char** argv)
{
    for (int i = 1; i + 1 < argc; i += 2) {
        const char* name = argv[i];
        const char* value = argv[i + 1];
        if (!strcmp(name, "--out"))
            g_options.out = value;
        else if (!strcmp(name, "--stop"))
            g_options.stop = value;
        else if (!strcmp(name, "--ready"))
            g_options.ready = value;
        else if (!strcmp(name, "--hold"))
            g_options.hold = value;
        else if (!strcmp(name, "--answers"))
            SplitAnswers(value);
        else if (!strcmp(name, "--timeout"))
            g_options.timeoutMs = (DWORD)(atof(value) * 1000);
        else {
            fprintf(stderr, "robot: unknown option %s\n", name);
            return 2;
        }
    }
    if (!g_options.out || !g_options.stop) {
        fprintf(stderr, "usage: robot.exe --out FILE --stop FILE [--ready FILE] [--answers LIST] [--hold FILE] "
                        "[--timeout SECONDS]\n");
        return 2;
    }
    g_start = GetTickCount();
    FindWindowA("#32770", NULL);  // connect to the desktop before saying we are ready
    if (g_options.ready) {
        HANDLE file =
            CreateFileA(g_options.ready, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
        if (file != INVALID_HANDLE_VALUE)
            CloseHandle(file);
    }
    for (;;) {
        bool stopping = FileExists(g_options.stop);
        Sweep();
        if (stopping)
            break;
        if (GetTickCount() - g_start > g_options.timeoutMs) {
            AppendLine("{\"type\":\"timeout\"}");
            return 1;
        }
        Sleep(25);
    }
    return 0;
}
