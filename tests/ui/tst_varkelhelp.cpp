// The built-in help: every context number and every link leads to a page
// that is really compiled in, and every page can be reached from the contents.

#include "helpwindow.h"
#include "resource.h"
#include "testenv.h"
#include "varkelhelp.h"

#include <QApplication>
#include <QDirIterator>
#include <QFile>
#include <QRegularExpression>
#include <QSet>
#include <QTextBrowser>
#include <QtTest>
#include <memory>

namespace {

QString ReadPage(const QUrl& page)
{
    QFile file(QLatin1Char(':') + page.path());
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll());
}

// Every href of a page, resolved against the page's own address.
QList<QUrl> Links(const QUrl& page)
{
    static const QRegularExpression href(QStringLiteral(R"(href\s*=\s*"([^"]*)\")"),
                                         QRegularExpression::CaseInsensitiveOption);
    QList<QUrl> links;
    const QString html = ReadPage(page);
    for (auto it = href.globalMatch(html); it.hasNext();)
        links << page.resolved(QUrl(it.next().captured(1)));
    return links;
}

bool PageExists(const QUrl& url)
{
    return url.scheme() == QLatin1String("qrc") && QFile::exists(QLatin1Char(':') + url.path());
}

QStringList AllPages()
{
    QStringList pages;
    QDirIterator it(QStringLiteral(":/help"), {QStringLiteral("*.html")}, QDir::Files,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        pages << QStringLiteral("qrc") + it.next();
    pages.sort();
    return pages;
}

} // namespace

class TestVarkelHelp : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<fw::HelpWindow> m_help;

private slots:
    void initTestCase()
    {
        m_help.reset(CreateVarkelHelp(nullptr));
        QVERIFY(m_help);
        QVERIFY2(AllPages().size() > 1, "the help pages are not compiled in");
    }

    void contentsPage()
    {
        m_help->ShowContents();
        QCOMPARE(m_help->CurrentPage(), VarkelHelpContents());
        QVERIFY(PageExists(QUrl(VarkelHelpContents())));
        QVERIFY(!m_help->Browser()->toPlainText().trimmed().isEmpty());
        QCOMPARE(m_help->windowTitle(), QStringLiteral("Varkel Help"));
    }

    void everyContextOpensItsPage_data()
    {
        QTest::addColumn<int>("context");
        QTest::addColumn<QString>("page");
        const QMap<int, QString> contexts = VarkelHelpContexts();
        for (auto it = contexts.cbegin(); it != contexts.cend(); ++it)
            QTest::newRow(qPrintable(QString::number(it.key()))) << it.key() << it.value();
    }

    void everyContextOpensItsPage()
    {
        QFETCH(int, context);
        QFETCH(QString, page);
        QVERIFY2(PageExists(QUrl(page)), qPrintable(page));
        m_help->ShowContext(context);
        QCOMPARE(m_help->CurrentPage(), page);
        QVERIFY(!m_help->Browser()->toPlainText().trimmed().isEmpty());
    }

    // The Setup dialog's Help button asks for this number: it must land on
    // the page about that dialog, not on the contents.
    void setupContextIsTheSetupTopic()
    {
        QVERIFY(VarkelHelpContexts().contains(HIDD_SETUP));
        m_help->ShowContext(HIDD_SETUP);
        QVERIFY(m_help->CurrentPage() != VarkelHelpContents());
        QVERIFY2(m_help->Browser()->documentTitle().contains(QStringLiteral("Setup")),
                 qPrintable(m_help->Browser()->documentTitle()));
    }

    void unknownContextFallsBackToContents()
    {
        m_help->ShowContext(HIDD_SETUP + 1);
        QCOMPARE(m_help->CurrentPage(), VarkelHelpContents());
    }

    void everyLinkResolves_data()
    {
        QTest::addColumn<QString>("page");
        for (const QString& page : AllPages())
            QTest::newRow(qPrintable(page)) << page;
    }

    // Each link of each page names a compiled-in page, and following it in
    // the browser shows that page.
    void everyLinkResolves()
    {
        QFETCH(QString, page);
        m_help->ShowPage(page);
        QVERIFY2(!m_help->Browser()->documentTitle().isEmpty(), "page without a title");
        const QList<QUrl> links = Links(QUrl(page));
        for (const QUrl& link : links) {
            QVERIFY2(PageExists(link), qPrintable(link.toString() + " in " + page));
            m_help->Browser()->setSource(link);
            QCOMPARE(m_help->CurrentPage(), link.toString());
            QVERIFY2(!m_help->Browser()->toPlainText().trimmed().isEmpty(),
                     qPrintable(link.toString()));
        }
        if (page != VarkelHelpContents())
            QVERIFY2(links.contains(QUrl(VarkelHelpContents())), "no way back to the contents");
    }

    void everyPageIsReachableFromTheContents()
    {
        QSet<QString> seen{VarkelHelpContents()};
        QList<QUrl> queue{QUrl(VarkelHelpContents())};
        while (!queue.isEmpty()) {
            for (const QUrl& link : Links(queue.takeFirst())) {
                const QString name = link.adjusted(QUrl::RemoveFragment).toString();
                if (!seen.contains(name) && PageExists(link)) {
                    seen.insert(name);
                    queue << QUrl(name);
                }
            }
        }
        for (const QString& page : AllPages())
            QVERIFY2(seen.contains(page), qPrintable(page + " cannot be reached"));
    }
};

VARKEL_TEST_MAIN(TestVarkelHelp, QApplication)
#include "tst_varkelhelp.moc"
