#include "ui/qt_screen.h"

#include <QAbstractButton>
#include <QAbstractSlider>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGroupBox>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTextEdit>
#include <QWidget>

#include "ui/term_edit.h"

namespace puolukka {

namespace {

QString qs(const std::string& text) { return QString::fromStdString(text); }
std::string ss(const QString& text) { return text.toStdString(); }

// Message texts use CR or CR LF as line ends; Qt breaks lines at LF only.
QString displayText(const std::string& text)
{
    QString result = qs(text);
    result.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    result.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return result;
}

// Positions the character at index i takes in the operations' view of the
// pane: a line break stands for CR LF (two), the second half of a surrogate
// pair belongs to the character before it (none), every other character one.
int viewWidth(const QString& text, int i)
{
    const QChar c = text.at(i);
    if (c == QLatin1Char('\n'))
        return 2;
    if (c.isLowSurrogate())
        return 0;
    return 1;
}

struct ButtonRow {
    Answer answer;
    QMessageBox::StandardButton button;
    const char* caption = nullptr;  // a caption of our own, else the button's standard one
};

std::vector<ButtonRow> buttonsOf(Buttons buttons)
{
    using B = QMessageBox;
    switch (buttons) {
    case Buttons::Ok: return {{Answer::Ok, B::Ok}};
    case Buttons::OkCancel: return {{Answer::Ok, B::Ok}, {Answer::Cancel, B::Cancel}};
    case Buttons::YesNo: return {{Answer::Yes, B::Yes}, {Answer::No, B::No}};
    case Buttons::YesNoCancel:
        return {{Answer::Yes, B::Yes}, {Answer::No, B::No}, {Answer::Cancel, B::Cancel}};
    case Buttons::RetryCancel: return {{Answer::Retry, B::Retry}, {Answer::Cancel, B::Cancel}};
    case Buttons::AbortRetryIgnore:
        return {{Answer::Abort, B::Abort}, {Answer::Retry, B::Retry}, {Answer::Ignore, B::Ignore}};
    case Buttons::SaveDiscardCancel:
        return {{Answer::Save, B::Save, "Tallenna"},
                {Answer::Discard, B::Discard, "Älä tallenna"},
                {Answer::Cancel, B::Cancel, "Peruuta"}};
    }
    return {{Answer::Ok, B::Ok}};
}

// What a box closed without a button counts as: its Cancel, else its safest answer.
Answer escapeAnswer(Buttons buttons)
{
    switch (buttons) {
    case Buttons::Ok: return Answer::Ok;
    case Buttons::YesNo: return Answer::No;
    case Buttons::AbortRetryIgnore: return Answer::Abort;
    default: return Answer::Cancel;
    }
}

QMessageBox::Icon qtIcon(Icon icon)
{
    switch (icon) {
    case Icon::Critical: return QMessageBox::Critical;
    case Icon::Question: return QMessageBox::Question;
    case Icon::Exclamation: return QMessageBox::Warning;
    case Icon::Information: return QMessageBox::Information;
    case Icon::None: break;
    }
    return QMessageBox::NoIcon;
}

// Looks for a named object among the controls of one window, nearest first,
// without entering other windows parented to it (dialogs, list windows): their
// controls may carry the same names. Menus are entered: their items belong here.
QObject* findInWindow(QObject* window, const QString& name)
{
    QList<QObject*> level{window};
    while (!level.isEmpty()) {
        QList<QObject*> next;
        for (QObject* parent : std::as_const(level)) {
            for (QObject* child : parent->children()) {
                auto* widget = qobject_cast<QWidget*>(child);
                if (widget && widget->isWindow() && !qobject_cast<QMenu*>(widget))
                    continue;
                if (child->objectName() == name)
                    return child;
                next.append(child);
            }
        }
        level = next;
    }
    return nullptr;
}

}  // namespace

void QtScreen::registerWindow(QWidget* window)
{
    if (window && !m_windows.contains(window))
        m_windows.append(window);
    m_cache.clear();
}

QWidget* QtScreen::dialogParent() const
{
    if (QWidget* active = QApplication::activeWindow())
        return active;
    for (const auto& window : m_windows)
        if (window)
            return window;
    return nullptr;
}

void QtScreen::warnUnknown(const std::string& name, const char* what)
{
    const QString key = qs(name) + QLatin1Char('/') + QLatin1String(what);
    if (m_warned.contains(key))
        return;
    m_warned.insert(key);
    qWarning("Puolukka: no control \"%s\" for %s", name.c_str(), what);
}

QObject* QtScreen::find(const std::string& name)
{
    const QString key = qs(name);
    if (key.isEmpty())
        return nullptr;
    auto cached = m_cache.constFind(key);
    if (cached != m_cache.constEnd() && *cached)
        return *cached;
    for (const auto& window : m_windows) {
        if (!window)
            continue;
        QObject* found = window->objectName() == key ? window.data() : findInWindow(window, key);
        if (found) {
            m_cache.insert(key, found);
            return found;
        }
    }
    return nullptr;
}

QWidget* QtScreen::findWidget(const std::string& name)
{
    return qobject_cast<QWidget*>(find(name));
}

QWidget* QtScreen::registeredWindow(QObject* object) const
{
    for (const auto& window : m_windows)
        if (window && window.data() == object)
            return window;
    return nullptr;
}

QPlainTextEdit* QtScreen::term()
{
    return qobject_cast<QPlainTextEdit*>(find("Term"));
}

Answer QtScreen::messageBox(const MessageBox& box)
{
    QMessageBox dialog(dialogParent());
    dialog.setWindowTitle(qs(box.title.empty() ? std::string(kAppTitle) : box.title));
    dialog.setTextFormat(Qt::PlainText);
    dialog.setText(displayText(box.text));
    dialog.setIcon(qtIcon(box.icon));
    const auto rows = buttonsOf(box.buttons);
    std::vector<std::pair<QPushButton*, Answer>> added;
    for (const auto& row : rows) {
        QPushButton* button = dialog.addButton(row.button);
        if (row.caption)
            button->setText(QString::fromUtf8(row.caption));
        added.emplace_back(button, row.answer);
    }
    // Answer::Ok asks for the first button; any other answer names one of them.
    QPushButton* defaultButton = added.front().first;
    for (const auto& [button, answer] : added)
        if (answer == box.defaultButton)
            defaultButton = button;
    dialog.setDefaultButton(defaultButton);
    for (const auto& [button, answer] : added)
        if (answer == Answer::Cancel || (box.buttons == Buttons::Ok && answer == Answer::Ok))
            dialog.setEscapeButton(button);
    dialog.exec();
    QAbstractButton* clicked = dialog.clickedButton();
    for (const auto& [button, answer] : added)
        if (button == clicked)
            return answer;
    return escapeAnswer(box.buttons);
}

std::string QtScreen::inputBox(const std::string& prompt, const std::string& title,
                               const std::string& defaultText)
{
    return askText(prompt, title, defaultText, false);
}

std::string QtScreen::secretInputBox(const std::string& prompt, const std::string& title)
{
    return askText(prompt, title, {}, true);
}

std::string QtScreen::askText(const std::string& prompt, const std::string& title, const std::string& defaultText,
                              bool secret)
{
    QInputDialog dialog(dialogParent());
    dialog.setWindowTitle(qs(title.empty() ? std::string(kAppTitle) : title));
    dialog.setLabelText(displayText(prompt));
    dialog.setInputMode(QInputDialog::TextInput);
    if (secret)
        dialog.setTextEchoMode(QLineEdit::Password);
    dialog.setTextValue(qs(defaultText));
    if (dialog.exec() != QDialog::Accepted)
        return {};
    return ss(dialog.textValue());
}

QString QtScreen::qtFilter(const std::string& filter)
{
    const QStringList parts = qs(filter).split(QLatin1Char('|'));
    QStringList entries;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        QStringList patterns = parts.at(i + 1).trimmed().split(QLatin1Char(';'), Qt::SkipEmptyParts);
        // "*.*" means every file, but Qt's pattern wants a dot in the name:
        // files without an extension would be hidden.
        for (QString& pattern : patterns) {
            pattern = pattern.trimmed();
            if (pattern == QLatin1String("*.*"))
                pattern = QStringLiteral("*");
        }
        entries << parts.at(i) + QStringLiteral(" (") + patterns.join(QLatin1Char(' ')) + QLatin1Char(')');
    }
    return entries.join(QStringLiteral(";;"));
}

QString QtScreen::filterExtension(const QString& nameFilter)
{
    // The patterns are the last parenthesised part; the first one counts.
    const qsizetype open = nameFilter.lastIndexOf(QLatin1Char('('));
    const qsizetype close = nameFilter.lastIndexOf(QLatin1Char(')'));
    if (open < 0 || close < open)
        return {};
    const QString first = nameFilter.mid(open + 1, close - open - 1).section(QLatin1Char(' '), 0, 0);
    if (!first.startsWith(QLatin1String("*.")))
        return {};
    const QString extension = first.mid(2);
    for (QChar c : extension)
        if (!c.isLetterOrNumber())
            return {};
    return extension;
}

FileChoice QtScreen::fileDialog(const std::string& title, const std::string& filter,
                                const std::string& fileName, bool save)
{
    QFileDialog dialog(dialogParent(), qs(title));
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    // A typed name need not exist, also for opening: "Open Log" starts a new log
    // file that way, and opening a phonebook reports a missing file itself.
    dialog.setFileMode(QFileDialog::AnyFile);
    const QString nameFilter = qtFilter(filter);
    if (!nameFilter.isEmpty()) {
        // The list shows each description as given; the patterns only filter.
        dialog.setOption(QFileDialog::HideNameFilterDetails);
        dialog.setNameFilter(nameFilter);
    }
    // The extension of the filter chosen; the dialog may name it by its description alone.
    const QStringList filters = nameFilter.split(QStringLiteral(";;"), Qt::SkipEmptyParts);
    auto extensionOf = [filters](const QString& chosen) {
        for (const QString& entry : filters)
            if (!chosen.isEmpty() && entry.startsWith(chosen))
                return filterExtension(entry);
        return filters.isEmpty() ? QString() : filterExtension(filters.constFirst());
    };
    if (save) {
        // A name typed without an extension gets the chosen filter's, before
        // the dialog asks about replacing a file of that name.
        dialog.setDefaultSuffix(extensionOf(dialog.selectedNameFilter()));
        QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog,
                         [&dialog, extensionOf](const QString& chosen) { dialog.setDefaultSuffix(extensionOf(chosen)); });
    }
    const QFileInfo initial(qs(fileName));
    dialog.setDirectory(!fileName.empty() && initial.dir().exists() && initial.path() != QLatin1String(".")
                            ? initial.absolutePath()
                            : QDir::currentPath());
    if (!fileName.empty())
        dialog.selectFile(initial.fileName());
    FileChoice choice;
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return choice;
    QString path = dialog.selectedFiles().constFirst();
    // A dialog that did not add it (a platform's own), or a new file typed into
    // the open dialog (a new log): the name gets the chosen filter's extension.
    const QFileInfo chosen(path);
    const QString extension = extensionOf(dialog.selectedNameFilter());
    if (!extension.isEmpty() && !chosen.fileName().contains(QLatin1Char('.')) && (save || !chosen.exists()))
        path += QLatin1Char('.') + extension;
    choice.cancelled = false;
    choice.path = ss(QDir::toNativeSeparators(path));
    choice.fileTitle = ss(QFileInfo(path).fileName());
    return choice;
}

void QtScreen::beep()
{
    QApplication::beep();
}

// --- Terminal pane -------------------------------------------------------

std::string QtScreen::operationView(const QString& paneText)
{
    QString view = paneText;
    view.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
    return ss(view);
}

int QtScreen::panePosition(const QString& paneText, int viewPosition)
{
    int seen = 0;
    for (int i = 0; i < paneText.size(); ++i) {
        if (paneText.at(i).isLowSurrogate())
            continue;
        if (seen >= viewPosition)
            return i;
        seen += viewWidth(paneText, i);
    }
    return int(paneText.size());
}

QString QtScreen::paneText(const std::string& text)
{
    return displayText(text);
}

std::string QtScreen::termText()
{
    QPlainTextEdit* pane = term();
    if (!pane) {
        warnUnknown("Term", "termText");
        return {};
    }
    return operationView(pane->toPlainText());
}

void QtScreen::setTermText(const std::string& text)
{
    QPlainTextEdit* pane = term();
    if (!pane) {
        warnUnknown("Term", "setTermText");
        return;
    }
    // Dropping the oldest part of the text may cut a CR LF in two; the LF left
    // at the start is not a line of its own.
    std::string_view kept(text);
    if (!kept.empty() && kept.front() == '\n')
        kept.remove_prefix(1);
    pane->setPlainText(paneText(std::string(kept)));
}

void QtScreen::setTermCaret(int position)
{
    QPlainTextEdit* pane = term();
    if (!pane) {
        warnUnknown("Term", "setTermCaret");
        return;
    }
    QTextCursor cursor = pane->textCursor();
    cursor.setPosition(panePosition(pane->toPlainText(), position));
    pane->setTextCursor(cursor);
    pane->ensureCursorVisible();
}

void QtScreen::termInsert(const std::string& text)
{
    QPlainTextEdit* pane = term();
    if (!pane) {
        warnUnknown("Term", "termInsert");
        return;
    }
    // At the caret: text the user selected (to copy it) is not replaced.
    QTextCursor cursor = pane->textCursor();
    cursor.clearSelection();
    cursor.insertText(paneText(text));
    pane->setTextCursor(cursor);
    pane->ensureCursorVisible();
}

// --- Named controls ------------------------------------------------------

void QtScreen::setText(const std::string& name, const std::string& text)
{
    QObject* object = find(name);
    const QString value = qs(text);
    if (!object) {
        warnUnknown(name, "setText");
        return;
    }
    if (auto* window = registeredWindow(object)) {
        window->setWindowTitle(value);
    } else if (auto* label = qobject_cast<QLabel*>(object)) {
        label->setTextFormat(Qt::PlainText);
        label->setText(value);
    } else if (auto* frame = qobject_cast<QGroupBox*>(object)) {
        frame->setTitle(value);
    } else if (auto* button = qobject_cast<QAbstractButton*>(object)) {
        button->setText(value);
    } else if (auto* field = qobject_cast<QLineEdit*>(object)) {
        field->setText(value);
        field->setCursorPosition(0);
    } else if (qobject_cast<QPlainTextEdit*>(object) == term()) {
        setTermText(text);
    } else if (auto* plain = qobject_cast<QPlainTextEdit*>(object)) {
        plain->setPlainText(paneText(text));
    } else if (auto* rich = qobject_cast<QTextEdit*>(object)) {
        rich->setPlainText(paneText(text));
    } else if (auto* combo = qobject_cast<QComboBox*>(object)) {
        combo->setCurrentText(value);
    } else if (auto* status = qobject_cast<QStatusBar*>(object)) {
        status->showMessage(value);
    } else if (auto* menu = qobject_cast<QMenu*>(object)) {
        menu->setTitle(value);
    } else if (auto* action = qobject_cast<QAction*>(object)) {
        action->setText(value);
    } else {
        warnUnknown(name, "setText");
    }
}

std::string QtScreen::text(const std::string& name)
{
    QObject* object = find(name);
    if (!object) {
        warnUnknown(name, "text");
        return {};
    }
    if (auto* window = registeredWindow(object))
        return ss(window->windowTitle());
    if (auto* label = qobject_cast<QLabel*>(object))
        return ss(label->text());
    if (auto* frame = qobject_cast<QGroupBox*>(object))
        return ss(frame->title());
    if (auto* button = qobject_cast<QAbstractButton*>(object))
        return ss(button->text());
    if (auto* field = qobject_cast<QLineEdit*>(object))
        return ss(field->text());
    if (auto* plain = qobject_cast<QPlainTextEdit*>(object))
        return operationView(plain->toPlainText());
    if (auto* rich = qobject_cast<QTextEdit*>(object))
        return operationView(rich->toPlainText());
    if (auto* combo = qobject_cast<QComboBox*>(object))
        return ss(combo->currentText());
    if (auto* status = qobject_cast<QStatusBar*>(object))
        return ss(status->currentMessage());
    if (auto* menu = qobject_cast<QMenu*>(object))
        return ss(menu->title());
    if (auto* action = qobject_cast<QAction*>(object))
        return ss(action->text());
    if (auto* bar = qobject_cast<QProgressBar*>(object))
        return std::to_string(bar->value());
    warnUnknown(name, "text");
    return {};
}

void QtScreen::setEnabled(const std::string& name, bool enabled)
{
    QObject* object = find(name);
    if (auto* termPane = qobject_cast<TermEdit*>(object)) {
        termPane->setInputEnabled(enabled);
    } else if (auto* pane = qobject_cast<QPlainTextEdit*>(object)) {
        // A text pane switched off for input stays readable: it can still be
        // scrolled and copied from, it only stops taking typed keys.
        pane->setReadOnly(!enabled);
    } else if (auto* widget = qobject_cast<QWidget*>(object)) {
        widget->setEnabled(enabled);
    } else if (auto* action = qobject_cast<QAction*>(object)) {
        action->setEnabled(enabled);
    } else {
        warnUnknown(name, "setEnabled");
    }
}

bool QtScreen::enabled(const std::string& name)
{
    QObject* object = find(name);
    if (auto* termPane = qobject_cast<TermEdit*>(object))
        return termPane->inputEnabled() && termPane->isEnabled();
    if (auto* pane = qobject_cast<QPlainTextEdit*>(object))
        return !pane->isReadOnly() && pane->isEnabled();
    if (auto* widget = qobject_cast<QWidget*>(object))
        return widget->isEnabled();
    if (auto* action = qobject_cast<QAction*>(object))
        return action->isEnabled();
    warnUnknown(name, "enabled");
    return false;
}

void QtScreen::setVisible(const std::string& name, bool visible)
{
    QObject* object = find(name);
    if (auto* widget = qobject_cast<QWidget*>(object)) {
        if (widget != registeredWindow(widget)) {
            widget->setVisible(visible);
            return;
        }
        if (!visible) {
            widget->hide();
            return;
        }
        const bool wasHidden = !widget->isVisible();
        widget->show();
        widget->raise();
        // Operations block the event loop while they run; let a window that
        // has just appeared be drawn before they go on (typed keys and clicks
        // wait until the operation has ended).
        if (wasHidden)
            QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    } else if (auto* action = qobject_cast<QAction*>(object)) {
        action->setVisible(visible);
    } else {
        warnUnknown(name, "setVisible");
    }
}

bool QtScreen::visible(const std::string& name)
{
    QObject* object = find(name);
    if (auto* widget = qobject_cast<QWidget*>(object))
        return widget == registeredWindow(widget) ? widget->isVisible()
                                                  : widget->isVisibleTo(widget->window());
    if (auto* action = qobject_cast<QAction*>(object))
        return action->isVisible();
    warnUnknown(name, "visible");
    return false;
}

void QtScreen::setFocus(const std::string& name)
{
    QWidget* widget = findWidget(name);
    if (!widget) {
        warnUnknown(name, "setFocus");
        return;
    }
    if (widget == registeredWindow(widget))
        widget->activateWindow();
    else
        widget->setFocus(Qt::OtherFocusReason);
}

void QtScreen::setMaxLength(const std::string& name, int length)
{
    if (auto* field = qobject_cast<QLineEdit*>(find(name)))
        field->setMaxLength(length > 0 ? length : 32767);
    else
        warnUnknown(name, "setMaxLength");
}

void QtScreen::setRange(const std::string& name, int minimum, int maximum)
{
    QObject* object = find(name);
    if (auto* bar = qobject_cast<QProgressBar*>(object))
        bar->setRange(minimum, std::max(minimum, maximum));
    else if (auto* slider = qobject_cast<QAbstractSlider*>(object))
        slider->setRange(minimum, std::max(minimum, maximum));
    else
        warnUnknown(name, "setRange");
}

void QtScreen::setValue(const std::string& name, int value)
{
    QObject* object = find(name);
    if (auto* bar = qobject_cast<QProgressBar*>(object)) {
        // Past the maximum the bar would ignore the value; keep it full instead.
        bar->setValue(std::clamp(value, bar->minimum(), bar->maximum()));
        if (bar->isVisible()) {
            // The transfers block the event loop: draw the bar (and the record
            // number beside it) now, without taking any typed keys or clicks.
            bar->repaint();
            QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        }
    } else if (auto* slider = qobject_cast<QAbstractSlider*>(object)) {
        slider->setValue(value);
    } else {
        warnUnknown(name, "setValue");
    }
}

int QtScreen::value(const std::string& name)
{
    QObject* object = find(name);
    if (auto* bar = qobject_cast<QProgressBar*>(object))
        return bar->value();
    if (auto* slider = qobject_cast<QAbstractSlider*>(object))
        return slider->value();
    warnUnknown(name, "value");
    return 0;
}

void QtScreen::processEvents()
{
    QCoreApplication::processEvents();
}

}  // namespace puolukka
