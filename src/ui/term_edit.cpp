#include "ui/term_edit.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QFontDatabase>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QTextCursor>

namespace puolukka {

namespace {

constexpr int kEnter = 13;
constexpr int kBackspace = 8;
constexpr int kLineFeed = 10;

}  // namespace

TermEdit::TermEdit(QWidget* parent) : QPlainTextEdit(parent)
{
    QFont font(QStringLiteral("Courier New"));
    font.setStyleHint(QFont::TypeWriter);
    font.setFixedPitch(true);
    font.setPointSize(10);
    if (!QFontInfo(font).fixedPitch())
        font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    setFont(font);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setLineWrapMode(QPlainTextEdit::WidgetWidth);
    setTabChangesFocus(true);
    // Qt's own editing stays off for good (cut, paste, undo, drops, deleting
    // keys); the caret can still be moved and text selected and copied, and
    // the program inserts through the text cursor.
    setReadOnly(true);
    setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    setUndoRedoEnabled(false);
    setAcceptDrops(false);
    // Composed characters (dead keys, input methods) arrive as input method events.
    setAttribute(Qt::WA_InputMethodEnabled, true);
}

int TermEdit::keyAscii(const QKeyEvent& event)
{
    switch (event.key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return kEnter;
    case Qt::Key_Backspace:
        // Ctrl+Backspace deletes a word in editors; here it types nothing.
        return event.modifiers() & Qt::ControlModifier ? 0 : kBackspace;
    default:
        break;
    }
    const QString text = event.text();
    if (text.size() != 1)
        return 0;
    const QChar c = text.at(0);
    if (c.unicode() < 32 || c.unicode() == 127 || !c.isPrint())
        return 0;
    return c.unicode();
}

void TermEdit::keyPressEvent(QKeyEvent* event)
{
    if (m_inputEnabled && m_keyHandler && event->matches(QKeySequence::Paste)) {
        typeText(QApplication::clipboard()->text());
        event->accept();
        return;
    }
    const int code = keyAscii(*event);
    if (!m_inputEnabled || !m_keyHandler || code == 0) {
        // Moving the caret, selecting, copying, scrolling: the read-only pane does only these.
        QPlainTextEdit::keyPressEvent(event);
        return;
    }
    offer(code);
    event->accept();
}

void TermEdit::inputMethodEvent(QInputMethodEvent* event)
{
    if (m_inputEnabled && m_keyHandler && !event->commitString().isEmpty())
        typeText(event->commitString());
    event->accept();
}

void TermEdit::mouseReleaseEvent(QMouseEvent* event)
{
    // X11's middle-button paste of the selection, through the handler like any paste.
    if (event->button() == Qt::MiddleButton && m_inputEnabled && m_keyHandler &&
        QApplication::clipboard()->supportsSelection()) {
        typeText(QApplication::clipboard()->text(QClipboard::Selection));
        event->accept();
        return;
    }
    QPlainTextEdit::mouseReleaseEvent(event);
}

void TermEdit::contextMenuEvent(QContextMenuEvent* event)
{
    // The read-only menu (copy, select all) and a paste that types.
    QMenu* menu = createStandardContextMenu(event->pos());
    QAction* paste = new QAction(QCoreApplication::translate("QWidgetTextControl", "&Paste"), menu);
    paste->setObjectName(QStringLiteral("TermPaste"));
    paste->setShortcut(QKeySequence::Paste);
    paste->setEnabled(m_inputEnabled && m_keyHandler && !QApplication::clipboard()->text().isEmpty());
    connect(paste, &QAction::triggered, this, [this] { typeText(QApplication::clipboard()->text()); });
    const QList<QAction*> actions = menu->actions();
    menu->insertAction(actions.isEmpty() ? nullptr : actions.first(), paste);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(event->globalPos());
}

void TermEdit::typeText(const QString& text)
{
    if (!m_inputEnabled || !m_keyHandler)
        return;
    const QList<uint> codes = text.toUcs4();
    for (qsizetype i = 0; i < codes.size(); ++i) {
        uint code = codes.at(i);
        if (code == '\r') {
            if (i + 1 < codes.size() && codes.at(i + 1) == '\n')
                continue;  // CR LF is one line end
            code = kLineFeed;
        }
        if (code < 32 && code != kLineFeed && code != '\t')
            continue;
        offer(int(code));
    }
}

void TermEdit::offer(int code)
{
    const int result = m_keyHandler(code);
    if (result != 0)
        actOn(result);
}

void TermEdit::actOn(int code)
{
    QTextCursor cursor = textCursor();
    cursor.clearSelection();
    if (code == kBackspace)
        cursor.deletePreviousChar();
    else if (code == kEnter || code == kLineFeed)
        cursor.insertBlock();
    else
    {
        const char32_t character = char32_t(code);
        cursor.insertText(QString::fromUcs4(&character, 1));
    }
    setTextCursor(cursor);
    ensureCursorVisible();
}

}  // namespace puolukka
