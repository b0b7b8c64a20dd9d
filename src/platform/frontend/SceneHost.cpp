#include "SceneHost.h"

#include <QFileInfo>
#include <QQmlContext>
#include <QQmlEngine>
#include <QQmlError>
#include <QQmlPropertyMap>
#include <QQuickWidget>
#include <QQuickWindow>
#include <QUrl>
#include <cstdio>

namespace qm {

namespace {
constexpr char kRootPrefix[] = "_root.";

// Qt prints a scene's load errors itself, over several lines; while a scene
// loads its messages are held back so that LoadMovie reports one clear line.
void quietHandler(QtMsgType, const QMessageLogContext&, const QString&) {}
}

void SceneHost::SelectSoftwareRendering()
{
    // No GPU is assumed: the scene is drawn by the software scene graph.
    QQuickWindow::setGraphicsApi(QSGRendererInterface::Software);
}

SceneHost::SceneHost(QObject* parent) : FrontEnd(parent)
{
    m_view = new QQuickWidget;
    m_view->setObjectName(QStringLiteral("Flash"));
    m_view->setResizeMode(QQuickWidget::SizeRootObjectToView);
    m_view->setClearColor(QColor(0x14, 0x17, 0x1c));
    // Load errors are reported once, in one line, by LoadMovie.
    m_view->engine()->setOutputWarningsToStandardError(false);

    m_root = new QQmlPropertyMap(this);
    for (const QString& name : VariableNames())
        m_root->insert(name, QString());
    QQmlContext* context = m_view->rootContext();
    context->setContextProperty(QStringLiteral("_root"), m_root);
    context->setContextProperty(QStringLiteral("flash"), this);
}

SceneHost::~SceneHost()
{
    // The scene binds to _root and to this object: it must go first.
    delete m_view;
}

QWidget* SceneHost::view()
{
    return m_view;
}

void SceneHost::LoadMovie(int /*layer*/, const QString& path)
{
    m_loaded = false;
    m_problem.clear();
    if (!QFileInfo(path).isFile()) {
        m_problem = QStringLiteral("%1 is missing").arg(path);
        std::fprintf(stderr, "quillmere: front end not found: %s; the window stays plain\n",
                     qPrintable(path));
        return;
    }
    const QtMessageHandler previous = qInstallMessageHandler(quietHandler);
    m_view->setSource(QUrl::fromLocalFile(path));
    qInstallMessageHandler(previous);
    if (m_view->status() != QQuickWidget::Ready) {
        QString why;
        for (const QQmlError& e : m_view->errors())
            why += (why.isEmpty() ? QString() : QStringLiteral("; ")) + e.toString();
        m_problem = QStringLiteral("%1 cannot be loaded: %2").arg(path, why);
        std::fprintf(stderr, "quillmere: front end %s cannot be loaded: %s\n", qPrintable(path),
                     qPrintable(why));
        m_view->setSource(QUrl());
        return;
    }
    m_loaded = true;
}

void SceneHost::SetVariable(const QString& name, const QString& value)
{
    const QString key = name.startsWith(QLatin1String(kRootPrefix))
                            ? name.mid(int(sizeof kRootPrefix) - 1)
                            : name;
    m_root->insert(key, value);
    emit variableSent(key, value);
}

void SceneHost::fscommand(const QString& command, const QString& args)
{
    emit FSCommand(command, args);
}

} // namespace qm
