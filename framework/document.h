#pragma once
// Document/view base for a single-document program: the title, the modified
// flag, the registered views and the hint broadcast, and the File New, Open
// and Save commands. A document knows its views only through CView.

#include <QObject>
#include <QString>
#include <QList>

class QIODevice;

namespace fw {

class Prompter;
class CDocument;

class CView {
public:
    virtual ~CView();

    // A 32-bit hint from the document; the sender is null for document broadcasts.
    virtual void OnUpdate(CView* sender, quint32 hint) = 0;
    // Hints between these two calls belong to one burst: a view may show them
    // as one change as long as the end result is the same.
    virtual void OnBeginUpdateBatch() {}
    virtual void OnEndUpdateBatch() {}

    CDocument* GetDocument() const { return m_pDocument; }

private:
    friend class CDocument;
    CDocument* m_pDocument = nullptr;
};

class CDocument : public QObject {
    Q_OBJECT
public:
    explicit CDocument(Prompter& prompter, QObject* parent = nullptr);
    ~CDocument() override;

    const QString& GetTitle() const { return m_strTitle; }
    void SetTitle(const QString& title);
    const QString& GetPathName() const { return m_strPathName; }

    void AddView(CView* view);
    void RemoveView(CView* view);
    const QList<CView*>& Views() const { return m_views; }
    void UpdateAllViews(CView* sender, quint32 hint);

    // Brackets one burst of hints (see CView::OnBeginUpdateBatch). Batches may
    // nest; the views hear only of the outermost one.
    class UpdateBatch {
    public:
        explicit UpdateBatch(CDocument& doc);
        ~UpdateBatch();
        UpdateBatch(const UpdateBatch&) = delete;
        UpdateBatch& operator=(const UpdateBatch&) = delete;

    private:
        CDocument& m_doc;
    };

    virtual bool OnNewDocument();
    virtual bool OnOpenDocument(const QString& path);
    virtual bool OnSaveDocument(const QString& path);
    virtual bool SaveModified();
    // What the document contributes to a file it is saved to or opened from.
    virtual void Serialize(QIODevice& file, bool storing);

    // The single-document commands.
    void OnFileNew();
    void OnFileOpen();
    void OnFileSave();

    Prompter& GetPrompter() const { return m_prompter; }

signals:
    void titleChanged(const QString& title);

private:
    void SetPathName(const QString& path);

    Prompter& m_prompter;
    QString m_strTitle;
    QString m_strPathName;
    // The path name is one this document saved to, not one it was opened from.
    bool m_bSavedUnderPathName = false;
    QList<CView*> m_views;
    int m_batchDepth = 0;
};

} // namespace fw
