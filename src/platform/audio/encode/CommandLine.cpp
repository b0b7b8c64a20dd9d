#include "CommandLine.h"

#include <string_view>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qm::audio {

bool SplitCommandLine(const std::string& line, std::vector<std::string>* args)
{
    std::vector<std::string> out;
    std::string current;
    bool inWord = false, quoted = false;
    for (char c : line) {
        if (c == '"') {
            quoted = !quoted;
            inWord = true; // "" is an empty argument
        } else if (!quoted && (c == ' ' || c == '\t' || c == '\n' || c == '\r')) {
            if (inWord)
                out.push_back(std::move(current));
            current.clear();
            inWord = false;
        } else {
            current += c;
            inWord = true;
        }
    }
    if (quoted)
        return false;
    if (inWord)
        out.push_back(std::move(current));
    if (out.empty() || out.front().empty())
        return false;
    *args = std::move(out);
    return true;
}

namespace {
std::string joinPath(const std::string& dir, const std::string& name)
{
    std::string file = dir;
    file += '/';
    file += name;
    return file;
}

bool isExecutableFile(const std::string& file)
{
    struct stat st{};
    return ::stat(file.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(file.c_str(), X_OK) == 0;
}

std::string lookUp(const std::string& name, const std::string& resourceFolder, const std::string& path)
{
    if (name.find('/') != std::string::npos)
        return isExecutableFile(name) ? name : std::string();
    if (!resourceFolder.empty() && isExecutableFile(joinPath(resourceFolder, name)))
        return joinPath(resourceFolder, name);
    if (path.empty())
        return {};
    std::size_t start = 0;
    for (;;) {
        std::size_t end = path.find(':', start);
        std::string_view entry(path.data() + start, (end == std::string::npos ? path.size() : end) - start);
        // An empty PATH entry means the current folder.
        std::string dir(entry.empty() ? std::string_view(".") : entry);
        if (isExecutableFile(joinPath(dir, name)))
            return joinPath(dir, name);
        if (end == std::string::npos)
            return {};
        start = end + 1;
    }
}
} // namespace

std::string FindProgram(const std::string& name, const std::string& resourceFolder, const std::string& path)
{
    if (name.empty())
        return {};
    std::string found = lookUp(name, resourceFolder, path);
    if (found.empty() && name.size() > 4 && strcasecmp(name.c_str() + name.size() - 4, ".exe") == 0)
        found = lookUp(name.substr(0, name.size() - 4), resourceFolder, path);
    return found;
}

} // namespace qm::audio
