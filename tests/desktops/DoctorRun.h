#pragma once

// `quillo doctor` as a user runs it in the desktop session the test runs in (the Wayland
// backend, a home of its own); `prepare` puts what the desktop needs into the data folder.
#include <QProcess>
#include <QTemporaryDir>
#include <functional>
#include <gtest/gtest.h>

inline QString runDoctor(const std::function<void(const QString& dataHome)>& prepare = {})
{
    QTemporaryDir home;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QUILLO_PLATFORM"), QStringLiteral("wayland"));
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    environment.insert(QStringLiteral("HOME"), home.path());
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), home.path() + QStringLiteral("/config"));
    environment.insert(QStringLiteral("XDG_DATA_HOME"), home.path() + QStringLiteral("/data"));
    if (prepare)
        prepare(home.path() + QStringLiteral("/data"));
    QProcess doctor;
    doctor.setProcessEnvironment(environment);
    doctor.setProcessChannelMode(QProcess::MergedChannels);
    doctor.start(QStringLiteral(QUILLO_BINARY), {QStringLiteral("doctor")});
    EXPECT_TRUE(doctor.waitForFinished(30000)) << "quillo doctor did not finish";
    return QString::fromUtf8(doctor.readAll());
}
