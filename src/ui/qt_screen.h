#pragma once

#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QString>

#include "app/screen.h"

class QPlainTextEdit;
class QWidget;

namespace puolukka {

// The screen of the real program: message boxes, input boxes and file dialogs
// of Qt, and the named controls of the registered windows (Form1, Form2,
// Gresponse), found by their objectName.
//
// The terminal pane is shown with one line break per line, while the
// operations see every line end as CR LF and count positions in characters
// of that text (termLength: a CR LF is two).
class QtScreen final : public Screen {
public:
    QtScreen() = default;

    // Adds a top-level window whose controls the operations may address. The
    // first window registered parents the dialogs when no window is active.
    void registerWindow(QWidget* window);

    Answer messageBox(const MessageBox& box) override;
    std::string inputBox(const std::string& prompt, const std::string& title,
                         const std::string& defaultText = {}) override;
    std::string secretInputBox(const std::string& prompt, const std::string& title) override;
    FileChoice fileDialog(const std::string& title, const std::string& filter,
                          const std::string& fileName, bool save) override;
    void beep() override;

    std::string termText() override;
    void setTermText(const std::string& text) override;
    void setTermCaret(int position) override;
    void termInsert(const std::string& text) override;

    void setText(const std::string& name, const std::string& text) override;
    std::string text(const std::string& name) override;
    void setEnabled(const std::string& name, bool enabled) override;
    bool enabled(const std::string& name) override;
    void setVisible(const std::string& name, bool visible) override;
    bool visible(const std::string& name) override;
    void setFocus(const std::string& name) override;
    void setMaxLength(const std::string& name, int length) override;
    void setRange(const std::string& name, int minimum, int maximum) override;
    void setValue(const std::string& name, int value) override;
    int value(const std::string& name) override;
    void processEvents() override;

    // The file dialogs' filter "desc|pattern|desc|pattern" in Qt's form
    // "desc (pattern);;desc (pattern)"; patterns split by ";" become blank-separated
    // and "*.*" (every file) becomes "*".
    static QString qtFilter(const std::string& filter);
    // The extension a Qt name filter's first pattern gives ("phb" for
    // "Luettelot (*.phb)"); empty for every file ("*").
    static QString filterExtension(const QString& nameFilter);

    // Terminal text as the operations see it (CR LF line ends) from the pane's
    // text, and a position in that view (termLength) turned into one in the pane.
    static std::string operationView(const QString& paneText);
    static int panePosition(const QString& paneText, int viewPosition);
    // The operations' text turned into the pane's text (one line break per line end).
    static QString paneText(const std::string& text);

private:
    std::string askText(const std::string& prompt, const std::string& title, const std::string& defaultText,
                        bool secret);
    QObject* find(const std::string& name);
    QWidget* findWidget(const std::string& name);
    QPlainTextEdit* term();
    // The object itself when it is one of the registered windows, else null.
    QWidget* registeredWindow(QObject* object) const;
    QWidget* dialogParent() const;
    void warnUnknown(const std::string& name, const char* what);

    QList<QPointer<QWidget>> m_windows;
    QHash<QString, QPointer<QObject>> m_cache;
    QSet<QString> m_warned;
};

}  // namespace puolukka
