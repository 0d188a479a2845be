#pragma once
// What a paste into the transmit pane shows and what it puts on the wire.
// A line feed, the clipboard's line end here, goes out as carriage return and
// line feed (a carriage return before it included); a carriage return alone
// goes out as it is. A bare line feed is shown as a line separator inside the
// paragraph, so that a later backspace can take it together with the
// character before it. Characters outside the code page are left out of both.
// Beyond `maxSent` bytes the text is cut at its end, shown and sent alike.

#include <QByteArray>
#include <QString>

struct PreparedPaste {
    QString shown;
    QByteArray sent;
    bool cut = false;
};

PreparedPaste PreparePaste(QStringView clipboardText, qsizetype maxSent);
