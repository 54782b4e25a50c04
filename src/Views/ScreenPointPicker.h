#pragma once

#include <QObject>
#include <QPointF>
#include <QPointer>
#include <QString>
#include <QWidget>

class QDialog;
#include <functional>
#include <optional>
#include <vector>

// "Pick on Screen": the windows of Quillo step aside and the next click anywhere gives
// a point in screen coordinates (the numbering positions have in macros), or (`area`)
// the next drag gives a rectangle; Escape cancels. The click goes nowhere else and is
// not recorded. On X11 the pointer is grabbed, so the screen stays visible as it is;
// elsewhere a see-through layer covers each screen. After a rectangle, Quillo's windows
// stay aside a moment longer, so that whoever takes its picture sees the screen alone.
class ScreenPointPicker : public QObject
{
    Q_OBJECT
public:
    // `aside`: the windows to hide while picking (shown again after). `hint`: shown
    // beside the pointer.
    enum class Mode { point, area };
    ScreenPointPicker(std::vector<QWidget*> aside, QString hint, QObject* parent = nullptr, Mode mode = Mode::point);
    ~ScreenPointPicker() override;

    void start();
    // Whether a click now gives the point (the pointer is grabbed or the screens covered).
    bool isReady() const;
    // Ends the pick as a click at `screenPoint` would (also what the tests call).
    void finish(std::optional<QPointF> screenPoint);
    // Ends an area pick as a drag over `screenArea` would.
    void finishArea(std::optional<QRectF> screenArea);

    // The windows behind `dialog` (its parents that are windows), to step aside with it.
    static std::vector<QWidget*> windowsBehind(QWidget* dialog);
    // exec() for a form that hides itself to pick on the screen (which ends its exec):
    // while `picker()` gives one, waits for its pick and shows the form again.
    static int execThroughPicks(QDialog& dialog, const std::function<ScreenPointPicker*()>& picker);

    // How long Quillo's windows stay aside after a rectangle, for its picture.
    static constexpr int settleMs = 250;

Q_SIGNALS:
    // Nothing when cancelled. An area pick gives its rectangle's first corner here too,
    // after pickedArea.
    void picked(std::optional<QPointF> screenPoint);
    // Area mode, while Quillo's windows are still aside: the rectangle, or nothing.
    void pickedArea(std::optional<QRectF> screenArea);

private:
    std::vector<QPointer<QWidget>> m_aside;
    std::vector<QWidget*> m_layers;
    void closeLayers();
    void showAside();

    QString m_hint;
    Mode m_mode;
    bool m_done = false;
};
