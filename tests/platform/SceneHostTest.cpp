#include "SceneItems.h"
#include "platform/frontend/SceneHost.h"

#include <QQmlPropertyMap>
#include <QQuickItem>
#include <QQuickWidget>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace qm;

using qm::test::findItem;

// What the scene's buttons send is checked on the whole window.
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
    QQuickItem* name = findItem(view->rootObject(), "appName");
    ASSERT_NE(name, nullptr);
    EXPECT_EQ(name->property("text").toString(), "Quillmere");
}

// A missing scene is checked on the whole window.
TEST(SceneHost, BrokenSceneLeavesAnEmptyViewAndOneLine)
{
    QTemporaryDir dir;
    const QString broken = dir.filePath("Broken.qml");
    QFile f(broken);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("import QtQuick\nRectangle { NoSuchItemType {} }\n");
    f.close();
    SceneHost host;
    testing::internal::CaptureStderr();
    host.LoadMovie(0, broken);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_FALSE(host.loaded());
    EXPECT_NE(err.find(broken.toStdString()), std::string::npos);
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
    EXPECT_EQ(static_cast<QQuickWidget*>(host.view())->rootObject(), nullptr);
    // Variables are still accepted without a scene.
    host.SetVariable("_root.PlayEnabled", "1");
    EXPECT_EQ(host.root()->value("PlayEnabled").toString(), "1");
}
