// What the simulated cmd.exe understands: xcopy of a folder tree and copy of
// joined files, with the quoting and the ASCII-mode quirk of the real ones.
#include <dirent.h>
#include <string.h>
#include <sys/stat.h>

#include <algorithm>
#include <vector>

#include "sim/sim.h"
#include "sim/sim_internal.h"

namespace sim {

namespace {

// Splits a command into words; quotes group and are removed. An unquoted
// & or | ends the first command, and what follows is recorded as run. An
// unquoted + (copy's join of sources) becomes kJoin; a quoted one stays text.
const char kJoin = '\x01';

std::vector<std::string> Words(const std::string& command)
{
    std::vector<std::string> words;
    std::string word;
    bool quoted = false, inWord = false;
    for (size_t i = 0; i < command.size(); ++i) {
        char c = command[i];
        if (c == '"') {
            quoted = !quoted;
            inWord = true;
        } else if (!quoted && (c == '&' || c == '|')) {
            Machine().calls.push_back("cmd.exe ran: " + command.substr(i + 1));
            break;
        } else if (!quoted && c == '+') {
            word += kJoin;
            inWord = true;
        } else if (!quoted && c == ' ') {
            if (inWord)
                words.push_back(word);
            word.clear();
            inWord = false;
        } else {
            word += c;
            inWord = true;
        }
    }
    if (inWord)
        words.push_back(word);
    return words;
}

bool CopyTree(const std::string& from, const std::string& to)
{
    bool copied = false;
    DIR* dir = opendir(HostPath(from).c_str());
    if (!dir)
        return false;
    std::vector<std::string> names;
    while (dirent* entry = readdir(dir))
        if (strcmp(entry->d_name, ".") && strcmp(entry->d_name, ".."))
            names.push_back(entry->d_name);
    closedir(dir);
    for (const std::string& name : names) {
        std::string source = from + "\\" + name;
        if (IsFolder(source)) {
            copied |= CopyTree(source, to + "\\" + name);
        } else {
            WriteFile(to + "\\" + name, ReadFile(source));
            copied = true;
        }
    }
    return copied;
}

int Xcopy(const std::vector<std::string>& words)
{
    if (words.size() < 3 || !IsFolder(words[1]))
        return 4;
    MakeFolder(words[2]);
    CopyTree(words[1], words[2]);
    return 0;
}

int Copy(const std::vector<std::string>& words)
{
    size_t next = 1;
    bool binary = words.size() > 1 && strcasecmp(words[1].c_str(), "/b") == 0;
    if (binary)
        ++next;
    if (words.size() < next + 2)
        return 1;
    const std::string& sources = words[next];
    size_t plus = sources.find(kJoin);
    if (plus == std::string::npos)
        return 1;
    std::string first = sources.substr(0, plus), second = sources.substr(plus + 1);
    // As measured under Wine: a missing addition leaves the target and still
    // reports success; a missing first file gives the addition alone and 1.
    if (!FileExists(second))
        return 0;
    bool firstThere = FileExists(first);
    std::string joined = firstThere ? ReadFile(first) : "";
    std::string addition = ReadFile(second);
    if (!binary) {
        addition = addition.substr(0, addition.find('\x1A'));
        addition += '\x1A';
    }
    WriteFile(words[next + 1], joined + addition);
    return firstThere ? 0 : 1;
}

}  // namespace

int RunCommandInterpreter(const std::string& command)
{
    // "cmd /c" drops the first and the last quote of a command that starts
    // with one, unless it holds just those two.
    std::string text = command;
    if (!text.empty() && text[0] == '"' && std::count(text.begin(), text.end(), '"') != 2) {
        text.erase(0, 1);
        size_t last = text.rfind('"');
        if (last != std::string::npos)
            text.erase(last, 1);
    }
    std::vector<std::string> words = Words(text);
    if (words.empty())
        return 1;
    std::string program = words[0].substr(words[0].find_last_of('\\') + 1);
    if (strcasecmp(program.c_str(), "xcopy") == 0 || strcasecmp(program.c_str(), "xcopy.exe") == 0) {
        for (std::string& word : words)
            for (char& c : word)
                c = c == kJoin ? '+' : c;
        return Xcopy(words);
    }
    if (strcasecmp(words[0].c_str(), "copy") == 0)
        return Copy(words);
    return 1;
}

}  // namespace sim
