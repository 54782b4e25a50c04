#include "Views/Icons.h"

#include <QApplication>
#include <QHash>
#include <QPainter>
#include <QPalette>

// Resources of a static library are registered by hand.
static void registerIcons()
{
    static const bool registered = [] {
        Q_INIT_RESOURCE(icons);
        return true;
    }();
    (void)registered;
}

namespace Icons {

void ensureRegistered()
{
    registerIcons();
}

QPixmap pixmap(const QString& name, const QColor& color, int size)
{
    registerIcons();
    static QHash<QString, QPixmap> cache;
    const qreal ratio = qApp ? qApp->devicePixelRatio() : 1.0;
    const QColor ink = color.isValid() ? color : QApplication::palette().color(QPalette::WindowText);
    const QString key = QStringLiteral("%1/%2/%3").arg(name).arg(ink.rgba()).arg(size);
    if (const auto it = cache.constFind(key); it != cache.constEnd())
        return *it;
    QPixmap shape = QIcon(QStringLiteral(":/icons/%1.svg").arg(name)).pixmap(QSize(size, size) * ratio);
    QPixmap result(shape.size());
    result.fill(Qt::transparent);
    QPainter painter(&result);
    painter.drawPixmap(0, 0, shape);
    painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
    painter.fillRect(result.rect(), ink);
    painter.end();
    result.setDevicePixelRatio(ratio);
    cache.insert(key, result);
    return result;
}

QIcon icon(const QString& name, const QColor& color)
{
    QIcon result;
    for (const int size : {16, 24, 32, 64})
        result.addPixmap(pixmap(name, color, size));
    return result;
}

} // namespace Icons
