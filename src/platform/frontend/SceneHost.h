#pragma once
// The real front end: a QQuickWidget hosting Main.qml. The scene calls
// fscommand(command, argument); variables live in a property map exposed to it
// as _root.

#include "FrontEnd.h"

class QQuickWidget;
class QQmlPropertyMap;

namespace qm {

class SceneHost : public FrontEnd {
    Q_OBJECT
public:
    explicit SceneHost(QObject* parent = nullptr);
    ~SceneHost() override;

    QWidget* view() override;
    void LoadMovie(int layer, const QString& path) override;
    void SetVariable(const QString& name, const QString& value) override;

    // The scene's call into the program.
    Q_INVOKABLE void fscommand(const QString& command, const QString& args = QString());

signals:
    // Every value the program sends, also one equal to the value before:
    // the scene hears each "1" of a flag.
    void variableSent(const QString& name, const QString& value);

public:
    QQmlPropertyMap* root() const { return m_root; }
    bool loaded() const { return m_loaded; }
    QString loadProblem() const override { return m_problem; }

    // Must run before the first QQuickWidget exists.
    static void SelectSoftwareRendering();

private:
    QQuickWidget* m_view = nullptr;
    QQmlPropertyMap* m_root = nullptr;
    bool m_loaded = false;
    QString m_problem;
};

} // namespace qm
