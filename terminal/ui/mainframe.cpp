#include "mainframe.h"

#include "aboutdlg.h"
#include "artwork.h"
#include "commandtable.h"
#include "helpwindow.h"
#include "keyindicators.h"
#include "labeltoolbar.h"
#include "menubarstyle.h"
#include "receiveview.h"
#include "resource.h"
#include "settingskeys.h"
#include "settingsstore.h"
#include "setupdlg.h"
#include "stringtable.h"
#include "transmitview.h"
#include "varkeldoc.h"
#include "varkelhelp.h"
#include "windowplacement.h"

#include <QAction>
#include <QClipboard>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QSplitter>
#include <QStatusBar>
#include <QWhatsThis>

namespace {

// How long after the first show the window system may take to report its
// decorations; a window manager reparents asynchronously.
constexpr qint64 kDecorationSettleMs = 2000;

QMargins decorationOf(const QRect& frame, const QRect& inside)
{
    return QMargins(inside.left() - frame.left(), inside.top() - frame.top(),
                    frame.right() - inside.right(), frame.bottom() - inside.bottom());
}

} // namespace

CMainFrame::CMainFrame(CVarkelDoc& doc, QWidget* parent)
    : QMainWindow(parent),
      m_doc(doc),
      m_bToolbarIE4Style(
          doc.Store().GetProfileInt(keys::kSettings, keys::kToolbarInIE4Style, 0) != 0)
{
    setObjectName(QStringLiteral("mainFrame"));
    setWindowIcon(ProgramIcon());
    setWindowTitle(Caption(doc.GetTitle()));
}

CMainFrame::~CMainFrame()
{
    SavePlacement();
}

bool CMainFrame::Create()
{
    if (m_bCreated)
        return true;
    CreateActions();
    CreateMenus();
    CreateClient();
    if (!CreateToolBar())
        return false;
    CreateStatusBar();
    ConnectDocument();
    ReadPlacement();
    m_bCreated = true;
    UpdateCommandUI();
    return true;
}

void CMainFrame::CreateActions()
{
    m_commands = new CCommandActions(this);

    for (const unsigned id : m_commands->Ids()) {
        if (m_doc.HandlesCommand(id))
            connect(Action(id), &QAction::triggered, &m_doc, [this, id] { m_doc.OnCommand(id); });
    }
    using DocumentHandler = void (fw::CDocument::*)();
    const struct {
        unsigned id;
        DocumentHandler handler;
    } fileCommands[] = {
        {ID_FILE_NEW, &fw::CDocument::OnFileNew},
        {ID_FILE_OPEN, &fw::CDocument::OnFileOpen},
        {ID_FILE_SAVE, &fw::CDocument::OnFileSave},
    };
    for (const auto& command : fileCommands)
        connect(Action(command.id), &QAction::triggered, &m_doc, command.handler);

    using FrameHandler = void (CMainFrame::*)();
    const struct {
        unsigned id;
        FrameHandler handler;
    } frameCommands[] = {
        {ID_APP_ABOUT, &CMainFrame::OnAppAbout},
        {ID_APP_EXIT, &CMainFrame::OnAppExit},
        {ID_TOOLBAR_IE4_STYLE, &CMainFrame::OnToolbarIE4Style},
        {ID_VIEW_TOOLBAR, &CMainFrame::OnViewToolbar},
        {ID_VIEW_STATUS_BAR, &CMainFrame::OnViewStatusBar},
        {ID_HELP, &CMainFrame::OnHelp},
        {ID_HELP_FINDER, &CMainFrame::OnHelp},
        {ID_DEFAULT_HELP, &CMainFrame::OnHelp},
        {ID_CONTEXT_HELP, &CMainFrame::OnContextHelp},
        {ID_EDIT_COPY, &CMainFrame::OnEditCopy},
        {ID_EDIT_CUT, &CMainFrame::OnEditCut},
        {ID_EDIT_PASTE, &CMainFrame::OnEditPaste},
        {ID_EDIT_UNDO, &CMainFrame::OnEditUndo},
        {ID_NEXT_PANE, &CMainFrame::OnNextPane},
        {ID_PREV_PANE, &CMainFrame::OnPrevPane},
    };
    for (const auto& command : frameCommands)
        connect(Action(command.id), &QAction::triggered, this, command.handler);

    // After the handler, whatever it changed.
    for (const unsigned id : m_commands->Ids())
        connect(Action(id), &QAction::triggered, this, &CMainFrame::UpdateCommandUI);
}

void CMainFrame::CreateMenus()
{
    menuBar()->setObjectName(QStringLiteral("menuBar"));
    // Parented to the frame, not the bar: a widget must not outlive its style.
    auto* style = new CTextMenuBarStyle;
    style->setParent(this);
    menuBar()->setStyle(style);
    for (const MenuBarEntry& entry : MenuBarTable()) {
        if (!entry.title) {
            menuBar()->addAction(Action(entry.id));
            continue;
        }
        QMenu* menu = menuBar()->addMenu(QCoreApplication::translate("CommandTable", entry.title));
        menu->setObjectName(QLatin1String(entry.objectName));
        for (const unsigned id : entry.items) {
            if (id == kSeparator)
                menu->addSeparator();
            else
                menu->addAction(Action(id));
        }
        connect(menu, &QMenu::aboutToShow, this, &CMainFrame::UpdateCommandUI);
    }
}

void CMainFrame::CreateClient()
{
    m_splitter = new QSplitter(Qt::Vertical, this);
    m_splitter->setObjectName(QStringLiteral("splitter"));
    // A pane dragged to nothing could not be found again by keyboard alone;
    // one line of text is as small as a pane gets, scroll bars or not.
    m_splitter->setChildrenCollapsible(false);

    m_receive = new CReceiveView(&m_doc, m_splitter);
    m_transmit = new CTransmitView(&m_doc, m_splitter);
    m_splitter->addWidget(m_receive);
    m_splitter->addWidget(m_transmit);
    for (auto [pane, name] : {std::pair<QPlainTextEdit*, QString>{m_receive, tr("Receive pane")},
                              {m_transmit, tr("Transmit pane")}}) {
        if (pane->accessibleName().isEmpty())
            pane->setAccessibleName(name);
        pane->setMinimumHeight(pane->fontMetrics().lineSpacing() + 2 * pane->frameWidth());
        pane->installEventFilter(this);
    }

    // The upper pane keeps its height; the lower one takes what remains,
    // now and whenever the window is resized.
    const fw::SettingsStore& store = m_doc.Store();
    const int upper = store.GetProfileInt(keys::kSettings, keys::kHeight1, keys::kDefaultHeight);
    const int lower = store.GetProfileInt(keys::kSettings, keys::kHeight2, keys::kDefaultHeight);
    m_splitter->setStretchFactor(0, 0);
    m_splitter->setStretchFactor(1, 1);
    m_splitter->setSizes({upper, lower});
    setCentralWidget(m_splitter);

    m_activePane = Pane::Receive;
    m_receive->setFocus(Qt::OtherFocusReason);
}

bool CMainFrame::CreateToolBar()
{
    m_toolBar = new CLabelToolBar(*m_commands, m_doc.Store(), this);
    if (!m_toolBar->LoadToolBar(IDR_MAINFRAME)) {
        delete m_toolBar;
        m_toolBar = nullptr;
        return false;
    }
    addToolBar(Qt::TopToolBarArea, m_toolBar);
    connect(m_toolBar, &QToolBar::visibilityChanged, this, &CMainFrame::UpdateCommandUI);
    return true;
}

void CMainFrame::CreateStatusBar()
{
    QStatusBar* bar = statusBar();
    bar->setObjectName(QStringLiteral("statusBar"));
    bar->setAccessibleName(tr("Status bar"));
    m_indicators = new CKeyIndicators(bar);
    connect(bar, &QStatusBar::messageChanged, this, &CMainFrame::OnStatusMessageChanged);
    bar->showMessage(LoadString(AFX_IDS_IDLEMESSAGE));
}

void CMainFrame::ConnectDocument()
{
    connect(&m_doc, &CVarkelDoc::refreshToolbarRequested, this, &CMainFrame::RefreshToolbar);
    connect(&m_doc, &CVarkelDoc::stateChanged, this, &CMainFrame::UpdateCommandUI);
    connect(&m_doc, &CVarkelDoc::setupDialogRequested, this, &CMainFrame::OnSetupDialog);
    connect(&m_doc, &fw::CDocument::titleChanged, this, &CMainFrame::OnTitleChanged);
    connect(QGuiApplication::clipboard(), &QClipboard::dataChanged, this,
            &CMainFrame::UpdateCommandUI);
    OnTitleChanged(m_doc.GetTitle());
}

void CMainFrame::ReadPlacement()
{
    const fw::SettingsStore& store = m_doc.Store();
    const QRect stored(store.GetProfileInt(keys::kSettings, keys::kX, keys::kDefaultX),
                       store.GetProfileInt(keys::kSettings, keys::kY, keys::kDefaultY),
                       store.GetProfileInt(keys::kSettings, keys::kCx, keys::kDefaultCx),
                       store.GetProfileInt(keys::kSettings, keys::kCy, keys::kDefaultCy));
    QList<QRect> screens;
    for (const QScreen* screen : QGuiApplication::screens())
        screens.append(screen->geometry());
    const QScreen* primary = QGuiApplication::primaryScreen();
    m_placement = placement::OnScreen(stored, screens, primary ? primary->availableGeometry() : QRect());

    // The position is the whole window's; the size is the inside's until the
    // decorations are known (FitFrameToPlacement).
    move(m_placement.topLeft());
    resize(m_placement.size());
    m_bFitPending = true;
}

void CMainFrame::FitFrameToPlacement()
{
    if (!m_bFitPending || !isVisible())
        return;
    if (windowState() & (Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen)) {
        m_bFitPending = false;
        return;
    }
    const QMargins decoration = decorationOf(frameGeometry(), geometry());
    if (decoration.isNull()) {
        if (m_shownFor.elapsed() > kDecorationSettleMs)
            m_bFitPending = false;
        return;
    }
    m_bFitPending = false;
    resize(m_placement.size().shrunkBy(decoration));
    move(m_placement.topLeft());
}

void CMainFrame::SavePlacement()
{
    // A window never shown has nothing new to tell, and its panes were never
    // laid out.
    if (m_bPlacementSaved || !m_bCreated || !m_shownFor.isValid())
        return;
    m_bPlacementSaved = true;

    const QRect frame = frameGeometry();
    const QRect rect = placement::ToStore(frame, isMinimized(), normalGeometry(),
                                          decorationOf(frame, geometry()));
    const fw::SettingsStore& store = m_doc.Store();
    store.WriteProfileInt(keys::kSettings, keys::kX, rect.x());
    store.WriteProfileInt(keys::kSettings, keys::kY, rect.y());
    store.WriteProfileInt(keys::kSettings, keys::kCx, rect.width());
    store.WriteProfileInt(keys::kSettings, keys::kCy, rect.height());
    const QList<int> heights = m_splitter->sizes();
    store.WriteProfileInt(keys::kSettings, keys::kHeight1, heights.value(0));
    store.WriteProfileInt(keys::kSettings, keys::kHeight2, heights.value(1));
}

void CMainFrame::RefreshToolbar()
{
    if (!m_bCreated)
        return;
    m_toolBar->LoadToolBar(IDR_MAINFRAME);
    // The buttons may have changed size: the bars and panes are laid out anew.
    m_toolBar->updateGeometry();
    if (m_toolBar->isFloating())
        m_toolBar->adjustSize();
}

void CMainFrame::UpdateCommandUI()
{
    if (!m_bCreated)
        return;
    for (const unsigned id : m_commands->Ids()) {
        if (!m_doc.HandlesCommand(id))
            continue;
        QAction* action = Action(id);
        action->setEnabled(m_doc.IsCommandEnabled(id));
        if (action->isCheckable())
            action->setChecked(m_doc.IsCommandChecked(id));
    }
    // Paste follows the clipboard, as seen from the pane that has the keyboard.
    const CPaneView* pane = m_activePane == Pane::Receive ? static_cast<CPaneView*>(m_receive)
                                                          : static_cast<CPaneView*>(m_transmit);
    Action(ID_EDIT_PASTE)->setEnabled(pane->CanPaste());
    Action(ID_TOOLBAR_IE4_STYLE)->setChecked(m_bToolbarIE4Style);
    Action(ID_VIEW_TOOLBAR)->setChecked(!m_toolBar->isHidden());
    Action(ID_VIEW_STATUS_BAR)->setChecked(!statusBar()->isHidden());
}

QAction* CMainFrame::Action(unsigned id) const
{
    return m_commands ? m_commands->Action(id) : nullptr;
}

QWidget* CMainFrame::ActivePane() const
{
    if (m_activePane == Pane::Receive)
        return m_receive;
    return m_transmit;
}

fw::HelpWindow* CMainFrame::HelpWindow()
{
    if (!m_help)
        m_help = CreateVarkelHelp(this);
    return m_help;
}

QString CMainFrame::Caption(const QString& documentTitle)
{
    const QString windowTitle = LoadString(IDR_MAINFRAME).section(QLatin1Char('\n'), 0, 0);
    if (documentTitle.isEmpty())
        return windowTitle;
    return documentTitle + QLatin1String(" - ") + windowTitle;
}

void CMainFrame::OnToolbarIE4Style()
{
    m_bToolbarIE4Style = !m_bToolbarIE4Style;
    m_doc.Store().WriteProfileInt(keys::kSettings, keys::kToolbarInIE4Style,
                                  m_bToolbarIE4Style ? 1 : 0);
    RefreshToolbar();
}

void CMainFrame::OnAppAbout()
{
    varkel::CAboutDlg dialog(this);
    dialog.exec();
}

void CMainFrame::OnAppExit()
{
    close();
}

void CMainFrame::OnViewToolbar()
{
    m_toolBar->setVisible(m_toolBar->isHidden());
}

void CMainFrame::OnViewStatusBar()
{
    statusBar()->setVisible(statusBar()->isHidden());
}

void CMainFrame::OnHelp()
{
    // Help, Help Topics and the default help all come here: the main window's
    // topic is the contents. The Setup dialog answers F1 itself.
    HelpWindow()->ShowContents();
}

void CMainFrame::OnContextHelp()
{
    QWhatsThis::enterWhatsThisMode();
}

void CMainFrame::OnEditCopy()
{
    RouteEdit(&CReceiveView::EditCopy, &CTransmitView::EditCopy);
}

void CMainFrame::OnEditCut()
{
    RouteEdit(&CReceiveView::EditCut, &CTransmitView::EditCut);
}

void CMainFrame::OnEditPaste()
{
    RouteEdit(&CReceiveView::EditPaste, &CTransmitView::EditPaste);
}

void CMainFrame::OnEditUndo()
{
    RouteEdit(&CReceiveView::EditUndo, &CTransmitView::EditUndo);
}

void CMainFrame::OnNextPane()
{
    Activate(m_activePane == Pane::Receive ? Pane::Transmit : Pane::Receive);
}

void CMainFrame::OnPrevPane()
{
    // With two panes the previous one is the next one.
    OnNextPane();
}

void CMainFrame::RouteEdit(void (CReceiveView::*receive)(), void (CTransmitView::*transmit)())
{
    if (m_activePane == Pane::Receive)
        (m_receive->*receive)();
    else
        (m_transmit->*transmit)();
}

void CMainFrame::Activate(Pane pane)
{
    m_activePane = pane;
    ActivePane()->setFocus(Qt::ShortcutFocusReason);
}

void CMainFrame::OnSetupDialog()
{
    CSetupDlg dialog(m_doc.GetPrompter(), HelpWindow(), this);
    dialog.exec();
}

void CMainFrame::OnTitleChanged(const QString& title)
{
    setWindowTitle(Caption(title));
}

void CMainFrame::OnStatusMessageChanged(const QString& message)
{
    if (message.isEmpty())
        statusBar()->showMessage(LoadString(AFX_IDS_IDLEMESSAGE));
}

void CMainFrame::closeEvent(QCloseEvent* event)
{
    SavePlacement();
    if (m_help)
        m_help->close();
    QMainWindow::closeEvent(event);
}

void CMainFrame::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    if (!m_shownFor.isValid())
        m_shownFor.start();
    FitFrameToPlacement();
}

void CMainFrame::moveEvent(QMoveEvent* event)
{
    QMainWindow::moveEvent(event);
    FitFrameToPlacement();
}

bool CMainFrame::event(QEvent* event)
{
    switch (event->type()) {
    case QEvent::EnterWhatsThisMode:
        if (m_bCreated)
            statusBar()->showMessage(LoadString(AFX_IDS_HELPMODEMESSAGE));
        break;
    case QEvent::LeaveWhatsThisMode:
        if (m_bCreated)
            statusBar()->clearMessage();
        break;
    default:
        break;
    }
    return QMainWindow::event(event);
}

bool CMainFrame::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::FocusIn) {
        if (watched == m_receive)
            m_activePane = Pane::Receive;
        else if (watched == m_transmit)
            m_activePane = Pane::Transmit;
        UpdateCommandUI();
    }
    return QMainWindow::eventFilter(watched, event);
}

QMenu* CMainFrame::createPopupMenu()
{
    // The bars' own menu offers the same commands as the View menu.
    auto* menu = new QMenu(this);
    menu->setObjectName(QStringLiteral("barsMenu"));
    menu->addAction(Action(ID_VIEW_TOOLBAR));
    menu->addAction(Action(ID_VIEW_STATUS_BAR));
    menu->addAction(Action(ID_TOOLBAR_IE4_STYLE));
    UpdateCommandUI();
    return menu;
}
