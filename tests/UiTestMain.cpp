// Widget tests run offscreen inside a QApplication, with the user's folders pointed at
// a temporary folder.
#include <QApplication>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "Services/LogService.h"

int main(int argc, char** argv)
{
    QTemporaryDir home;
    qputenv("XDG_DATA_HOME", (home.path() + QStringLiteral("/data")).toUtf8());
    qputenv("XDG_CONFIG_HOME", (home.path() + QStringLiteral("/config")).toUtf8());
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    LogService::shared(); // takes the backends' lines from the start
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
