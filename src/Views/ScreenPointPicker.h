#pragma once

#include <QObject>
#include <QPointF>
#include <QPointer>
#include <QString>
#include <QWidget>
#include <functional>
#include <optional>
#include <vector>

// "Pick on Screen": the windows of Quillo step aside and the next click anywhere gives
// a point in screen coordinates (the numbering positions have in macros); Escape
// cancels. The click goes nowhere else and is not recorded. On X11 the pointer is
// grabbed, so the screen stays visible as it is; elsewhere a see-through layer covers
// each screen.
class ScreenPointPicker : public QObject
{
    Q_OBJECT
public:
    // `aside`: the windows to hide while picking (shown again after). `hint`: shown
    // beside the pointer.
    ScreenPointPicker(std::vector<QWidget*> aside, QString hint, QObject* parent = nullptr);
    ~ScreenPointPicker() override;

    void start();
    // Whether a click now gives the point (the pointer is grabbed or the screens covered).
    bool isReady() const;
    // Ends the pick as a click at `screenPoint` would (also what the tests call).
    void finish(std::optional<QPointF> screenPoint);

Q_SIGNALS:
    // Nothing when cancelled.
    void picked(std::optional<QPointF> screenPoint);

private:
    std::vector<QPointer<QWidget>> m_aside;
    std::vector<QWidget*> m_layers;
    QString m_hint;
    bool m_done = false;
};
