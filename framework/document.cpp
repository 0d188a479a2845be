#include "document.h"

#include "prompter.h"

#include <QFile>
#include <QFileInfo>
#include <QDir>

namespace fw {

CView::~CView()
{
    if (m_pDocument)
        m_pDocument->RemoveView(this);
}

CDocument::CDocument(Prompter& prompter, QObject* parent) : QObject(parent), m_prompter(prompter)
{
}

CDocument::~CDocument()
{
    for (CView* view : std::as_const(m_views))
        view->m_pDocument = nullptr;
}

void CDocument::SetTitle(const QString& title)
{
    m_strTitle = title;
    emit titleChanged(m_strTitle);
}

void CDocument::AddView(CView* view)
{
    if (!view || m_views.contains(view))
        return;
    if (view->m_pDocument)
        view->m_pDocument->RemoveView(view);
    m_views.append(view);
    view->m_pDocument = this;
}

void CDocument::RemoveView(CView* view)
{
    if (m_views.removeOne(view))
        view->m_pDocument = nullptr;
}

void CDocument::UpdateAllViews(CView* sender, quint32 hint)
{
    // A copy, so a view that goes away during the broadcast does not upset the loop.
    const QList<CView*> views = m_views;
    for (CView* view : views) {
        if (view != sender && m_views.contains(view))
            view->OnUpdate(sender, hint);
    }
}

CDocument::UpdateBatch::UpdateBatch(CDocument& doc) : m_doc(doc)
{
    if (m_doc.m_batchDepth++ > 0)
        return;
    for (CView* view : std::as_const(m_doc.m_views))
        view->OnBeginUpdateBatch();
}

CDocument::UpdateBatch::~UpdateBatch()
{
    if (--m_doc.m_batchDepth > 0)
        return;
    const QList<CView*> views = m_doc.m_views;
    for (CView* view : views)
        view->OnEndUpdateBatch();
}

bool CDocument::OnNewDocument()
{
    m_strPathName.clear();
    m_bSavedUnderPathName = false;
    return true;
}

bool CDocument::OnOpenDocument(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        m_prompter.MessageBox(tr("Cannot open the file %1.").arg(QDir::toNativeSeparators(path)),
                              MsgButtons::Ok, MsgIcon::Warning);
        return false;
    }
    Serialize(file, false);
    SetPathName(path);
    return true;
}

bool CDocument::OnSaveDocument(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        m_prompter.MessageBox(tr("Cannot save the file %1.").arg(QDir::toNativeSeparators(path)),
                              MsgButtons::Ok, MsgIcon::Warning);
        return false;
    }
    Serialize(file, true);
    if (!file.flush() || file.error() != QFileDevice::NoError) {
        m_prompter.MessageBox(tr("Cannot save the file %1.").arg(QDir::toNativeSeparators(path)),
                              MsgButtons::Ok, MsgIcon::Warning);
        return false;
    }
    SetPathName(path);
    m_bSavedUnderPathName = true;
    return true;
}

bool CDocument::SaveModified()
{
    return true;
}

void CDocument::Serialize(QIODevice&, bool)
{
}

void CDocument::OnFileNew()
{
    if (!SaveModified())
        return;
    OnNewDocument();
}

void CDocument::OnFileOpen()
{
    if (!SaveModified())
        return;
    const std::optional<QString> path = m_prompter.PromptOpenFile();
    if (path)
        OnOpenDocument(*path);
}

void CDocument::OnFileSave()
{
    // Only a name the document saved under is reused without asking: the
    // file it was opened from (a QSO log, say) holds text the document never
    // took in, and saving over it unasked would leave it empty.
    QString path = m_bSavedUnderPathName ? m_strPathName : QString();
    if (path.isEmpty()) {
        const std::optional<QString> chosen = m_prompter.PromptSaveFile();
        if (!chosen)
            return;
        path = *chosen;
    }
    OnSaveDocument(path);
}

void CDocument::SetPathName(const QString& path)
{
    m_strPathName = path;
    m_bSavedUnderPathName = false;
    SetTitle(QFileInfo(path).fileName());
}

} // namespace fw
