#include "Views/ChordButton.h"

#include "Platform/Linux/KeyCodeMap.h"

#include <QKeyEvent>
#include <QKeySequence>

ChordButton::ChordButton(QWidget* parent) : QPushButton(parent)
{
    setFocusPolicy(Qt::StrongFocus);
    connect(this, &QPushButton::clicked, this, [this] { listen(!m_listening); });
}

void ChordButton::setChordText(const QString& text)
{
    m_chordText = text;
    if (!m_listening)
        setText(text);
}

void ChordButton::listen(bool on)
{
    if (m_listening == on)
        return;
    m_listening = on;
    setText(on ? m_listeningText : m_chordText);
    setDown(on);
    if (on) {
        setFocus(Qt::OtherFocusReason);
        grabKeyboard();
    } else {
        releaseKeyboard();
    }
    if (onListening)
        onListening(on);
}

std::optional<HotkeyChord> ChordButton::chordOf(const QKeyEvent& event)
{
    switch (event.key()) {
    case Qt::Key_Shift:
    case Qt::Key_Control:
    case Qt::Key_Alt:
    case Qt::Key_AltGr:
    case Qt::Key_Meta:
    case Qt::Key_Super_L:
    case Qt::Key_Super_R:
    case Qt::Key_CapsLock:
    case Qt::Key_NumLock:
        return std::nullopt;
    default:
        break;
    }
    HotkeyChord chord;
    const Qt::KeyboardModifiers mods = event.modifiers();
    if (mods & Qt::MetaModifier)
        chord.modifiers |= HotkeyChord::command;
    if (mods & Qt::AltModifier)
        chord.modifiers |= HotkeyChord::option;
    if (mods & Qt::ControlModifier)
        chord.modifiers |= HotkeyChord::control;
    if (mods & Qt::ShiftModifier)
        chord.modifiers |= HotkeyChord::shift;
    // X11 and Wayland scan codes are evdev codes + 8: the physical key, whatever the layout.
    if (event.nativeScanCode() > quint32(KeyCodeMap::xKeycodeOffset)) {
        chord.keyCode = KeyCodeMap::macFromEvdev(int(event.nativeScanCode()) - KeyCodeMap::xKeycodeOffset);
    } else {
        const auto named = HotkeyChord::fromPortableText(QKeySequence(event.key()).toString(QKeySequence::PortableText));
        if (!named)
            return std::nullopt;
        chord.keyCode = named->keyCode;
    }
    if (HotkeyChord::keyName(chord.keyCode).isEmpty())
        return std::nullopt;
    return chord;
}

void ChordButton::keyPressEvent(QKeyEvent* event)
{
    if (!m_listening) {
        QPushButton::keyPressEvent(event);
        return;
    }
    event->accept();
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        listen(false);
        return;
    }
    const auto chord = chordOf(*event);
    if (!chord)
        return; // a modifier on its own: the chord is still being held down
    listen(false);
    Q_EMIT chordChosen(*chord);
}

void ChordButton::focusOutEvent(QFocusEvent* event)
{
    listen(false);
    QPushButton::focusOutEvent(event);
}

QSize ChordButton::sizeHint() const
{
    return QPushButton::sizeHint() + QSize(fontMetrics().averageCharWidth() * 2, 0);
}
