#include "ui/main_window.h"

#include <QAction>
#include <QCloseEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QStyle>
#include <QTabWidget>
#include <QToolBar>
#include <QVBoxLayout>

// The icons live in a static library: register them before the first use.
static void initIconResources()
{
    Q_INIT_RESOURCE(icons);
}

namespace puolukka {

namespace {

struct ToolbarPosition {
    int position;
    const char* tip;    // empty for a separator
    const char* icon;   // a resource path, or empty for a standard icon
    QStyle::StandardPixmap standard;
};

// Positions 3, 6, 8 and 10 are separators.
constexpr ToolbarPosition kToolbar[] = {
    {1, "Avaa luettelo", "", QStyle::SP_DialogOpenButton},
    {2, "Tallenna luettelo", "", QStyle::SP_DialogSaveButton},
    {3, "", "", QStyle::SP_CustomBase},
    {4, "Lue luettelo SIM:ltä", ":/icons/sim_read.svg", QStyle::SP_CustomBase},
    {5, "Tallenna luettelo SIM:lle", ":/icons/sim_write.svg", QStyle::SP_CustomBase},
    {6, "", "", QStyle::SP_CustomBase},
    {7, "Muokkaa luetteloa", ":/icons/edit_list.svg", QStyle::SP_CustomBase},
    {8, "", "", QStyle::SP_CustomBase},
    {9, "Asetukset", ":/icons/settings.svg", QStyle::SP_CustomBase},
    {10, "", "", QStyle::SP_CustomBase},
    {11, "Lopetus", ":/icons/quit.svg", QStyle::SP_CustomBase},
};

struct MenuItem {
    const char* element;  // objectName of the item
    const char* caption;  // "-" for a separator line
    bool enabled;
};

constexpr MenuItem kFileMenu[] = {
    {"availe", "&Avaa luettelo", true},
    {"tallenna", "T&allenna luettelo", true},
    {"tuoyhteystiedot", "Tuo yhteystiedot...", true},
    {"vieyhteystiedot", "Vie yhteystiedot...", true},
    {"barr1", "-", true},
    {"lueluettelo", "Lu&e luettelo SIM:ltä", true},
    {"kirjoitaluettelo", "&Kirjoita luettelo SIM:lle", true},
    {"barr3", "-", true},
    {"muokkaaluettelo", "M&uokkaa luetteloa", true},
    {"bar2", "-", true},
    {"MFileExit", "&Lopetus", true},
};

// The port tools are built but switched off, all but DSRHolding.
constexpr MenuItem kPortMenu[] = {
    {"MInputLen", "&InputLen...", false},
    {"MRThreshold", "&RThreshold...", false},
    {"MSThreshold", "&SThreshold...", false},
    {"MParRep", "P&arityReplace...", false},
    {"MDTREnable", "&DTREnable", false},
    {"Bar3", "-", true},
    {"MHCD", "&CDHolding...", false},
    {"MHCTS", "CTSH&olding...", false},
    {"MHDSR", "DSRHo&lding...", true},
};

constexpr MenuItem kHelpMenu[] = {
    {"valmistus", "Kortinlukijan valmistusohjeet", true},
    {"tieto", "Tietoja Puolukkasta", true},
};

struct Caption {
    const char* name;
    const char* caption;
};

// The " Controls " frame, laid out in two rows.
constexpr Caption kControlRow1[] = {
    {"Command1", "ATR on CTS"}, {"Command2", "ATR on DTR"}, {"TermCLS", "CLS Term"},
    {"OLOG3", "Open Log"},      {"CLOG3", "Close LOG"},     {"ComSet3", "&ComPort"},
};
constexpr Caption kControlRow2[] = {
    {"PinCHV1", "  PIN1   #"}, {"PinCHV2", " PIN2   #"}, {"PUK1", "PUK1 #"},     {"PUK2", "PUK 2 #"},
    {"EFDF", "SELECT File"},   {"Rbinary", "READ Bin"},  {"RRecord", "READ Rec"}, {"GetResp3", "GET Resp."},
};

// Buttons that are never shown; the toolbar starts the same operations.
constexpr Caption kHiddenButtons[] = {
    {"WritePB", "Tallenna Sim"},      {"PhnBook", "Lue Sim"},         {"PBEdit", "Muokkaa luetteloa"},
    {"SavePB", "Tallenna luettelo"}, {"LoadPB", "Avaa luettelo"},    {"Lopeta", "&Lopeta"},
};

QLabel* makeLabel(const char* name, const QString& caption, QWidget* parent)
{
    auto* label = new QLabel(parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setTextFormat(Qt::PlainText);
    label->setText(caption);
    return label;
}

// A value shown by the explorer: a sunken box that keeps its size when empty.
QLabel* makeValueLabel(const char* name, QWidget* parent, int minimumWidth)
{
    QLabel* label = makeLabel(name, QString(), parent);
    label->setStyleSheet(QStringLiteral(
        "QLabel { background: palette(base); border: 1px solid palette(mid); border-radius: 2px; padding: 1px 3px; }"));
    label->setMinimumWidth(minimumWidth);
    label->setMinimumHeight(label->fontMetrics().height() + 6);
    return label;
}

QLineEdit* makeField(const char* name, QWidget* parent, int width, const QString& text = {})
{
    auto* field = new QLineEdit(text, parent);
    field->setObjectName(QString::fromLatin1(name));
    field->setReadOnly(true);
    field->setFocusPolicy(Qt::ClickFocus);
    field->setFixedWidth(width);
    return field;
}

}  // namespace

// --- Form1 ---------------------------------------------------------------

MainWindow::MainWindow(QWidget* parent) : QMainWindow(parent)
{
    initIconResources();
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Puolukka"));

    buildToolbar();
    buildMenus();

    auto* central = new QWidget(this);
    central->setObjectName(QStringLiteral("Form1Client"));
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(4, 4, 4, 4);
    m_tabs = new QTabWidget(central);
    m_tabs->setObjectName(QStringLiteral("SSTab1"));
    m_tabs->addTab(buildMainTab(), QStringLiteral("Main"));

    auto* cardInfo = new QWidget;
    cardInfo->setObjectName(QStringLiteral("CardInformationTab"));
    auto* cardLayout = new QVBoxLayout(cardInfo);
    cardLayout->addWidget(makeLabel("CI1_39", QString(), cardInfo));
    cardLayout->addWidget(makeLabel("CI1_40", QString(), cardInfo));
    cardLayout->addStretch();
    m_tabs->addTab(cardInfo, QStringLiteral("Card Information"));

    auto* rfu = new QWidget;
    rfu->setObjectName(QStringLiteral("RFUTab"));
    m_tabs->addTab(rfu, QStringLiteral("RFU"));

    layout->addWidget(m_tabs);
    buildHiddenControls(central);
    setCentralWidget(central);
    resize(1010, 720);
}

QString MainWindow::toolbarElement(int position)
{
    return QStringLiteral("Toolbar1_%1").arg(position);
}

void MainWindow::setKeyHandler(std::function<int(int)> handler)
{
    m_term->setKeyHandler(std::move(handler));
}

void MainWindow::elementClicked(const QString& element)
{
    if (m_elementHandler)
        m_elementHandler(element);
}

void MainWindow::buildToolbar()
{
    auto* toolbar = new QToolBar(this);
    toolbar->setObjectName(QStringLiteral("Toolbar1"));
    toolbar->setWindowTitle(QStringLiteral("Toolbar1"));
    toolbar->setMovable(false);
    toolbar->setFloatable(false);
    toolbar->setIconSize(QSize(28, 28));
    toolbar->setContextMenuPolicy(Qt::PreventContextMenu);
    for (const auto& position : kToolbar) {
        const QString element = toolbarElement(position.position);
        QAction* action = nullptr;
        if (*position.tip == '\0') {
            action = toolbar->addSeparator();
        } else {
            const QIcon icon = *position.icon ? QIcon(QString::fromLatin1(position.icon))
                                              : style()->standardIcon(position.standard);
            action = toolbar->addAction(icon, QString::fromUtf8(position.tip));
            action->setToolTip(QString::fromUtf8(position.tip));
            connect(action, &QAction::triggered, this, [this, element] { elementClicked(element); });
        }
        action->setObjectName(element);
    }
    addToolBar(Qt::TopToolBarArea, toolbar);
}

void MainWindow::buildMenus()
{
    QMenuBar* bar = menuBar();
    bar->setObjectName(QStringLiteral("Form1MenuBar"));

    auto addItems = [this](QMenu* menu, const auto& items) {
        for (const MenuItem& item : items) {
            QAction* action = nullptr;
            if (QLatin1String(item.caption) == QLatin1String("-")) {
                action = menu->addSeparator();
            } else {
                action = menu->addAction(QString::fromUtf8(item.caption));
                const QString element = QString::fromLatin1(item.element);
                connect(action, &QAction::triggered, this, [this, element] { elementClicked(element); });
            }
            action->setObjectName(QString::fromLatin1(item.element));
            action->setEnabled(item.enabled);
        }
    };

    QMenu* file = bar->addMenu(QStringLiteral("&Tiedosto"));
    file->setObjectName(QStringLiteral("MFile"));
    addItems(file, kFileMenu);

    // A menu-bar entry without items: choosing it opens the settings at once.
    QAction* settings = bar->addAction(QStringLiteral("A&setukset"));
    settings->setObjectName(QStringLiteral("MSettings"));
    connect(settings, &QAction::triggered, this, [this] { elementClicked(QStringLiteral("MSettings")); });

    QMenu* port = bar->addMenu(QStringLiteral("&Settings"));
    port->setObjectName(QStringLiteral("MProp"));
    addItems(port, kPortMenu);
    port->findChild<QAction*>(QStringLiteral("MDTREnable"))->setCheckable(true);
    port->menuAction()->setObjectName(QStringLiteral("MPropEntry"));
    port->setEnabled(false);
    port->menuAction()->setEnabled(false);

    QMenu* help = bar->addMenu(QStringLiteral("&Ohje"));
    help->setObjectName(QStringLiteral("ohje"));
    addItems(help, kHelpMenu);
}

QWidget* MainWindow::buildMainTab()
{
    auto* page = new QWidget;
    page->setObjectName(QStringLiteral("MainTab"));
    auto* grid = new QGridLayout(page);
    grid->setContentsMargins(6, 6, 6, 6);
    grid->setHorizontalSpacing(8);

    m_term = new TermEdit(page);
    m_term->setObjectName(QStringLiteral("Term"));
    grid->addWidget(m_term, 0, 0);

    auto* side = new QVBoxLayout;
    side->setSpacing(6);
    side->addWidget(buildResponsePanel());
    side->addWidget(buildAccessPanel());

    auto* state = new QGridLayout;
    state->setHorizontalSpacing(8);
    state->addWidget(makeLabel("Pin1State", QStringLiteral("PIN1 State"), page), 0, 0);
    state->addWidget(makeValueLabel("PIN1Active", page, 120), 0, 1);
    page->findChild<QLabel*>(QStringLiteral("PIN1Active"))->setText(QStringLiteral("N/A"));
    state->addWidget(makeLabel("CurrentDir", QStringLiteral("Current Directory"), page), 1, 0);
    state->addWidget(makeValueLabel("Label3", page, 170), 1, 1);
    state->addWidget(makeLabel("RinProc1", QStringLiteral("P.B. Rec.#"), page), 2, 0);
    auto* record = new QLineEdit(QStringLiteral("0"), page);
    record->setObjectName(QStringLiteral("RinProc2"));
    record->setReadOnly(true);
    record->setFocusPolicy(Qt::ClickFocus);
    record->setFixedWidth(70);
    state->addWidget(record, 2, 1, Qt::AlignLeft);
    state->setColumnStretch(1, 1);
    side->addLayout(state);
    side->addStretch();
    grid->addLayout(side, 0, 1);

    grid->addWidget(buildControls(), 1, 0, 1, 2);
    grid->setColumnStretch(0, 1);
    grid->setRowStretch(0, 1);
    return page;
}

QWidget* MainWindow::buildResponsePanel()
{
    auto* frame = new QGroupBox(QStringLiteral("Response on MF/DF"));
    frame->setObjectName(QStringLiteral("RespMFDF"));
    frame->setMinimumWidth(330);
    auto* grid = new QGridLayout(frame);
    grid->setHorizontalSpacing(6);
    grid->setVerticalSpacing(4);

    grid->addWidget(makeLabel("SubDF", QStringLiteral("Sub DF"), frame), 0, 0);
    grid->addWidget(makeField("SubDFNum", frame, 52), 0, 1);
    grid->addWidget(makeLabel("SubEF", QStringLiteral("Sub EF"), frame), 0, 2, Qt::AlignRight);
    grid->addWidget(makeField("SubEFNum", frame, 52), 0, 3);
    grid->addWidget(makeLabel("NKeys", QStringLiteral("# KEY's"), frame), 1, 0);
    grid->addWidget(makeField("Keys", frame, 52), 1, 1);
    grid->addWidget(makeLabel("CLKStop", QStringLiteral("CLKS"), frame), 1, 2, Qt::AlignRight);
    grid->addWidget(makeField("CLKStatus", frame, 52), 1, 3);

    grid->addWidget(makeLabel("PinInit", QStringLiteral("Defined"), frame), 2, 1);
    grid->addWidget(makeLabel("PIN1Value6", QStringLiteral("Pin Number"), frame), 2, 2, 1, 2);

    struct Row {
        const char* label;
        const char* caption;
        const char* status;
        const char* left;
        const char* valid;
    };
    const Row rows[] = {
        {"PIN1Stat", "PIN 1", "PIN1Status", "PIN1Left", "PIN1Valid"},
        {"PIN2Stat", "PIN 2", "PIN2Status", "PIN2Left", "PIN2Valid"},
        {"PUK1Stat", "PUK1", "PUK1Status", "PUK1Left", nullptr},
        {"PUK2Stat", "PUK2", "PUK2Status", "PUK2Left", nullptr},
    };
    int line = 3;
    for (const Row& row : rows) {
        grid->addWidget(makeLabel(row.label, QString::fromLatin1(row.caption), frame), line, 0);
        grid->addWidget(makeField(row.status, frame, 52), line, 1);
        grid->addWidget(makeField(row.left, frame, 52), line, 2);
        if (row.valid)
            grid->addWidget(makeField(row.valid, frame, 80), line, 3);
        ++line;
    }
    grid->setColumnStretch(4, 1);
    return frame;
}

QWidget* MainWindow::buildAccessPanel()
{
    auto* frame = new QGroupBox(QStringLiteral("Access on EF"));
    frame->setObjectName(QStringLiteral("AccessCond"));
    auto* grid = new QGridLayout(frame);
    grid->setHorizontalSpacing(8);
    grid->setVerticalSpacing(3);
    const Caption rows[] = {
        {"AC61", "Read/Seek"}, {"AC62", "Update"}, {"AC63", "Increase"},
        {"AC64", "Rehabilitate"}, {"AC65", "Invalidate"},
    };
    const char* values[] = {"ACS61", "ACS62", "ACS63", "ACS64", "ACS65"};
    for (int i = 0; i < 5; ++i) {
        grid->addWidget(makeLabel(rows[i].name, QString::fromLatin1(rows[i].caption), frame), i, 0);
        grid->addWidget(makeValueLabel(values[i], frame, 150), i, 1);
    }
    grid->setColumnStretch(1, 1);
    return frame;
}

QWidget* MainWindow::buildControls()
{
    auto* frame = new QGroupBox(QStringLiteral(" Controls "));
    frame->setObjectName(QStringLiteral("HsgCtrl1"));
    auto* grid = new QGridLayout(frame);
    grid->setHorizontalSpacing(6);
    grid->setVerticalSpacing(6);

    auto addButton = [this, frame, grid](const Caption& caption, int row, int column) {
        auto* button = new QPushButton(QString::fromLatin1(caption.caption), frame);
        const QString element = QString::fromLatin1(caption.name);
        button->setObjectName(element);
        button->setAutoDefault(false);
        button->setMinimumWidth(100);
        connect(button, &QPushButton::clicked, this, [this, element] { elementClicked(element); });
        grid->addWidget(button, row, column);
    };

    grid->addWidget(makeLabel("Label5", QStringLiteral("Reset Pol."), frame), 0, 0, Qt::AlignRight);
    // The two reset buttons beside their label, the terminal and port buttons to the right.
    const int firstRowColumns[] = {1, 2, 4, 5, 6, 7};
    int index = 0;
    for (const Caption& caption : kControlRow1)
        addButton(caption, 0, firstRowColumns[index++]);
    int column = 0;
    for (const Caption& caption : kControlRow2)
        addButton(caption, 1, column++);
    return frame;
}

void MainWindow::buildHiddenControls(QWidget* host)
{
    // Status texts kept for the card link; never shown.
    for (const char* name : {"SimConv1", "ParStat2", "Label1"})
        makeLabel(name, QString(), host)->hide();
    for (const Caption& caption : kHiddenButtons) {
        auto* button = new QPushButton(QString::fromUtf8(caption.caption), host);
        const QString element = QString::fromLatin1(caption.name);
        button->setObjectName(element);
        button->hide();
        connect(button, &QPushButton::clicked, this, [this, element] { elementClicked(element); });
    }
}

bool MainWindow::event(QEvent* event)
{
    // Form_Activate: coming back to the main window always shows the terminal.
    if (event->type() == QEvent::WindowActivate && m_tabs)
        m_tabs->setCurrentIndex(0);
    return QMainWindow::event(event);
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    if (m_closeHandler && m_closeHandler()) {
        event->ignore();
        return;
    }
    event->accept();
}

// --- Form2 ---------------------------------------------------------------

ProgressWindow::ProgressWindow(QWidget* parent) : QWidget(parent, Qt::Window | Qt::WindowTitleHint)
{
    setObjectName(QStringLiteral("Form2"));
    setWindowTitle(QStringLiteral("Luetaan muistia"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(12, 12, 12, 12);
    m_bar = new QProgressBar(this);
    m_bar->setObjectName(QStringLiteral("ProgressBar1"));
    m_bar->setRange(0, 100);
    m_bar->setValue(0);
    layout->addWidget(m_bar);
    setFixedSize(340, 64);
}

void ProgressWindow::showEvent(QShowEvent* event)
{
    // Centred over the main window, where the transfer was started.
    if (QWidget* owner = parentWidget()) {
        const QRect area = owner->frameGeometry();
        move(area.center() - QPoint(width() / 2, height() / 2));
    }
    QWidget::showEvent(event);
}

}  // namespace puolukka
