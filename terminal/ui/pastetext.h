#pragma once
// What a paste into the transmit pane shows and what it puts on the wire.
// Every line end goes out as carriage return and line feed, whatever the
// clipboard used; a bare line feed is shown as a line separator inside the
// paragraph, so that a later backspace can take it together with the
// character before it. Characters outside the code page are left out of both.

#include <QByteArray>
#include <QString>

struct PreparedPaste {
    QString shown;
    QByteArray sent;
};

PreparedPaste PreparePaste(QStringView clipboardText);
