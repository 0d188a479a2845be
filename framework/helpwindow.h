#pragma once
// The built-in help: one window with a page browser over pages compiled into
// the program, opened at a page named by a help context number.

#include <QMap>
#include <QPointer>
#include <QString>
#include <QWidget>

class QTextBrowser;

namespace fw {

class HelpWindow : public QWidget {
    Q_OBJECT
public:
    // `contents` is the page shown for Help Topics and for unknown contexts;
    // pages are resource URLs such as "qrc:/help/index.html".
    HelpWindow(const QString& title, QString contents, QMap<int, QString> contexts,
               QWidget* parent = nullptr);

    void ShowContents();
    void ShowContext(int context);
    void ShowPage(const QString& page);

    QString CurrentPage() const;
    QTextBrowser* Browser() const { return m_browser; }

private:
    QString m_contents;
    QMap<int, QString> m_contexts;
    QTextBrowser* m_browser;
};

} // namespace fw
