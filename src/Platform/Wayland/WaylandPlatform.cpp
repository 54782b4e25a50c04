#include "Platform/Wayland/WaylandPlatform.h"

#include "Platform/Linux/SessionKind.h"
#include "Platform/SystemClock.h"
#include "Platform/Wayland/GnomeHotkeyRegistrar.h"
#include "Platform/Wayland/GnomeProvider.h"
#include "Platform/Wayland/GnomeStatusIndicator.h"
#include "Platform/Wayland/GrimScreenCapture.h"
#include "Platform/Wayland/GnomeShellScreenCapture.h"
#include "Platform/Wayland/KWinScreenCapture.h"
#include "Platform/Wayland/PortalScreenCapture.h"
#include "Platform/Wayland/HyprlandHotkeyRegistrar.h"
#include "Platform/Wayland/InputdHotkeyRegistrar.h"
#include "Platform/Wayland/KGlobalAccelHotkeyRegistrar.h"
#include "Platform/Wayland/SwayHotkeyRegistrar.h"
#include "Platform/Wayland/HyprlandProvider.h"
#include "Platform/Wayland/KWinProvider.h"
#include "Platform/Wayland/OtherDesktopProvider.h"
#include "Platform/Wayland/SwayProvider.h"
#include "Platform/PlatformLog.h"

std::unique_ptr<DesktopProvider> WaylandPlatform::providerForSession()
{
    const QString desktop = SessionKind::waylandDesktop();
    if (desktop == QLatin1String("sway"))
        return std::make_unique<SwayProvider>();
    if (desktop == QLatin1String("Hyprland"))
        return std::make_unique<HyprlandProvider>();
    if (desktop == QLatin1String("KDE"))
        return std::make_unique<KWinProvider>();
    if (desktop == QLatin1String("GNOME"))
        return std::make_unique<GnomeProvider>();
    return std::make_unique<OtherDesktopProvider>();
}

std::unique_ptr<HotkeyRegistrar> WaylandPlatform::hotkeysFor(DesktopProvider& provider, KeyboardLayout& layout,
                                                              QString* note)
{
    auto keyName = [&layout](quint16 keyCode) { return layout.keyName(keyCode); };
    QString problem;
    if (auto* sway = qobject_cast<SwayProvider*>(&provider)) {
        auto registrar = std::make_unique<SwayHotkeyRegistrar>(*sway, keyName);
        if (registrar->start(&problem))
            return registrar;
    } else if (auto* hyprland = qobject_cast<HyprlandProvider*>(&provider)) {
        return std::make_unique<HyprlandHotkeyRegistrar>(*hyprland);
    } else if (qobject_cast<KWinProvider*>(&provider)) {
        auto registrar = std::make_unique<KGlobalAccelHotkeyRegistrar>(keyName);
        if (registrar->start(&problem))
            return registrar;
    } else if (qobject_cast<GnomeProvider*>(&provider)) {
        auto registrar = std::make_unique<GnomeHotkeyRegistrar>();
        if (registrar->start(&problem))
            return registrar;
    }
    if (note && !problem.isEmpty())
        *note = problem + QStringLiteral("; the input helper watches for the hotkeys instead");
    return std::make_unique<InputdHotkeyRegistrar>();
}

std::unique_ptr<ScreenCapture> WaylandPlatform::screenFor(DesktopProvider& provider)
{
    // sway and Hyprland both speak wlroots' screencopy.
    if ((qobject_cast<SwayProvider*>(&provider) || qobject_cast<HyprlandProvider*>(&provider)) &&
        GrimScreenCapture::available())
        return std::make_unique<GrimScreenCapture>([&provider] { return provider.outputs(); });
    if (qobject_cast<GnomeProvider*>(&provider))
        return std::make_unique<GnomeShellScreenCapture>([&provider] { return provider.outputs(); });
    if (qobject_cast<KWinProvider*>(&provider))
        return std::make_unique<KWinScreenCapture>([&provider] { return provider.outputs(); });
    // Anywhere else, the desktop portal (which may ask the user once).
    if (qobject_cast<OtherDesktopProvider*>(&provider) && PortalScreenCapture::available())
        return std::make_unique<PortalScreenCapture>();
    return nullptr;
}

WaylandPlatform::WaylandPlatform(FileDialogs& dialogs)
    : m_dialogs(dialogs), m_provider(providerForSession()), m_tap(SystemClock::instance())
{
    m_desktopAnswers = m_provider->start(&m_desktopProblem);
    if (!m_desktopAnswers)
        PlatformLog::write(QStringLiteral("Wayland (%1): %2").arg(m_provider->desktopName(), m_desktopProblem), LogEntry::Level::warn);
    else if (!m_provider->reportsPointer())
        m_desktopProblem = QStringLiteral("%1 does not say where the pointer is: positions are estimated from the "
                                          "mouse's motion, starting where Quillo puts the pointer")
                               .arg(m_provider->desktopName());
    if (!m_desktopProblem.isEmpty() && m_provider->reportsFocus())
        PlatformLog::write(QStringLiteral("Wayland (%1): %2").arg(m_provider->desktopName(), m_desktopProblem), LogEntry::Level::info);
    m_workspace = std::make_unique<WaylandWorkspace>(*m_provider);
    QString hotkeyNote;
    m_hotkeys = hotkeysFor(*m_provider, m_keyboardLayout, &hotkeyNote);
    if (qobject_cast<GnomeProvider*>(m_provider.get()))
        m_indicator = std::make_unique<GnomeStatusIndicator>();
    if (!hotkeyNote.isEmpty())
        PlatformLog::write(QStringLiteral("Wayland (%1): %2").arg(m_provider->desktopName(), hotkeyNote), LogEntry::Level::warn);
    DesktopProvider* provider = m_provider.get();
    if (provider->reportsPointer()) {
        m_tap.setPointerQuery([provider](double& x, double& y) { return provider->pointerPosition(x, y); });
    } else {
        // A known start for each recording: the middle of the first output, where the
        // pointer is put as the recording starts.
        m_tap.placePointerAtStart = [provider]() -> std::optional<std::pair<double, double>> {
            const auto outputs = provider->outputs();
            if (outputs.empty())
                return std::nullopt;
            const QPointF centre = outputs.front().geometry.center();
            if (!provider->placePointer(centre.x(), centre.y()))
                return std::nullopt;
            return std::make_pair(centre.x(), centre.y());
        };
    }
    m_poster.setLayout([provider] { return provider->outputs(); });
    m_screen = screenFor(*provider);
    m_poster.setActivate([provider](const QString& id) { return provider->activate(id); });
    if (provider->reportsFocus())
        m_poster.setFrontmost([provider]() -> std::optional<QString> {
            const auto app = provider->frontmostApplication();
            return app ? app->id : QString();
        });
}

WaylandPlatform::~WaylandPlatform() = default;

PlatformServices WaylandPlatform::services()
{
    return PlatformServices{m_tap,     *m_workspace, m_probe,   m_poster,         *m_hotkeys,
                            m_dialogs, SystemClock::instance(), m_sleeper, m_keyboardLayout, m_keychain,
                            m_screen.get()};
}
