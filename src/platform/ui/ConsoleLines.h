#pragma once
// What the terminal commands print: results on stdout; messages and progress
// on stderr. On a terminal the progress line is rewritten in place; anywhere
// else only whole lines go out, and no text ever carries control characters
// (CD-Text and file names come from outside).

#include <QString>
#include <cstdio>

namespace qm {

class ConsoleLines {
public:
    ConsoleLines(std::FILE* out, std::FILE* err, bool inPlace);
    // stdout and stderr, rewriting in place when stderr is a terminal.
    static ConsoleLines Standard();

    bool inPlace() const { return m_inPlace; }

    // One line of the result per text line.
    void Result(const QString& text);
    // "quillmere: " and the text on one line.
    void Message(const QString& text);
    // The open progress line, rewritten; ignored unless in place.
    void Update(const QString& line);
    // A finished progress line: replaces the open one.
    void Line(const QString& line);

    // Whether everything meant for stdout got there (a full disk, a closed
    // pipe); if not, says so once and answers false.
    bool ResultsWritten();

    // Control characters become spaces; line breaks too.
    static QString Clean(const QString& text);
    // Line breaks of a box text joined with a space, then cleaned.
    static QString OneLine(const QString& text);

private:
    void Put(std::FILE* stream, const QString& text);
    static bool Flushed(std::FILE* stream);
    void CloseOpenLine();

    std::FILE* m_out;
    std::FILE* m_err;
    bool m_inPlace;
    qsizetype m_openWidth = 0; // characters of the open progress line, 0 when none
    int m_outError = 0;        // errno of the first failed write to m_out
    bool m_outErrorTold = false;
};

} // namespace qm
