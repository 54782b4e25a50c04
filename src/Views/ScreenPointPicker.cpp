#include "Views/ScreenPointPicker.h"

#include <QDialog>
#include <QEventLoop>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QRubberBand>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>
#include <QWindow>
#include <algorithm>

namespace {

// One layer: a grab of the whole pointer (X11: a tiny window that grabs it) or a
// see-through cover of one screen; either passes its click or Escape on.
class PickLayer : public QWidget
{
public:
    // `done` gets a point (a click), or a rectangle (a drag, in area mode), or nothing.
    PickLayer(QScreen* screen, bool grabs, bool area, const QString& hint,
              std::function<void(std::optional<QRectF>)> done)
        : m_grabs(grabs), m_area(area), m_done(std::move(done))
    {
        // On X11 the window manager keeps its hands off the grabbing window: reparenting
        // it into a frame would unmap it for a moment, and the server ends a grab whose
        // window is not shown.
        setWindowFlags(Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::Tool |
                       (grabs ? Qt::X11BypassWindowManagerHint : Qt::WindowFlags()));
        setAttribute(Qt::WA_DeleteOnClose);
        setCursor(Qt::CrossCursor);
        setFocusPolicy(Qt::StrongFocus);
        if (grabs) {
            // A small label near the top of the screen says what to do.
            auto* label = new QLabel(hint, this);
            label->setMargin(8);
            auto* layout = new QVBoxLayout(this);
            layout->setContentsMargins(0, 0, 0, 0);
            layout->addWidget(label);
            adjustSize();
            move(screen->geometry().center().x() - width() / 2, screen->geometry().top() + 40);
        } else {
            setAttribute(Qt::WA_TranslucentBackground);
            m_hint = hint;
            m_screen = screen;
            setGeometry(screen->geometry());
        }
    }

    // Ready for the click: the pointer grabbed (X11), or the cover shown.
    bool ready() const { return m_grabs ? m_grabbed : isVisible(); }

    void begin()
    {
        if (m_screen) {
            // Full screen on its own screen, wherever the desktop would have put it.
            setScreen(m_screen);
            showFullScreen();
        }
        show();
        raise();
        activateWindow();
        if (m_grabs)
            grab();
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        if (m_grabs)
            return;
        QPainter painter(this);
        painter.fillRect(rect(), QColor(0, 0, 0, 40));
        painter.setPen(Qt::white);
        painter.drawText(rect().adjusted(0, 40, 0, 0), Qt::AlignHCenter | Qt::AlignTop, m_hint);
        if (!m_shown.isEmpty()) {
            painter.setPen(QPen(Qt::white, 2, Qt::DashLine));
            painter.drawRect(m_shown);
        }
    }
    void mousePressEvent(QMouseEvent* event) override
    {
        if (!m_area) {
            end(QRectF(screenPoint(event), QSizeF(0, 0)));
            return;
        }
        m_start = screenPoint(event);
        m_startLocal = event->globalPosition();
        m_dragging = true;
    }
    void mouseMoveEvent(QMouseEvent* event) override
    {
        if (!m_dragging)
            return;
        const QRect shown = QRectF(m_startLocal, event->globalPosition()).normalized().toRect();
        if (m_grabs) {
            // The grabbing window is small: a band of its own shows the rectangle.
            if (!m_band)
                m_band = new QRubberBand(QRubberBand::Rectangle);
            m_band->setGeometry(shown);
            m_band->show();
        } else {
            m_shown = shown.translated(-geometry().topLeft());
            update();
        }
    }
    void mouseReleaseEvent(QMouseEvent* event) override
    {
        if (!m_dragging)
            return;
        m_dragging = false;
        const QRectF area = QRectF(m_start, screenPoint(event)).normalized();
        if (area.width() < 4 || area.height() < 4)
            return; // a click, not a rectangle: drag again
        end(area);
    }
    ~PickLayer() override { delete m_band; }
    void keyPressEvent(QKeyEvent* event) override
    {
        if (event->key() == Qt::Key_Escape)
            end(std::nullopt);
    }

private:
    QPointF screenPoint(QMouseEvent* event) const
    {
        if (!m_grabs && m_screen) {
            // A cover fills its screen; where a desktop does not tell windows their
            // place (Wayland), the screen's own place in the layout gives the point,
            // in the layout's units as the desktop reports positions.
            return QPointF(m_screen->geometry().topLeft()) + event->position();
        }
        // In the X server's pixels, as positions are recorded.
        const QPointF global = event->globalPosition();
        QScreen* screen = QGuiApplication::screenAt(global.toPoint());
        const qreal ratio = screen ? screen->devicePixelRatio() : 1.0;
        return QPointF(global.x() * ratio, global.y() * ratio);
    }

    // The server grants a grab only to a window it shows, which takes a moment after
    // show(): asked again every 20 ms, for at most two seconds, then the pick gives up.
    void grab()
    {
        QWindow* window = windowHandle();
        const bool pointer = window && window->setMouseGrabEnabled(true);
        const bool keys = pointer && window->setKeyboardGrabEnabled(true);
        if (pointer && keys) {
            m_grabbed = true;
            return;
        }
        if (window && pointer)
            window->setMouseGrabEnabled(false);
        if (++m_attempts >= 100)
            return end(std::nullopt);
        QTimer::singleShot(20, this, [this] { grab(); });
    }

    void end(std::optional<QRectF> point)
    {
        if (m_grabbed) {
            windowHandle()->setMouseGrabEnabled(false);
            windowHandle()->setKeyboardGrabEnabled(false);
            m_grabbed = false;
        }
        auto done = m_done;
        done(point);
    }

    bool m_grabs;
    bool m_area;
    bool m_dragging = false;
    QPointF m_start, m_startLocal;
    QRect m_shown;
    QRubberBand* m_band = nullptr;
    QPointer<QScreen> m_screen;
    bool m_grabbed = false;
    int m_attempts = 0;
    QString m_hint;
    std::function<void(std::optional<QRectF>)> m_done;
};

} // namespace

ScreenPointPicker::ScreenPointPicker(std::vector<QWidget*> aside, QString hint, QObject* parent, Mode mode)
    : QObject(parent), m_hint(std::move(hint)), m_mode(mode)
{
    for (QWidget* w : aside)
        if (w && w->isVisible())
            m_aside.emplace_back(w);
}

ScreenPointPicker::~ScreenPointPicker()
{
    for (QWidget* layer : m_layers)
        layer->close();
}

void ScreenPointPicker::start()
{
    for (const QPointer<QWidget>& w : m_aside)
        if (w)
            w->hide();
    auto done = [this](std::optional<QRectF> picked) {
        QTimer::singleShot(0, this, [this, picked] {
            if (m_mode == Mode::area)
                finishArea(picked);
            else
                finish(picked ? std::optional<QPointF>(picked->topLeft()) : std::nullopt);
        });
    };
    const bool grabs = QGuiApplication::platformName() == QLatin1String("xcb");
    if (grabs) {
        auto* layer = new PickLayer(QGuiApplication::primaryScreen(), true, m_mode == Mode::area, m_hint, done);
        m_layers.push_back(layer);
        layer->begin();
    } else {
        for (QScreen* screen : QGuiApplication::screens()) {
            auto* layer = new PickLayer(screen, false, m_mode == Mode::area, m_hint, done);
            m_layers.push_back(layer);
            layer->begin();
        }
    }
}

bool ScreenPointPicker::isReady() const
{
    return !m_layers.empty() && std::all_of(m_layers.begin(), m_layers.end(),
                                            [](QWidget* layer) { return static_cast<PickLayer*>(layer)->ready(); });
}

std::vector<QWidget*> ScreenPointPicker::windowsBehind(QWidget* dialog)
{
    std::vector<QWidget*> windows;
    for (QWidget* w = dialog->parentWidget(); w; w = w->parentWidget())
        if (w->isWindow())
            windows.push_back(w);
    return windows;
}

int ScreenPointPicker::execThroughPicks(QDialog& dialog, const std::function<ScreenPointPicker*()>& picker)
{
    for (;;) {
        const int result = dialog.QDialog::exec();
        ScreenPointPicker* picking = picker();
        if (!picking)
            return result;
        QEventLoop waiting;
        connect(picking, &ScreenPointPicker::picked, &waiting, &QEventLoop::quit);
        waiting.exec();
    }
}

void ScreenPointPicker::closeLayers()
{
    for (QWidget* layer : m_layers)
        layer->close();
    m_layers.clear();
}

void ScreenPointPicker::showAside()
{
    for (const QPointer<QWidget>& w : m_aside)
        if (w)
            w->show();
}

void ScreenPointPicker::finish(std::optional<QPointF> screenPoint)
{
    if (m_done)
        return;
    m_done = true;
    closeLayers();
    showAside();
    Q_EMIT picked(screenPoint);
}

void ScreenPointPicker::finishArea(std::optional<QRectF> screenArea)
{
    if (m_done)
        return;
    m_done = true;
    closeLayers();
    // The screen redraws where the layers were before the rectangle's picture is taken.
    QTimer::singleShot(screenArea ? settleMs : 0, this, [this, screenArea] {
        Q_EMIT pickedArea(screenArea);
        showAside();
        Q_EMIT picked(screenArea ? std::optional<QPointF>(screenArea->topLeft()) : std::nullopt);
    });
}
