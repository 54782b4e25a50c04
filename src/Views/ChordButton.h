#pragma once

#include "Models/HotkeyChord.h"

#include <QPushButton>
#include <functional>
#include <optional>

// Shows a hotkey's chord; clicked, it listens for a new one: the next key pressed with
// its modifiers is the chord (Escape, or clicking elsewhere, cancels). While it listens
// the global hotkeys are set aside, so that a chord in use can be pressed too.
class ChordButton : public QPushButton
{
    Q_OBJECT
public:
    explicit ChordButton(QWidget* parent = nullptr);

    // The text shown while not listening.
    void setChordText(const QString& text);
    // Shown while listening ("Press a chord…").
    void setListeningText(const QString& text) { m_listeningText = text; }
    bool isListening() const { return m_listening; }
    // Called with true as listening starts and false as it ends.
    std::function<void(bool)> onListening;

    // The chord of a key press: the physical key (the event's scan code, else its key)
    // and the modifiers; nothing for a modifier key alone or a key no chord can use.
    static std::optional<HotkeyChord> chordOf(const class QKeyEvent& event);
    // Room on both sides of the longest chord, so that none touches the edges.
    QSize sizeHint() const override;

Q_SIGNALS:
    void chordChosen(const HotkeyChord& chord);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    void listen(bool on);

    QString m_chordText;
    QString m_listeningText;
    bool m_listening = false;
};
