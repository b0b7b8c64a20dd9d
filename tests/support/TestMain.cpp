// Tests run the real widgets without a display.
#include "TestEnvironment.h"
#include "platform/frontend/SceneHost.h"

#include <QApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    QTemporaryDir runtime;
    qm::test::PrepareTestEnvironment(runtime);
    qm::SceneHost::SelectSoftwareRendering();
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
