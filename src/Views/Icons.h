#pragma once

#include <QColor>
#include <QIcon>
#include <QPixmap>

// Quillo's own icon set (Qt resources, drawn in one colour), so that no icon depends
// on the desktop's theme: record, stop, play, gear, terminal, trash, ellipsis, tray,
// keyboard, cursor, click, drag, scroll, window, timer, lock, import, bolt, clock,
// warning, quillo.
namespace Icons {

// The icon drawn in `color` (the palette's text colour when invalid).
QIcon icon(const QString& name, const QColor& color = {});
QPixmap pixmap(const QString& name, const QColor& color, int size);
// Makes ":/icons/..." available (for rich text that names them).
void ensureRegistered();

} // namespace Icons
