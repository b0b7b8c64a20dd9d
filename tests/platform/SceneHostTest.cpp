#include "SceneItems.h"
#include "platform/frontend/SceneHost.h"

#include <QQmlPropertyMap>
#include <QQuickItem>
#include <QQuickWidget>
#include <gtest/gtest.h>

using namespace qm;

using qm::test::findItem;

TEST(SceneHost, MainSceneDeclaresEveryVariableAndShowsTheVersion)
{
    SceneHost host;
    auto* view = static_cast<QQuickWidget*>(host.view());
    host.LoadMovie(0, QStringLiteral(QUILLMERE_BIN_DIR "/Main.qml"));
    ASSERT_TRUE(host.loaded());
    // Every variable is declared before the scene is loaded.
    for (const QString& name : FrontEnd::VariableNames())
        EXPECT_TRUE(host.root()->contains(name)) << name.toStdString();

    host.SetVariable("_root.VersionNo", "2.3.0.17");
    QQuickItem* version = findItem(view->rootObject(), "versionText");
    ASSERT_NE(version, nullptr);
    EXPECT_TRUE(version->property("text").toString().contains("2.3.0.17"));
}
