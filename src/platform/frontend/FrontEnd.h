#pragma once
// The window's face: a declarative scene that sends named commands and
// receives named variables ("_root.Name" -> text value). SceneHost is the real
// one; tests use a recorder.

#include <QObject>
#include <QString>
#include <QStringList>

class QWidget;

namespace qm {

class FrontEnd : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    ~FrontEnd() override = default;

    // The widget that shows the scene; the main window parents and places it.
    virtual QWidget* view() = 0;
    // Load the scene file at path. Nothing is returned; a failure is reported
    // on stderr and leaves an empty view.
    virtual void LoadMovie(int layer, const QString& path) = 0;
    // Why the last LoadMovie left no scene; "" when it loaded.
    virtual QString loadProblem() const { return QString(); }
    // Set a scene variable; names carry the "_root." prefix.
    virtual void SetVariable(const QString& name, const QString& value) = 0;

    // Every variable the program ever sets, declared before a scene loads so
    // that bindings to them resolve.
    static const QStringList& VariableNames();

signals:
    void FSCommand(const QString& command, const QString& args);
};

} // namespace qm
