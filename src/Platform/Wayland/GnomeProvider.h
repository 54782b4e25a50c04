#pragma once

#include "Platform/Wayland/DesktopProvider.h"

// GNOME Shell (42 and later) through Quillo's Shell extension, which serves
// app.quillo.Shell at /app/quillo/Shell on GNOME Shell's own bus name: the pointer, the
// focused application's desktop id (and a signal when it changes), activation, and the
// monitors. Calls are plain D-Bus messages, so any thread may make them.
class GnomeProvider : public DesktopProvider
{
    Q_OBJECT
public:
    inline static const QString service = QStringLiteral("org.gnome.Shell");
    inline static const QString path = QStringLiteral("/app/quillo/Shell");
    inline static const QString interface = QStringLiteral("app.quillo.Shell");

    using DesktopProvider::DesktopProvider;

    QString desktopName() const override { return QStringLiteral("GNOME"); }
    bool start(QString* problem) override;
    bool reportsFocus() const override { return true; }
    bool reportsPointer() const override { return true; }
    std::optional<RunningApplication> frontmostApplication() override;
    bool activate(const QString& id) override;
    std::vector<Output> outputs() override;
    bool pointerPosition(double& x, double& y) override;

    // "org.gnome.TextEditor.desktop" → "org.gnome.TextEditor".
    static QString applicationId(const QString& desktopId);

private Q_SLOTS:
    void focusChanged(const QString& desktopId, const QString& name);
};
