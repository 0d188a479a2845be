#include "logger.h"

#include <QTime>
#include <cstdio>

namespace sondrel {
namespace {

// sd-daemon(3)'s prefixes: LOG_ERR, LOG_WARNING, LOG_INFO, LOG_DEBUG.
const char* journalPrefix(LogLevel level)
{
    switch (level) {
    case LogLevel::Error: return "<3>";
    case LogLevel::Warning: return "<4>";
    case LogLevel::Info: return "<6>";
    case LogLevel::Debug: return "<7>";
    }
    return "";
}

QString levelWord(LogLevel level)
{
    switch (level) {
    case LogLevel::Error: return QStringLiteral("error: ");
    case LogLevel::Warning: return QStringLiteral("warning: ");
    case LogLevel::Info:
    case LogLevel::Debug: break;
    }
    return QString();
}

} // namespace

Logger::Logger(Verbosity verbosity, bool journal) : m_verbosity(verbosity), m_journal(journal)
{
}

bool Logger::stderrIsJournal()
{
    return qEnvironmentVariableIsSet("JOURNAL_STREAM");
}

bool Logger::shows(LogLevel level) const
{
    switch (m_verbosity) {
    case Verbosity::Quiet: return level == LogLevel::Error;
    case Verbosity::Normal: return level != LogLevel::Debug;
    case Verbosity::Verbose: return true;
    }
    return true;
}

QString Logger::format(LogLevel level, const QString& line) const
{
    if (!shows(level))
        return QString();
    QString text;
    if (m_journal)
        text += QLatin1String(journalPrefix(level));
    if (m_verbosity == Verbosity::Verbose)
        text += QTime::currentTime().toString(QStringLiteral("HH:mm:ss.zzz "));
    // One event, one line: a line end inside would start a line of the wrong level.
    QString flat = line;
    flat.replace(QLatin1Char('\n'), QLatin1Char(' '));
    return text + QStringLiteral("sondrel: ") + levelWord(level) + flat + QLatin1Char('\n');
}

void Logger::write(LogLevel level, const QString& line) const
{
    const QString text = format(level, line);
    if (text.isNull())
        return;
    std::fputs(qUtf8Printable(text), stderr);
    std::fflush(stderr);
}

} // namespace sondrel
