#pragma once

#include "Platform/StatusIndicator.h"

// Keeps what it was told to show; the test chooses entries.
class FakeStatusIndicator : public StatusIndicator
{
    Q_OBJECT
public:
    bool isAvailable() override { return available; }
    void show(const QString& s, const std::vector<Entry>& m) override
    {
        shown = true;
        state = s;
        menu = m;
    }
    void hide() override { shown = false; }
    void choose(const QString& id, const std::vector<QRectF>& areas = {}) { Q_EMIT activated(id, areas); }

    bool available = true;
    bool shown = false;
    QString state;
    std::vector<Entry> menu;
};
