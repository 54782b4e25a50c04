#pragma once

#include "Platform/StatusIndicator.h"

// The indicator in GNOME's top bar, drawn by Quillo's Shell extension; the shell takes it
// away when Quillo leaves the session bus.
class GnomeStatusIndicator : public StatusIndicator
{
    Q_OBJECT
public:
    explicit GnomeStatusIndicator(QObject* parent = nullptr);

    bool isAvailable() override;
    void show(const QString& state, const std::vector<Entry>& menu) override;
    void hide() override;

    // The menu as the extension reads it (a JSON array).
    static QString menuJson(const std::vector<Entry>& menu);

private Q_SLOTS:
    void chosen(const QString& id, const QString& areas);
    void opened();

private:
    bool m_connected = false;
};
