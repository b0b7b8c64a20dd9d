#pragma once
// Encoder command lines: split into arguments without a shell, and the
// program found the way the program's own folder and PATH decide.

#include <string>
#include <vector>

namespace qm::audio {

// Blanks separate arguments; double quotes group text, blanks included, and
// are removed. False on an unbalanced quote or an empty program name.
bool SplitCommandLine(const std::string& line, std::vector<std::string>* args);

// The executable a program name stands for: a name with a '/' as given;
// otherwise the resource folder, then each PATH folder. A name ending in
// ".exe" that is found nowhere is looked up again without the suffix.
// Empty when nothing executable is found.
std::string FindProgram(const std::string& name, const std::string& resourceFolder, const std::string& path);

} // namespace qm::audio
