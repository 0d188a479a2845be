#include "pastetext.h"

#include "codepage.h"

PreparedPaste PreparePaste(QStringView clipboardText, qsizetype maxSent)
{
    // Like the 8-bit clipboard text, it ends at the first zero.
    const qsizetype nul = clipboardText.indexOf(QChar(u'\0'));
    const QStringView text = nul < 0 ? clipboardText : clipboardText.first(nul);

    PreparedPaste paste;
    const qsizetype expected = qMin(maxSent, text.size() + text.size() / 8);
    paste.shown.reserve(qMin(text.size(), expected));
    paste.sent.reserve(expected);
    auto add = [&paste, maxSent](QChar shown, QByteArrayView sent) {
        if (paste.sent.size() + sent.size() > maxSent) {
            paste.cut = true;
            return false;
        }
        paste.shown += shown;
        paste.sent += sent;
        return true;
    };
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar ch = text[i];
        bool added = true;
        if (ch == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') {
            ++i;
            added = add(QChar(QChar::ParagraphSeparator), "\r\n");
        } else if (ch == u'\r') {
            added = add(QChar(QChar::ParagraphSeparator), "\r");
        } else if (ch == QChar(QChar::ParagraphSeparator)) {
            added = add(QChar(QChar::ParagraphSeparator), "\r\n");
        } else if (ch == u'\n' || ch == QChar(QChar::LineSeparator)) {
            added = add(QChar(QChar::LineSeparator), "\r\n");
        } else if (const auto byte = fw::codepage::ToByte(ch)) {
            const char c = static_cast<char>(*byte);
            added = add(ch, QByteArrayView(&c, 1));
        }
        if (!added)
            break;
    }
    return paste;
}
