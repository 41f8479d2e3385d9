#pragma once

#include <functional>

#include <QMainWindow>
#include <QWidget>

#include "ui/term_edit.h"

class QProgressBar;
class QTabWidget;
class QToolBar;

namespace puolukka {

// The main window Form1: toolbar, menu bar, the tab set with the terminal and
// the explorer panels, the " Controls " frame. It only shows things and
// reports what the user clicked: every toolbar position, menu item and button
// is reported by its element name (the toolbar's as toolbarElement(position)).
class MainWindow : public QMainWindow {
    Q_OBJECT

public:
    explicit MainWindow(QWidget* parent = nullptr);

    static constexpr int kToolbarPositions = 11;
    // "Toolbar1_4" for position 4: the objectName of that position's action.
    static QString toolbarElement(int position);

    void setElementHandler(std::function<void(const QString&)> handler) { m_elementHandler = std::move(handler); }
    void setKeyHandler(std::function<int(int)> handler);
    // Asked when the window is closed; returns true to keep it open.
    void setCloseHandler(std::function<bool()> handler) { m_closeHandler = std::move(handler); }

    QTabWidget* tabs() const { return m_tabs; }
    TermEdit* term() const { return m_term; }

    // Reports an element as clicked (the toolbar, menus and buttons all end here).
    void elementClicked(const QString& element);

protected:
    bool event(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void buildToolbar();
    void buildMenus();
    QWidget* buildMainTab();
    QWidget* buildResponsePanel();
    QWidget* buildAccessPanel();
    QWidget* buildControls();
    void buildHiddenControls(QWidget* host);

    QTabWidget* m_tabs = nullptr;
    TermEdit* m_term = nullptr;
    std::function<void(const QString&)> m_elementHandler;
    std::function<bool()> m_closeHandler;
};

// The progress window Form2 of the phonebook transfers: one bar, no logic.
class ProgressWindow : public QWidget {
    Q_OBJECT

public:
    explicit ProgressWindow(QWidget* parent = nullptr);
    QProgressBar* bar() const { return m_bar; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    QProgressBar* m_bar = nullptr;
};

}  // namespace puolukka
