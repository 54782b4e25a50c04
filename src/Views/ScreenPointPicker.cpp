#include "Views/ScreenPointPicker.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
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
    PickLayer(QScreen* screen, bool grabs, const QString& hint, std::function<void(std::optional<QPointF>)> done)
        : m_grabs(grabs), m_done(std::move(done))
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
    }
    void mousePressEvent(QMouseEvent* event) override
    {
        if (!m_grabs && m_screen) {
            // A cover fills its screen; where a desktop does not tell windows their
            // place (Wayland), the screen's own place in the layout gives the point,
            // in the layout's units as the desktop reports positions.
            end(QPointF(m_screen->geometry().topLeft()) + event->position());
            return;
        }
        // In the X server's pixels, as positions are recorded.
        const QPointF global = event->globalPosition();
        QScreen* screen = QGuiApplication::screenAt(global.toPoint());
        const qreal ratio = screen ? screen->devicePixelRatio() : 1.0;
        end(QPointF(global.x() * ratio, global.y() * ratio));
    }
    void keyPressEvent(QKeyEvent* event) override
    {
        if (event->key() == Qt::Key_Escape)
            end(std::nullopt);
    }

private:
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

    void end(std::optional<QPointF> point)
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
    QPointer<QScreen> m_screen;
    bool m_grabbed = false;
    int m_attempts = 0;
    QString m_hint;
    std::function<void(std::optional<QPointF>)> m_done;
};

} // namespace

ScreenPointPicker::ScreenPointPicker(std::vector<QWidget*> aside, QString hint, QObject* parent)
    : QObject(parent), m_hint(std::move(hint))
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
    auto done = [this](std::optional<QPointF> point) { QTimer::singleShot(0, this, [this, point] { finish(point); }); };
    const bool grabs = QGuiApplication::platformName() == QLatin1String("xcb");
    if (grabs) {
        auto* layer = new PickLayer(QGuiApplication::primaryScreen(), true, m_hint, done);
        m_layers.push_back(layer);
        layer->begin();
    } else {
        for (QScreen* screen : QGuiApplication::screens()) {
            auto* layer = new PickLayer(screen, false, m_hint, done);
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

void ScreenPointPicker::finish(std::optional<QPointF> screenPoint)
{
    if (m_done)
        return;
    m_done = true;
    for (QWidget* layer : m_layers)
        layer->close();
    m_layers.clear();
    for (const QPointer<QWidget>& w : m_aside)
        if (w)
            w->show();
    Q_EMIT picked(screenPoint);
}
