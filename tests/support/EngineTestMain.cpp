// The engine's tests: no widgets, no scene.
#include "TestEnvironment.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    QTemporaryDir runtime;
    qm::test::PrepareTestEnvironment(runtime);
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
