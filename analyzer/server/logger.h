#pragma once
// The server's log on stderr: one line per event with a level. When stderr is
// the systemd journal the line starts with the journal's priority ("<3>" for
// an error); --quiet keeps only errors, --verbose adds debug lines and puts
// the time of day in front of each line.

#include <QString>

namespace sondrel {

enum class LogLevel { Error, Warning, Info, Debug };

class Logger {
public:
    enum class Verbosity { Quiet, Normal, Verbose };

    // `journal`: whether stderr is the journal, as JOURNAL_STREAM tells.
    explicit Logger(Verbosity verbosity, bool journal);
    static bool stderrIsJournal();

    Verbosity verbosity() const { return m_verbosity; }
    bool shows(LogLevel level) const;
    // The line as it is written, or a null string when it is not shown.
    QString format(LogLevel level, const QString& line) const;
    void write(LogLevel level, const QString& line) const;

    void error(const QString& line) const { write(LogLevel::Error, line); }
    void warning(const QString& line) const { write(LogLevel::Warning, line); }
    void info(const QString& line) const { write(LogLevel::Info, line); }
    void debug(const QString& line) const { write(LogLevel::Debug, line); }

private:
    Verbosity m_verbosity;
    bool m_journal;
};

} // namespace sondrel
