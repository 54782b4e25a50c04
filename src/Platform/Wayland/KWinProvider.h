#pragma once

#include "Platform/Linux/DesktopEntryIndex.h"
#include "Platform/Wayland/DesktopProvider.h"

#include <QMutex>
#include <QPointF>

// KDE Plasma (5.27 and 6) through a KWin script that Quillo loads over D-Bus (org.kde.KWin
// /Scripting): the script pushes the active window's desktop file name, the cursor
// position and the screens to this object (app.quillo.KWinBridge at /KWinBridge);
// activation loads a one-off script that makes the wanted window active.
class KWinProvider : public DesktopProvider
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "app.quillo.KWinBridge")
public:
    inline static const QString bridgeService = QStringLiteral("app.quillo.KWinBridge");
    inline static const QString bridgePath = QStringLiteral("/KWinBridge");

    // `scriptPath`: the bridge script (empty: the one installed with Quillo).
    explicit KWinProvider(QString scriptPath = {}, QObject* parent = nullptr);
    ~KWinProvider() override;

    QString desktopName() const override { return QStringLiteral("KDE Plasma"); }
    bool start(QString* problem) override;
    bool reportsFocus() const override { return true; }
    bool reportsPointer() const override { return true; }
    bool hasReported() const override;
    std::optional<RunningApplication> frontmostApplication() override;
    bool activate(const QString& id) override;
    std::vector<Output> outputs() override;
    bool pointerPosition(double& x, double& y) override;

    static QString installedScript();

public Q_SLOTS:
    // Called by the script inside KWin.
    Q_SCRIPTABLE void activeWindowChanged(const QString& desktopFileName, const QString& resourceClass);
    Q_SCRIPTABLE void cursorMoved(int x, int y);
    Q_SCRIPTABLE void screensChanged(const QString& json);

private:
    // Loads and runs a script in KWin under `name`; false with the reason.
    bool runScript(const QString& file, const QString& name, QString* problem);

    QString m_scriptPath;
    mutable QMutex m_lock;
    std::optional<RunningApplication> m_front;
    std::optional<QPointF> m_cursor;
    std::vector<Output> m_outputs;
    bool m_screensReported = false;
    bool m_registered = false;
    int m_activations = 0;
    DesktopEntryIndex m_entries;
};
