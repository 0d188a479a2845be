#pragma once
// The terminal's only top-level window: the receive pane above the transmit
// pane in a splitter, the labelled toolbar, the status bar, the menu bar and
// the keys. Every command is one action; the document's commands go to the
// document, and their enabling and checking are computed in one place from
// the session's state.

#include <QElapsedTimer>
#include <QMainWindow>
#include <QPointer>
#include <QRect>

class CCommandActions;
class CKeyIndicators;
class CLabelToolBar;
class CReceiveView;
class CTransmitView;
class CVarkelDoc;
class QAction;
class QSplitter;

namespace fw {
class HelpWindow;
}

class CMainFrame : public QMainWindow {
    Q_OBJECT
public:
    explicit CMainFrame(CVarkelDoc& doc, QWidget* parent = nullptr);
    ~CMainFrame() override;

    // Builds the window's contents and places it as it was left; the window
    // stays hidden. False when the toolbar cannot be loaded.
    bool Create();
    bool IsCreated() const { return m_bCreated; }

    // Reloads the toolbar (style and macro labels from the store) and lays
    // the window out again; nothing before Create has finished.
    void RefreshToolbar();

    // Commands of the frame itself.
    void OnToolbarIE4Style();
    void OnAppAbout();
    void OnAppExit();
    void OnViewToolbar();
    void OnViewStatusBar();
    void OnHelp();
    void OnContextHelp();
    void OnEditCopy();
    void OnEditCut();
    void OnEditPaste();
    void OnEditUndo();
    void OnNextPane();
    void OnPrevPane();

    // Enables and checks every action from the document's and the frame's state.
    void UpdateCommandUI();

    QAction* Action(unsigned id) const;
    CLabelToolBar* ToolBar() const { return m_toolBar; }
    QSplitter* Splitter() const { return m_splitter; }
    CReceiveView* ReceiveView() const { return m_receive; }
    CTransmitView* TransmitView() const { return m_transmit; }
    // The pane that edit commands go to: the one that last had the focus.
    QWidget* ActivePane() const;
    // The help window, made on first use.
    fw::HelpWindow* HelpWindow();
    bool IsToolbarIE4Style() const { return m_bToolbarIE4Style; }

    // The caption for a document title.
    static QString Caption(const QString& documentTitle);

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    QMenu* createPopupMenu() override;

private:
    enum class Pane { Receive, Transmit };

    void CreateActions();
    void CreateMenus();
    void CreateClient();
    bool CreateToolBar();
    void CreateStatusBar();
    void ConnectDocument();
    void ReadPlacement();
    void SavePlacement();
    void FitFrameToPlacement();
    void OnSetupDialog();
    void OnTitleChanged(const QString& title);
    void OnStatusMessageChanged(const QString& message);
    void RouteEdit(void (CReceiveView::*receive)(), void (CTransmitView::*transmit)());
    void Activate(Pane pane);

    CVarkelDoc& m_doc;
    bool m_bCreated = false;
    bool m_bToolbarIE4Style;
    bool m_bPlacementSaved = false;

    CCommandActions* m_commands = nullptr;
    QSplitter* m_splitter = nullptr;
    CReceiveView* m_receive = nullptr;
    CTransmitView* m_transmit = nullptr;
    CLabelToolBar* m_toolBar = nullptr;
    CKeyIndicators* m_indicators = nullptr;
    QPointer<fw::HelpWindow> m_help;
    Pane m_activePane = Pane::Receive;

    // The stored whole-window rectangle; the inside is sized from it once the
    // window system has said how thick its decorations are.
    QRect m_placement;
    bool m_bFitPending = false;
    QElapsedTimer m_shownFor;
};
