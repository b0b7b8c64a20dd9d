#pragma once
// A front end that records what the program sends it and lets a test send
// commands as the scene would.

#include "platform/frontend/FrontEnd.h"

#include <QPair>
#include <QStringList>
#include <QWidget>
#include <functional>

namespace qm::test {

class RecordingFrontEnd : public FrontEnd {
    Q_OBJECT
public:
    RecordingFrontEnd() : m_view(new QWidget) { m_view->setObjectName(QStringLiteral("Flash")); }
    ~RecordingFrontEnd() override { delete m_view; }

    QWidget* view() override { return m_view; }
    void LoadMovie(int layer, const QString& path) override
    {
        movies.append({layer, path});
        note("movie:" + path);
    }
    void SetVariable(const QString& name, const QString& value) override
    {
        variables.append({name, value});
        note(name + "=" + value);
    }

    QString loadProblem() const override { return problem; }

    void send(const QString& command, const QString& args = QString()) { emit FSCommand(command, args); }

    QString problem; // what loadProblem says

    QList<QPair<int, QString>> movies;
    QList<QPair<QString, QString>> variables;
    // Everything received in order, each with what `stamp` said at the time.
    QStringList log;
    std::function<QString()> stamp;

private:
    void note(const QString& what) { log << (stamp ? what + " after " + stamp() : what); }
    QWidget* m_view;
};

} // namespace qm::test
