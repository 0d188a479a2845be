#include "pastetext.h"

#include "codepage.h"

PreparedPaste PreparePaste(QStringView clipboardText)
{
    // Like the 8-bit clipboard text, it ends at the first zero.
    const qsizetype nul = clipboardText.indexOf(QChar(u'\0'));
    const QStringView text = nul < 0 ? clipboardText : clipboardText.first(nul);

    PreparedPaste paste;
    paste.shown.reserve(text.size());
    paste.sent.reserve(text.size() + text.size() / 8);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar ch = text[i];
        if (ch == u'\r' || ch == QChar(QChar::ParagraphSeparator)) {
            if (ch == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n')
                ++i;
            paste.shown += QChar(QChar::ParagraphSeparator);
            paste.sent += "\r\n";
        } else if (ch == u'\n' || ch == QChar(QChar::LineSeparator)) {
            paste.shown += QChar(QChar::LineSeparator);
            paste.sent += "\r\n";
        } else if (const auto byte = fw::codepage::ToByte(ch)) {
            paste.shown += ch;
            paste.sent += static_cast<char>(*byte);
        }
    }
    return paste;
}
