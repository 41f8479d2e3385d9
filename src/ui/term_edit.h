#pragma once

#include <functional>

#include <QPlainTextEdit>

class QKeyEvent;

namespace puolukka {

// The terminal pane Term. Only the program edits it: its own output, and the
// keys the key handler lets through. Every key that types a character (Enter
// and Backspace included) is first offered to the handler, which returns the
// key the pane should still act on itself, or 0 to swallow it; pasted text
// (Ctrl+V, Shift+Insert, the context menu, the middle button) goes through the
// handler one character at a time, as if typed. Nothing else edits the text:
// no cut, undo, redo, drag and drop or deleting keys, so the pane never shows
// digits that Enter would not send. The user can still move the caret,
// select, copy and scroll. While input is switched off the handler sees no
// keys at all.
class TermEdit : public QPlainTextEdit {
    Q_OBJECT

public:
    explicit TermEdit(QWidget* parent = nullptr);
    void setKeyHandler(std::function<int(int)> handler) { m_keyHandler = std::move(handler); }

    // Switched off, the pane stays readable (scroll, select, copy) but takes no input.
    void setInputEnabled(bool enabled) { m_inputEnabled = enabled; }
    bool inputEnabled() const { return m_inputEnabled; }

    // The character code a key press stands for: 13 Enter, 8 Backspace, the
    // code of a printable character; 0 for keys that type nothing.
    static int keyAscii(const QKeyEvent& event);

    // Offers text to the key handler character by character, as typed. Line
    // ends are not Enter (a paste never sends by itself): they reach the handler
    // as line feeds, which it does not take.
    void typeText(const QString& text);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void inputMethodEvent(QInputMethodEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    // One character code through the handler, then whatever it lets the pane do.
    void offer(int code);
    // The pane's own action on a key the handler gave back: insert it at the
    // caret, or for Enter a line break, for Backspace remove the character before the caret.
    void actOn(int code);

    std::function<int(int)> m_keyHandler;
    bool m_inputEnabled = true;
};

}  // namespace puolukka
