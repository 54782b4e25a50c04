// Runs every suite inside a QCoreApplication, with the user's data and settings
// folders pointed at a temporary folder so that no test touches a real home.
#include <QCoreApplication>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "Services/LogService.h"

int main(int argc, char** argv)
{
    QTemporaryDir home;
    qputenv("XDG_DATA_HOME", (home.path() + QStringLiteral("/data")).toUtf8());
    qputenv("XDG_CONFIG_HOME", (home.path() + QStringLiteral("/config")).toUtf8());
    qputenv("XDG_CACHE_HOME", (home.path() + QStringLiteral("/cache")).toUtf8());
    QCoreApplication app(argc, argv);
    LogService::shared(); // takes the backends' lines from the start
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
