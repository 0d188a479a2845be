// The About box as the operator sees it.

#include "aboutdlg.h"
#include "testenv.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QtTest>

namespace {

constexpr int kWaitMs = 5000;

QLabel* Label(QWidget* dlg, const char* name)
{
    return dlg->findChild<QLabel*>(QString::fromLatin1(name));
}

// Opens the box as the About command does: modal, and active once shown.
bool Open(varkel::CAboutDlg& dlg)
{
    dlg.setWindowModality(Qt::ApplicationModal);
    dlg.show();
    return QTest::qWaitForWindowActive(&dlg, kWaitMs);
}

} // namespace

class TestAboutDlg : public QObject {
    Q_OBJECT

private slots:
    void showsVersionNoticeCreditsAndPicture()
    {
        varkel::CAboutDlg dlg;
        QVERIFY(Open(dlg));
        QCOMPARE(dlg.windowTitle(), QStringLiteral("About Varkel"));
        QCOMPARE(Label(&dlg, "versionLabel")->text(), QStringLiteral("Varkel Version 1.02"));
        for (const char* name : {"noticeLabel", "creditLabel1", "creditLabel2"}) {
            const QString text = Label(&dlg, name)->text();
            QVERIFY2(!text.trimmed().isEmpty() && !text.contains(QLatin1Char('\n')), name);
        }
        const QPixmap picture = Label(&dlg, "pictureLabel")->pixmap();
        QVERIFY(!picture.isNull());
        QCOMPARE(picture.size(), QSize(150, 112));
        QVERIFY(!Label(&dlg, "iconLabel")->pixmap().isNull());
    }

    // Nothing is cut off: every text gets the room it asks for and the
    // picture lies wholly inside the box.
    void nothingIsClipped()
    {
        varkel::CAboutDlg dlg;
        QVERIFY(Open(dlg));
        for (QLabel* label : dlg.findChildren<QLabel*>()) {
            QVERIFY2(label->width() >= label->sizeHint().width(), qPrintable(label->objectName()));
            QVERIFY2(dlg.rect().contains(label->geometry()), qPrintable(label->objectName()));
        }
        QVERIFY(dlg.rect().contains(dlg.findChild<QPushButton*>(QStringLiteral("okButton"))->geometry()));
    }

    void closes_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("result");
        QTest::newRow("OK button") << 0 << int(QDialog::Accepted);
        QTest::newRow("Enter") << int(Qt::Key_Return) << int(QDialog::Accepted);
        QTest::newRow("Escape") << int(Qt::Key_Escape) << int(QDialog::Rejected);
    }

    void closes()
    {
        QFETCH(int, key);
        QFETCH(int, result);
        varkel::CAboutDlg dlg;
        QVERIFY(Open(dlg));
        auto* ok = dlg.findChild<QPushButton*>(QStringLiteral("okButton"));
        QCOMPARE(QApplication::focusWidget(), ok);
        if (key == 0)
            QTest::mouseClick(ok, Qt::LeftButton);
        else
            QTest::keyClick(QApplication::focusWidget(), Qt::Key(key));
        QTRY_VERIFY_WITH_TIMEOUT(!dlg.isVisible(), kWaitMs);
        QCOMPARE(dlg.result(), result);
    }

};

VARKEL_TEST_MAIN(TestAboutDlg, QApplication)
#include "tst_aboutdlg.moc"
